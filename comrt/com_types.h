/* The component types shared by comrt, the dataset component and their clients.
 *
 * Builds as C and as C++. The layouts are those of the component ABI: HRESULT is a signed 32-bit
 * result code, ULONG an unsigned 32-bit count, a GUID is {uint32_t, uint16_t, uint16_t, uint8_t[8]},
 * and an interface is a pointer to a table of functions in slot order with the platform's default
 * calling convention. In C++ an interface is a struct of pure virtual functions without a virtual
 * destructor, so that its table holds exactly the slots below and nothing else. */
#ifndef COMRT_COM_TYPES_H
#define COMRT_COM_TYPES_H

#include <stdint.h>

#ifdef _WIN32
/* On Windows the system declares all of it. */
#include <windows.h>
#include <unknwn.h>
#include <olectl.h>
#else

/* The base types are declared once, by this header or by loamset/kxdataset.h, whichever comes
 * first; both declare the same names in the same way. */
#ifndef COMRT_BASE_TYPES_DEFINED
#define COMRT_BASE_TYPES_DEFINED

typedef int32_t HRESULT;
typedef uint32_t ULONG;

typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
/* Identifiers go in by reference in C++ and by pointer in C; both are one pointer in the ABI. */
#ifdef __cplusplus
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef const GUID& REFGUID;
#else
typedef const IID* REFIID;
typedef const CLSID* REFCLSID;
typedef const GUID* REFGUID;
#endif

/* The system's file time: one 64-bit count of 100-nanosecond intervals since 1601-01-01 00:00. */
typedef struct _FILETIME {
    ULONG dwLowDateTime;
    ULONG dwHighDateTime;
} FILETIME;

/* The interfaces' calling convention is the platform default. */
#define STDMETHODCALLTYPE

/* Result codes: severity bit 31, facility bits 16-26, code bits 0-15. */
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFL)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
/* A system error number of the component ABI (2 file not found, 5 access denied, ...) as a result. */
#define HRESULT_FROM_WIN32(x) \
    ((HRESULT)(x) <= 0 ? ((HRESULT)(x)) : ((HRESULT)(((uint32_t)(x)&0x0000FFFFu) | 0x80070000u)))

#ifdef __cplusplus
static inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 && a.Data4[0] == b.Data4[0] &&
           a.Data4[1] == b.Data4[1] && a.Data4[2] == b.Data4[2] && a.Data4[3] == b.Data4[3] &&
           a.Data4[4] == b.Data4[4] && a.Data4[5] == b.Data4[5] && a.Data4[6] == b.Data4[6] &&
           a.Data4[7] == b.Data4[7];
}

/* Slot 0 QueryInterface, 1 AddRef, 2 Release; no destructor slot. */
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default; /* objects die through Release, never through delete on the interface */
};
#else
static inline int IsEqualGUID(REFGUID a, REFGUID b) {
    int i;
    if (a->Data1 != b->Data1 || a->Data2 != b->Data2 || a->Data3 != b->Data3) return 0;
    for (i = 0; i < 8; ++i)
        if (a->Data4[i] != b->Data4[i]) return 0;
    return 1;
}

typedef struct IUnknown IUnknown;
typedef struct IUnknownVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IUnknown* This, REFIID riid, void** ppvObject);
    ULONG(STDMETHODCALLTYPE* AddRef)(IUnknown* This);
    ULONG(STDMETHODCALLTYPE* Release)(IUnknown* This);
} IUnknownVtbl;
struct IUnknown {
    const IUnknownVtbl* lpVtbl;
};
#endif

static const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

#endif /* COMRT_BASE_TYPES_DEFINED */

/* What the runtime adds to the base types. */
#ifndef STDAPICALLTYPE
#define STDAPICALLTYPE
#endif

typedef uint32_t DWORD;
typedef int32_t BOOL;

#define COMRT_HRESULT(value) ((HRESULT)(uint32_t)(value))
#define E_ABORT COMRT_HRESULT(0x80004004u)
#define E_ACCESSDENIED COMRT_HRESULT(0x80070005u)
#define REGDB_E_READREGDB COMRT_HRESULT(0x80040150u)
#define REGDB_E_WRITEREGDB COMRT_HRESULT(0x80040151u)
#define REGDB_E_CLASSNOTREG COMRT_HRESULT(0x80040154u)
#define CO_E_CLASSSTRING COMRT_HRESULT(0x800401F3u)
#define CO_E_DLLNOTFOUND COMRT_HRESULT(0x800401F8u)
#define CO_E_ERRORINDLL COMRT_HRESULT(0x800401F9u)
#define SELFREG_E_TYPELIB COMRT_HRESULT(0x80040200u)
#define SELFREG_E_CLASS COMRT_HRESULT(0x80040201u)

#ifdef __cplusplus

/* Slots 3 CreateInstance and 4 LockServer after those of IUnknown. */
struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

inline bool operator==(const GUID& a, const GUID& b) {
    return IsEqualGUID(a, b);
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !IsEqualGUID(a, b);
}

#else /* C */

typedef struct IClassFactory IClassFactory;
typedef struct IClassFactoryVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IClassFactory* This, REFIID riid, void** ppvObject);
    ULONG(STDMETHODCALLTYPE* AddRef)(IClassFactory* This);
    ULONG(STDMETHODCALLTYPE* Release)(IClassFactory* This);
    HRESULT(STDMETHODCALLTYPE* CreateInstance)
    (IClassFactory* This, IUnknown* pUnkOuter, REFIID riid, void** ppvObject);
    HRESULT(STDMETHODCALLTYPE* LockServer)(IClassFactory* This, BOOL fLock);
} IClassFactoryVtbl;
struct IClassFactory {
    const IClassFactoryVtbl* lpVtbl;
};

#endif /* __cplusplus */

#endif /* _WIN32 */

#endif /* COMRT_COM_TYPES_H */
