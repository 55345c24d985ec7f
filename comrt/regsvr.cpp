// regsvr [-u] [-s] MODULE: has a component module add its classes to the classes root, or remove them.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "comrt/comrt.h"
#include "comrt/registry_store.h"

namespace {

// The exit statuses: what failed, as scripts want to tell apart.
constexpr int kExitLoad = 3;
constexpr int kExitEntry = 4;
constexpr int kExitCall = 5;
constexpr int kExitUsage = 64;

constexpr const char* kUsage =
    "usage: regsvr [-u] [-s] MODULE\n"
    "  Loads the component module MODULE and calls its DllRegisterServer, or with -u its\n"
    "  DllUnregisterServer. -s prints nothing on success.\n"
    "  The classes root is $COMRT_CLASSES_ROOT, or ~/.local/share/comrt/classes.reg.\n";

// The path the module is loaded from, and so the path it registers: absolute, so that a client in
// another folder finds it; a bare name means the file in the current folder when there is one.
std::string ModulePath(const std::string& argument) {
    if (char* resolved = ::realpath(argument.c_str(), nullptr); resolved != nullptr) {
        std::string path(resolved);
        std::free(resolved);
        return path;
    }
    return argument;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool silent = false;
    std::string module;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "-h" || arg == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (options && arg == "-u") {
            unregister = true;
        } else if (options && arg == "-s") {
            silent = true;
        } else if ((!options || arg.empty() || arg.front() != '-') && module.empty()) {
            module = arg;
        } else {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
    }
    if (module.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }

    const std::string path = ModulePath(module);
    // Without a slash dlopen would search the library path instead of opening this file.
    const std::string loadPath = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = ::dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "regsvr: cannot load %s: %s\n", module.c_str(), ::dlerror());
        return kExitLoad;
    }
    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    const auto entry = reinterpret_cast<ComrtDllRegisterServerFn>(::dlsym(handle, entryName));
    if (entry == nullptr) {
        std::fprintf(stderr, "regsvr: %s has no entry point %s\n", path.c_str(), entryName);
        return kExitEntry;
    }
    const HRESULT hr = entry();
    // The module stays loaded to the end, so that a leak report can still name its functions.
    if (FAILED(hr)) {
        std::fprintf(stderr, "regsvr: %s in %s failed: 0x%08X (%s)\n", entryName, path.c_str(),
                     static_cast<unsigned>(hr), ComrtResultText(hr));
        std::string detail;
        comrt::Registry registry;
        if (FAILED(comrt::ReadClassesRoot(registry, &detail))) {
            std::fprintf(stderr, "regsvr: %s\n", detail.c_str());
        } else {
            std::fprintf(stderr, "regsvr: the classes root is %s\n", comrt::ClassesRootPath().c_str());
        }
        return kExitCall;
    }
    if (!silent) std::printf("%s in %s succeeded.\n", entryName, path.c_str());
    return 0;
}
