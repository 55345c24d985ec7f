// Creation of objects by class identifier, by ProgID and from a module path.
#include <dlfcn.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "comrt/comrt.h"
#include "comrt/guarded.h"
#include "comrt/guid.h"
#include "comrt/registry_store.h"

namespace {

struct LoadedModule {
    void* handle = nullptr;
    ComrtDllGetClassObjectFn getClassObject = nullptr;
    ComrtDllCanUnloadNowFn canUnloadNow = nullptr;
};

// Modules stay loaded (one dlopen each, by their real path) until ComrtFreeUnusedModules. The lock
// is held while a module's DllGetClassObject runs, so that no other thread unloads it meanwhile;
// once that returned, the factory it handed out keeps the module busy by itself.
std::mutex g_modulesMutex;
std::map<std::string, LoadedModule> g_modules;

// The reason behind this thread's last failure, for people to read.
thread_local std::string t_detail;

HRESULT Failure(HRESULT hr, std::string detail) {
    t_detail = std::move(detail);
    return hr;
}

template <typename Fn>
Fn Symbol(void* handle, const char* name) {
    return reinterpret_cast<Fn>(::dlsym(handle, name));
}

HRESULT ModuleClassObject(const char* modulePath, REFCLSID rclsid, REFIID riid, void** ppv) {
    char* resolved = ::realpath(modulePath, nullptr);
    if (resolved == nullptr)
        return Failure(CO_E_DLLNOTFOUND, std::string(modulePath) + ": " + std::strerror(errno));
    const std::string path(resolved);
    std::free(resolved);

    const std::lock_guard<std::mutex> lock(g_modulesMutex);
    auto it = g_modules.find(path);
    if (it == g_modules.end()) {
        LoadedModule module;
        module.handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module.handle == nullptr) {
            const char* reason = ::dlerror();
            return Failure(CO_E_ERRORINDLL, reason != nullptr ? reason : path + " does not load");
        }
        module.getClassObject = Symbol<ComrtDllGetClassObjectFn>(module.handle, "DllGetClassObject");
        module.canUnloadNow = Symbol<ComrtDllCanUnloadNowFn>(module.handle, "DllCanUnloadNow");
        if (module.getClassObject == nullptr) {
            ::dlclose(module.handle);
            return Failure(CO_E_ERRORINDLL, path + " has no entry point DllGetClassObject");
        }
        it = g_modules.emplace(path, module).first;
    }
    const HRESULT hr = it->second.getClassObject(rclsid, riid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

HRESULT RegisteredModule(REFCLSID rclsid, std::string& path) {
    comrt::ClassesView classes;
    if (const HRESULT hr = comrt::ReadClassesView(classes, &t_detail); FAILED(hr)) return hr;
    const std::string key = "CLSID\\" + comrt::GuidToString(rclsid) + "\\InprocServer32";
    const std::string* server = classes.FindValue(key, "");
    if (server == nullptr || server->empty()) {
        return Failure(REGDB_E_CLASSNOTREG, "no " + key + " " + classes.Searched());
    }
    path = *server;
    return S_OK;
}

// A component may be written in C: its interface tables carry no C++ type information for the
// sanitizer's check of the dynamic type to find.
__attribute__((no_sanitize("vptr"))) HRESULT CreateThroughFactory(IClassFactory* factory, IUnknown* pUnkOuter,
                                                                  REFIID riid, void** ppv) {
    const HRESULT hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

}  // namespace

extern "C" {

HRESULT ComrtStringFromGUID(REFGUID guid, char* text, int size) {
    if (text == nullptr) return E_POINTER;
    if (size < 39) return E_INVALIDARG;
    const std::string written = comrt::GuidToString(guid);
    std::memcpy(text, written.c_str(), written.size() + 1);
    return S_OK;
}

HRESULT ComrtGUIDFromString(const char* text, GUID* guid) {
    if (text == nullptr || guid == nullptr) return E_POINTER;
    return comrt::ParseGuid(text, *guid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT ComrtCLSIDFromProgID(const char* progId, CLSID* clsid) {
    t_detail.clear();
    if (progId == nullptr || clsid == nullptr) return E_POINTER;
    return comrt::Guarded([&]() -> HRESULT {
        const std::string name(progId);
        // A backslash would reach into another key; the registry limits a ProgID's length.
        if (name.empty() || name.size() > 255 || name.find('\\') != std::string::npos)
            return CO_E_CLASSSTRING;
        comrt::ClassesView classes;
        if (const HRESULT hr = comrt::ReadClassesView(classes, &t_detail); FAILED(hr)) return hr;
        const std::string* text = classes.FindValue(name + "\\CLSID", "");
        if (text == nullptr) {
            if (const std::string* current = classes.FindValue(name + "\\CurVer", "");
                current != nullptr && !current->empty() && current->find('\\') == std::string::npos) {
                text = classes.FindValue(*current + "\\CLSID", "");
            }
        }
        if (text == nullptr)
            return Failure(CO_E_CLASSSTRING, "no " + name + "\\CLSID " + classes.Searched());
        if (!comrt::ParseGuid(*text, *clsid)) {
            return Failure(CO_E_CLASSSTRING, name + "\\CLSID holds no class identifier: \"" + *text + "\"");
        }
        return S_OK;
    });
}

HRESULT ComrtGetClassObjectFromModule(const char* modulePath, REFCLSID rclsid, REFIID riid, void** ppv) {
    t_detail.clear();
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (modulePath == nullptr) return E_POINTER;
    return comrt::Guarded([&] { return ModuleClassObject(modulePath, rclsid, riid, ppv); });
}

HRESULT ComrtGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    t_detail.clear();
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    return comrt::Guarded([&]() -> HRESULT {
        std::string path;
        if (const HRESULT hr = RegisteredModule(rclsid, path); FAILED(hr)) return hr;
        return ModuleClassObject(path.c_str(), rclsid, riid, ppv);
    });
}

HRESULT ComrtCreateInstanceFromModule(const char* modulePath, REFCLSID rclsid, IUnknown* pUnkOuter,
                                      REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    void* factory = nullptr;
    if (const HRESULT hr = ComrtGetClassObjectFromModule(modulePath, rclsid, IID_IClassFactory, &factory);
        FAILED(hr)) {
        return hr;
    }
    return CreateThroughFactory(static_cast<IClassFactory*>(factory), pUnkOuter, riid, ppv);
}

HRESULT ComrtCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    void* factory = nullptr;
    if (const HRESULT hr = ComrtGetClassObject(rclsid, IID_IClassFactory, &factory); FAILED(hr)) return hr;
    return CreateThroughFactory(static_cast<IClassFactory*>(factory), pUnkOuter, riid, ppv);
}

HRESULT ComrtCreateInstanceByProgID(const char* progId, IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    CLSID clsid{};
    if (const HRESULT hr = ComrtCLSIDFromProgID(progId, &clsid); FAILED(hr)) return hr;
    return ComrtCreateInstance(clsid, pUnkOuter, riid, ppv);
}

const char* ComrtLastErrorDetail(void) {
    return t_detail.c_str();
}

int ComrtFreeUnusedModules(void) {
    const std::lock_guard<std::mutex> lock(g_modulesMutex);
    for (auto it = g_modules.begin(); it != g_modules.end();) {
        // A module without DllCanUnloadNow cannot tell, so it stays.
        if (it->second.canUnloadNow != nullptr && it->second.canUnloadNow() == S_OK) {
            ::dlclose(it->second.handle);
            it = g_modules.erase(it);
        } else {
            ++it;
        }
    }
    return static_cast<int>(g_modules.size());
}

}  // extern "C"
