// The module's four entry points, its lock count and its cached class factory.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>

#include "comrt/com_types.h"
#include "comrt/registry_store.h"
#include "loamset/class_factory.h"
#include "loamset/dataset.h"
#include "loamset/kxdataset.h"
#include "loamset/module.h"
#include "loamset/registration.h"

#define LOAMSET_EXPORT extern "C" __attribute__((visibility("default")))

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

// Nothing thrown inside the module leaves it.
template <typename Body>
HRESULT Guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

std::string RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return {};
    std::string real(resolved);
    std::free(resolved);
    return real;
}

// Any object inside the module tells the loader which file it came from.
const int kModuleAnchor = 0;

// The module's own file, and beside it the installed interface description and client header,
// at the places the build gave them relative to the module.
HRESULT LocateFiles(loamset::RegistrationFiles& files) {
    Dl_info info{};
    if (::dladdr(&kModuleAnchor, &info) == 0 || info.dli_fname == nullptr) return SELFREG_E_CLASS;
    files.module = RealPath(info.dli_fname);
    if (files.module.empty()) return SELFREG_E_CLASS;
    const std::string folder = files.module.substr(0, files.module.find_last_of('/') + 1);
    files.idl = RealPath(folder + LOAMSET_IDL_FROM_MODULE);
    files.header = RealPath(folder + LOAMSET_HEADER_FROM_MODULE);
    if (files.idl.empty() || files.header.empty()) return SELFREG_E_TYPELIB;
    return S_OK;
}

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

LOAMSET_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
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

LOAMSET_EXPORT HRESULT DllCanUnloadNow() {
    return loamset::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

LOAMSET_EXPORT HRESULT DllRegisterServer() {
    return Guarded([]() -> HRESULT {
        loamset::RegistrationFiles files;
        if (const HRESULT hr = LocateFiles(files); FAILED(hr)) return hr;
        const HRESULT hr = comrt::EditClassesRoot(
            [&](comrt::Registry& registry) { return loamset::AddRegistration(registry, files); });
        return hr == E_INVALIDARG ? SELFREG_E_CLASS : hr;  // a path that the file cannot hold
    });
}

LOAMSET_EXPORT HRESULT DllUnregisterServer() {
    return Guarded([] {
        return comrt::EditClassesRoot([](comrt::Registry& registry) {
            loamset::RemoveRegistration(registry);
            return S_OK;
        });
    });
}
