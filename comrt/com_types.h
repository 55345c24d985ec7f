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

#ifdef __cplusplus
#define COMRT_EXTERN_C extern "C"
#else
#define COMRT_EXTERN_C extern
#endif

/* The interfaces' calling convention is the platform default; the macros mark the methods the way
 * client code written for the interface expects to find them. */
#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif
#ifndef STDAPICALLTYPE
#define STDAPICALLTYPE
#endif

typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef int32_t BOOL;

#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
#endif
typedef GUID IID;
typedef GUID CLSID;

/* Identifiers go in by reference in C++ and by pointer in C; both are one pointer in the ABI. */
#ifdef __cplusplus
#define REFGUID const GUID&
#define REFIID const IID&
#define REFCLSID const CLSID&
#else
#define REFGUID const GUID*
#define REFIID const IID*
#define REFCLSID const CLSID*
#endif

/* Result codes: severity bit 31, facility bits 16-26, code bits 0-15. */
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define COMRT_HRESULT(value) ((HRESULT)(uint32_t)(value))

#define S_OK COMRT_HRESULT(0x00000000u)
#define S_FALSE COMRT_HRESULT(0x00000001u)
#define E_NOTIMPL COMRT_HRESULT(0x80004001u)
#define E_NOINTERFACE COMRT_HRESULT(0x80004002u)
#define E_POINTER COMRT_HRESULT(0x80004003u)
#define E_ABORT COMRT_HRESULT(0x80004004u)
#define E_FAIL COMRT_HRESULT(0x80004005u)
#define E_UNEXPECTED COMRT_HRESULT(0x8000FFFFu)
#define E_ACCESSDENIED COMRT_HRESULT(0x80070005u)
#define E_OUTOFMEMORY COMRT_HRESULT(0x8007000Eu)
#define E_INVALIDARG COMRT_HRESULT(0x80070057u)
#define CLASS_E_NOAGGREGATION COMRT_HRESULT(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE COMRT_HRESULT(0x80040111u)
#define REGDB_E_READREGDB COMRT_HRESULT(0x80040150u)
#define REGDB_E_WRITEREGDB COMRT_HRESULT(0x80040151u)
#define REGDB_E_CLASSNOTREG COMRT_HRESULT(0x80040154u)
#define CO_E_CLASSSTRING COMRT_HRESULT(0x800401F3u)
#define CO_E_DLLNOTFOUND COMRT_HRESULT(0x800401F8u)
#define CO_E_ERRORINDLL COMRT_HRESULT(0x800401F9u)
#define SELFREG_E_TYPELIB COMRT_HRESULT(0x80040200u)
#define SELFREG_E_CLASS COMRT_HRESULT(0x80040201u)

/* A system error number of the component ABI (2 file not found, 5 access denied, ...) as a result. */
#define HRESULT_FROM_WIN32(code) \
    ((HRESULT)(((uint32_t)(code)) == 0u ? 0u : ((((uint32_t)(code)) & 0x0000FFFFu) | 0x80070000u)))

#ifdef __cplusplus

/* Slot 0 QueryInterface, 1 AddRef, 2 Release. */
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

/* Slots 3 CreateInstance and 4 LockServer after those of IUnknown. */
struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) return false;
    }
    return true;
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}

inline constexpr IID IID_IUnknown = {
    0x00000000u, 0x0000u, 0x0000u, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001u, 0x0000u, 0x0000u, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

#else /* C */

typedef struct IUnknown IUnknown;
typedef struct IClassFactory IClassFactory;

typedef struct IUnknownVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IUnknown* This, REFIID riid, void** ppvObject);
    ULONG(STDMETHODCALLTYPE* AddRef)(IUnknown* This);
    ULONG(STDMETHODCALLTYPE* Release)(IUnknown* This);
} IUnknownVtbl;
struct IUnknown {
    const IUnknownVtbl* lpVtbl;
};

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

#if defined(__GNUC__)
#define COMRT_UNUSED_CONST __attribute__((unused))
#else
#define COMRT_UNUSED_CONST
#endif
static const IID IID_IUnknown COMRT_UNUSED_CONST = {
    0x00000000u, 0x0000u, 0x0000u, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IClassFactory COMRT_UNUSED_CONST = {
    0x00000001u, 0x0000u, 0x0000u, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

#endif /* __cplusplus */

#endif /* COMRT_COM_TYPES_H */
