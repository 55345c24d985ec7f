// regsvr [-u] [-s] MODULE: has a component module add its classes to the user's classes root, or
// remove them from it. Installed as comrt-regsvr; it names itself as it was called. The system's
// registration files are the packages' own and never written here.
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

void PrintUsage(std::FILE* out, const char* program) {
    const std::string folder = comrt::SystemClassesFolder();
    std::fprintf(out,
                 "usage: %s [-u] [-s] MODULE\n"
                 "  Loads the component module MODULE and calls its DllRegisterServer, or with -u its\n"
                 "  DllUnregisterServer. -s prints nothing on success.\n"
                 "  Both change only your classes root, $COMRT_CLASSES_ROOT or\n"
                 "  ~/.local/share/comrt/classes.reg, whose classes come before those registered\n"
                 "  for every user by the .reg files in %s.\n",
                 program, folder.empty() ? "no system folder" : folder.c_str());
}

// The name the program was called by, for its messages.
const char* ProgramName(const char* argv0) {
    if (argv0 == nullptr || *argv0 == '\0') return "regsvr";
    const char* slash = std::strrchr(argv0, '/');
    return slash != nullptr ? slash + 1 : argv0;
}

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
    const char* program = ProgramName(argc > 0 ? argv[0] : nullptr);
    bool unregister = false;
    bool silent = false;
    std::string module;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "-h" || arg == "--help")) {
            PrintUsage(stdout, program);
            return 0;
        } else if (options && arg == "-u") {
            unregister = true;
        } else if (options && arg == "-s") {
            silent = true;
        } else if ((!options || arg.empty() || arg.front() != '-') && module.empty()) {
            module = arg;
        } else {
            PrintUsage(stderr, program);
            return kExitUsage;
        }
    }
    if (module.empty()) {
        PrintUsage(stderr, program);
        return kExitUsage;
    }

    const std::string path = ModulePath(module);
    // Without a slash dlopen would search the library path instead of opening this file.
    const std::string loadPath = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = ::dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s: cannot load %s: %s\n", program, module.c_str(), ::dlerror());
        return kExitLoad;
    }
    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    const auto entry = reinterpret_cast<ComrtDllRegisterServerFn>(::dlsym(handle, entryName));
    if (entry == nullptr) {
        std::fprintf(stderr, "%s: %s has no entry point %s\n", program, path.c_str(), entryName);
        return kExitEntry;
    }
    const HRESULT hr = entry();
    // The module stays loaded to the end, so that a leak report can still name its functions.
    if (FAILED(hr)) {
        std::fprintf(stderr, "%s: %s in %s failed: 0x%08X (%s)\n", program, entryName, path.c_str(),
                     static_cast<unsigned>(hr), ComrtResultText(hr));
        std::string detail;
        comrt::Registry registry;
        if (FAILED(comrt::ReadClassesRoot(registry, &detail))) {
            std::fprintf(stderr, "%s: %s\n", program, detail.c_str());
        } else {
            std::fprintf(stderr, "%s: the classes root is %s\n", program, comrt::ClassesRootPath().c_str());
        }
        return kExitCall;
    }
    if (!silent) std::printf("%s in %s succeeded.\n", entryName, path.c_str());
    return 0;
}
