// The module on Linux: its file learned from the loader, the classes root kept by comrt.
#include "loamset/module_platform.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "comrt/registry.h"
#include "comrt/registry_store.h"

namespace loamset {
namespace {

std::string RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return {};
    std::string real(resolved);
    std::free(resolved);
    return real;
}

// Any object inside the module tells the loader which file it came from.
const int kModuleAnchor = 0;

class ClassesRootFile final : public RegistrationStore {
public:
    explicit ClassesRootFile(comrt::Registry& registry) : registry_(registry) {}
    HRESULT CreateKey(std::string_view key) override { return registry_.CreateKey(key); }
    HRESULT SetValue(std::string_view key, std::string_view name, std::string_view data) override {
        return registry_.SetValue(key, name, data);
    }
    void DeleteValue(std::string_view key, std::string_view name) override { registry_.DeleteValue(key, name); }
    void DeleteTree(std::string_view key) override { registry_.DeleteTree(key); }
    void DeleteKeyIfEmpty(std::string_view key) override { registry_.DeleteKeyIfEmpty(key); }

private:
    comrt::Registry& registry_;
};

}  // namespace

const TypeLibraryRows kPlatformTypeLibraryRows = TypeLibraryRows::Written;

// Beside the module, the installed interface description and client header, at the places the
// build gave them relative to the module.
HRESULT LocateRegistrationFiles(RegistrationFiles& files) {
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

HRESULT EditClassesRoot(const std::function<HRESULT(RegistrationStore&)>& edit) {
    return comrt::EditClassesRoot([&](comrt::Registry& registry) {
        ClassesRootFile store(registry);
        return edit(store);
    });
}

HRESULT RegisterTypeLibrary(const RegistrationFiles&) {
    return S_OK;
}

void UnregisterTypeLibrary() {}

}  // namespace loamset
