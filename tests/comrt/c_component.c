/* A component module written in C against comrt/com_types.h: one class whose objects answer IUnknown
 * only. comrt's tests create it through the C++ runtime, which shows that the C and C++ views of an
 * interface are one layout. */
#include <stdatomic.h>
#include <stdlib.h>
#include <string.h>

#include "comrt/com_types.h"

#define EXPORT __attribute__((visibility("default")))

/* {C0E7A11D-5B0F-4C57-9D33-0A1B2C3D4E5F} */
static const CLSID kClsid = {0xC0E7A11Du, 0x5B0Fu, 0x4C57u, {0x9D, 0x33, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}};

static atomic_int g_objects;
static atomic_int g_locks;

typedef struct Object {
    IUnknown iface;
    atomic_uint refs;
} Object;

static int SameGuid(REFGUID a, REFGUID b) {
    return memcmp(a, b, sizeof(GUID)) == 0;
}

static HRESULT STDMETHODCALLTYPE ObjectQueryInterface(IUnknown* self, REFIID riid, void** ppv) {
    if (ppv == NULL) return E_POINTER;
    if (!SameGuid(riid, &IID_IUnknown)) {
        *ppv = NULL;
        return E_NOINTERFACE;
    }
    *ppv = self;
    self->lpVtbl->AddRef(self);
    return S_OK;
}

static ULONG STDMETHODCALLTYPE ObjectAddRef(IUnknown* self) {
    return ++((Object*)self)->refs;
}

static ULONG STDMETHODCALLTYPE ObjectRelease(IUnknown* self) {
    const ULONG left = --((Object*)self)->refs;
    if (left == 0) {
        free(self);
        --g_objects;
    }
    return left;
}

static const IUnknownVtbl kObjectVtbl = {ObjectQueryInterface, ObjectAddRef, ObjectRelease};

static HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory* self, REFIID riid, void** ppv) {
    if (ppv == NULL) return E_POINTER;
    if (!SameGuid(riid, &IID_IUnknown) && !SameGuid(riid, &IID_IClassFactory)) {
        *ppv = NULL;
        return E_NOINTERFACE;
    }
    *ppv = self;
    self->lpVtbl->AddRef(self);
    return S_OK;
}

/* The factory is static; a client's reference to it keeps the module loaded. */
static ULONG STDMETHODCALLTYPE FactoryAddRef(IClassFactory* self) {
    (void)self;
    return (ULONG)++g_locks;
}

static ULONG STDMETHODCALLTYPE FactoryRelease(IClassFactory* self) {
    (void)self;
    return (ULONG)--g_locks;
}

static HRESULT STDMETHODCALLTYPE FactoryCreateInstance(IClassFactory* self, IUnknown* outer, REFIID riid,
                                                       void** ppv) {
    (void)self;
    if (ppv == NULL) return E_POINTER;
    *ppv = NULL;
    if (outer != NULL) return CLASS_E_NOAGGREGATION;
    Object* object = (Object*)malloc(sizeof *object);
    if (object == NULL) return E_OUTOFMEMORY;
    object->iface.lpVtbl = &kObjectVtbl;
    atomic_init(&object->refs, 1u);
    ++g_objects;
    const HRESULT hr = ObjectQueryInterface(&object->iface, riid, ppv);
    ObjectRelease(&object->iface);
    return hr;
}

static HRESULT STDMETHODCALLTYPE FactoryLockServer(IClassFactory* self, BOOL lock) {
    (void)self;
    if (lock) {
        ++g_locks;
    } else {
        --g_locks;
    }
    return S_OK;
}

static const IClassFactoryVtbl kFactoryVtbl = {FactoryQueryInterface, FactoryAddRef, FactoryRelease,
                                               FactoryCreateInstance, FactoryLockServer};
static IClassFactory g_factory = {&kFactoryVtbl};

EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == NULL) return E_POINTER;
    *ppv = NULL;
    if (!SameGuid(rclsid, &kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return FactoryQueryInterface(&g_factory, riid, ppv);
}

EXPORT HRESULT DllCanUnloadNow(void) {
    return (g_objects == 0 && g_locks == 0) ? S_OK : S_FALSE;
}
