#include "loamset/class_factory.h"

#include "loamset/dataset.h"
#include "loamset/module.h"

namespace loamset {

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) return E_POINTER;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IClassFactory)) {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    *ppvObject = static_cast<IClassFactory*>(this);
    return S_OK;
}

ULONG ClassFactory::AddRef() {
    const ULONG refs = refs_.fetch_add(1) + 1;
    if (refs == 2) LockModule(ModuleLock::FactoryReference);  // the first reference beyond the module's own
    return refs;
}

ULONG ClassFactory::Release() {
    const ULONG refs = refs_.fetch_sub(1) - 1;
    if (refs == 1) UnlockModule(ModuleLock::FactoryReference);
    if (refs == 0) delete this;
    return refs;
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    return CreateDataset(riid, ppvObject);
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
    if (fLock) {
        LockModule(ModuleLock::ServerLock);
        return S_OK;
    }
    return UnlockModule(ModuleLock::ServerLock) ? S_OK : E_UNEXPECTED;
}

}  // namespace loamset
