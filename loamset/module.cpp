// The module's four entry points, its lock count and its cached class factory.
#include <atomic>
#include <mutex>
#include <new>

#include "comrt/com_types.h"
#include "comrt/guarded.h"
#include "loamset/class_factory.h"
#include "loamset/dataset.h"
#include "loamset/kxdataset.h"
#include "loamset/module.h"
#include "loamset/module_platform.h"
#include "loamset/registration.h"

namespace {

// Kept apart, so that an unbalanced LockServer(FALSE) cannot take away a factory reference's lock.
std::atomic<long> g_factoryLocks{0};
std::atomic<long> g_serverLocks{0};

std::atomic<long>& Counter(loamset::ModuleLock kind) {
    return kind == loamset::ModuleLock::FactoryReference ? g_factoryLocks : g_serverLocks;
}

// The factory is made on the first request, under this lock, and kept until the module unloads.
std::mutex g_factoryMutex;
loamset::ClassFactory* g_factory = nullptr;

struct FactoryCache {
    FactoryCache() = default;
    FactoryCache(const FactoryCache&) = delete;
    FactoryCache& operator=(const FactoryCache&) = delete;
    ~FactoryCache() {
        if (g_factory != nullptr) g_factory->Release();
        g_factory = nullptr;
    }
};
FactoryCache g_factoryCache;

}  // namespace

namespace loamset {

void LockModule(ModuleLock kind) noexcept {
    ++Counter(kind);
}

bool UnlockModule(ModuleLock kind) noexcept {
    std::atomic<long>& counter = Counter(kind);
    long locks = counter.load();
    do {
        if (locks <= 0) return false;
    } while (!counter.compare_exchange_weak(locks, locks - 1));
    return true;
}

long ModuleLockCount() noexcept {
    return g_factoryLocks.load() + g_serverLocks.load() + LiveDatasetObjects();
}

}  // namespace loamset

LOAMSET_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(rclsid, CLSID_TQ4Dataset)) return CLASS_E_CLASSNOTAVAILABLE;
    const std::lock_guard<std::mutex> lock(g_factoryMutex);
    if (g_factory == nullptr) {
        g_factory = new (std::nothrow) loamset::ClassFactory();
        if (g_factory == nullptr) return E_OUTOFMEMORY;
    }
    return g_factory->QueryInterface(riid, ppv);
}

LOAMSET_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return loamset::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

LOAMSET_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
    return comrt::Guarded([]() -> HRESULT {
        loamset::RegistrationFiles files;
        if (const HRESULT hr = loamset::LocateRegistrationFiles(files); FAILED(hr)) return hr;
        const HRESULT hr = loamset::EditClassesRoot([&](loamset::RegistrationStore& store) {
            return loamset::AddRegistration(store, files, loamset::kPlatformTypeLibraryRows);
        });
        if (hr == E_INVALIDARG) return SELFREG_E_CLASS;  // a path that the classes root cannot hold
        if (FAILED(hr)) return hr;
        return loamset::RegisterTypeLibrary(files);
    });
}

LOAMSET_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return comrt::Guarded([] {
        loamset::UnregisterTypeLibrary();
        return loamset::EditClassesRoot([](loamset::RegistrationStore& store) {
            loamset::RemoveRegistration(store, loamset::kPlatformTypeLibraryRows);
            return S_OK;
        });
    });
}
