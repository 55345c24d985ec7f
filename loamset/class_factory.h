// The class factory of TQ4Dataset objects.
#pragma once

#include <atomic>

#include "comrt/com_types.h"

namespace loamset {

// Made once per process and kept by the module, which holds its first reference; each further
// reference, a client's, locks the module until it is released.
class ClassFactory final : public IClassFactory {
public:
    ClassFactory() = default;
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // Refuses aggregation; otherwise a new dataset object's interface riid (IUnknown or IKXDataset).
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    // Raises or lowers the module's lock count; E_UNEXPECTED for an unlock without a lock of its own.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

private:
    ~ClassFactory() = default;

    std::atomic<ULONG> refs_{1};
};

}  // namespace loamset
