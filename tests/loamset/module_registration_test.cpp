// Registration of the module: exactly the entries it owns are written and removed, others' are kept;
// regsvr drives it as a user would.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "comrt/comrt.h"
#include "comrt/registry.h"
#include "tests/support/child_process.h"

namespace {

using loamer::testing::ChildOptions;
using loamer::testing::ReadFile;
using loamer::testing::RunProgram;
using loamer::testing::ScopedEnv;
using loamer::testing::ScratchDir;

constexpr const char* kClsid = "{5A3C9E1F-42B7-4D1E-9C6A-2F81D0B47E31}";
constexpr const char* kLibid = "{5A3C9E10-42B7-4D1E-9C6A-2F81D0B47E31}";

std::string Real(const char* path) {
    char* resolved = ::realpath(path, nullptr);
    std::string out = resolved != nullptr ? resolved : "";
    std::free(resolved);
    return out;
}

std::string Canonical(const std::string& text) {
    comrt::Registry registry;
    EXPECT_EQ(registry.ParseText(text).line, 0);
    return registry.ToText();
}

// What registration adds to an empty classes root, in the file's own order.
std::string Entries() {
    const std::string clsid = std::string("[HKEY_CLASSES_ROOT\\CLSID\\") + kClsid;
    const std::string typelib = std::string("[HKEY_CLASSES_ROOT\\TypeLib\\") + kLibid;
    const std::string idl = Real(LOAMSET_BUILD_IDL);
    const std::string platform = sizeof(void*) == 8 ? "linux64" : "linux32";
    return "REGEDIT4\n\n"
           "[HKEY_CLASSES_ROOT\\CLSID]\n\n" +
           clsid + "]\n@=\"TQ4Dataset Class\"\n\n" + clsid + "\\InprocServer32]\n@=\"" +
           Real(LOAMSET_MODULE) + "\"\n\"ThreadingModel\"=\"both\"\n\n" + clsid +
           "\\ProgID]\n@=\"Loamset.TQ4Dataset.1\"\n\n" + clsid +
           "\\VersionIndependentProgID]\n@=\"Loamset.TQ4Dataset\"\n\n"
           "[HKEY_CLASSES_ROOT\\Loamset.TQ4Dataset]\n@=\"TQ4Dataset Class\"\n\n"
           "[HKEY_CLASSES_ROOT\\Loamset.TQ4Dataset\\CLSID]\n@=\"" +
           kClsid +
           "\"\n\n"
           "[HKEY_CLASSES_ROOT\\Loamset.TQ4Dataset.1]\n@=\"TQ4Dataset Class\"\n\n"
           "[HKEY_CLASSES_ROOT\\Loamset.TQ4Dataset.1\\CLSID]\n@=\"" +
           kClsid +
           "\"\n\n"
           "[HKEY_CLASSES_ROOT\\TypeLib]\n\n" +
           typelib + "]\n\n" + typelib + "\\1.0]\n@=\"Loamset 1.0 Type Library\"\n\n" + typelib +
           "\\1.0\\0]\n\n" + typelib + "\\1.0\\0\\" + platform + "]\n@=\"" + idl + "\"\n\"Header\"=\"" +
           Real(LOAMSET_BUILD_HEADER) + "\"\n\n" + typelib + "\\1.0\\FLAGS]\n@=\"0\"\n\n" + typelib +
           "\\1.0\\HELPDIR]\n@=\"" + idl.substr(0, idl.rfind('/')) + "\"\n\n";
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        module = ::dlopen(LOAMSET_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << ::dlerror();
        registerServer = reinterpret_cast<ComrtDllRegisterServerFn>(::dlsym(module, "DllRegisterServer"));
        unregisterServer =
            reinterpret_cast<ComrtDllUnregisterServerFn>(::dlsym(module, "DllUnregisterServer"));
        ASSERT_NE(registerServer, nullptr);
        ASSERT_NE(unregisterServer, nullptr);
    }
    void TearDown() override {
        if (module != nullptr) ::dlclose(module);
    }

    ScratchDir scratch;
    std::string path = scratch / "classes.reg";
    ScopedEnv root{"COMRT_CLASSES_ROOT", path.c_str()};
    void* module = nullptr;
    ComrtDllRegisterServerFn registerServer = nullptr;
    ComrtDllUnregisterServerFn unregisterServer = nullptr;
};

TEST_F(Registration, WritesExactlyItsEntriesAndRemovesThemAll) {
    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_FALSE(std::filesystem::exists(path)) << "nothing to remove: no file is made";

    ASSERT_EQ(registerServer(), S_OK);
    EXPECT_EQ(ReadFile(path), Entries());
    ASSERT_EQ(registerServer(), S_OK);
    EXPECT_EQ(ReadFile(path), Entries()) << "registering twice";

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(ReadFile(path), "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\CLSID]\n\n[HKEY_CLASSES_ROOT\\TypeLib]\n\n")
        << "the shared keys stay";
    EXPECT_EQ(unregisterServer(), S_OK);
}

TEST_F(Registration, KeepsWhatOthersOwnAndReplacesItsOwnClassKey) {
    const std::string others =
        std::string("REGEDIT4\n\n") +
        "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-1111-2222-3333-444444444444}]\n"
        "@=\"Another class\"\n\n"
        "[HKEY_CLASSES_ROOT\\TypeLib\\" +
        kLibid +
        "\\2.0]\n"
        "@=\"Another version of the type library\"\n\n"
        "[HKEY_CLASSES_ROOT\\Loamset.TQ4Dataset\\CurVer]\n@=\"Loamset.TQ4Dataset.1\"\n\n";
    const std::string stale = std::string("[HKEY_CLASSES_ROOT\\CLSID\\") + kClsid +
                              "\\InprocServer32]\n@=\"/old/loamset.so\"\n\"Stale\"=\"1\"\n\n";
    std::ofstream(path) << others << stale;

    ASSERT_EQ(registerServer(), S_OK);
    comrt::Registry registered;
    ASSERT_EQ(registered.ParseText(ReadFile(path)).line, 0);
    const std::string server = std::string("CLSID\\") + kClsid + "\\InprocServer32";
    EXPECT_EQ(registered.ValueCount(server), 2u) << "the old class key went first";
    ASSERT_NE(registered.FindValue(server, ""), nullptr);
    EXPECT_EQ(*registered.FindValue(server, ""), Real(LOAMSET_MODULE));

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(ReadFile(path), Canonical(others));
}

TEST_F(Registration, ADamagedClassesRootIsLeftAlone) {
    const std::string damaged = "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\nbroken\n";
    std::ofstream(path) << damaged;
    EXPECT_EQ(registerServer(), REGDB_E_READREGDB);
    EXPECT_EQ(unregisterServer(), REGDB_E_READREGDB);
    EXPECT_EQ(ReadFile(path), damaged);
}

struct RegsvrRun {
    std::vector<std::string> args;
    int status;
    const char* out;  // the whole standard output, with %s for the module's path
    const char* err;  // a part of standard error
};

TEST(Regsvr, RegistersAndUnregistersTheModule) {
    ScratchDir scratch;
    const std::string path = scratch / "classes.reg";
    const std::string module = Real(LOAMSET_MODULE);
    const RegsvrRun runs[] = {
        {{LOAMSET_MODULE}, 0, "DllRegisterServer in %s succeeded.\n", ""},
        {{"-s", LOAMSET_MODULE}, 0, "", ""},
        {{"-u", LOAMSET_MODULE}, 0, "DllUnregisterServer in %s succeeded.\n", ""},
    };
    for (const RegsvrRun& run : runs) {
        ChildOptions options;
        options.argv = {COMRT_REGSVR};
        options.argv.insert(options.argv.end(), run.args.begin(), run.args.end());
        options.setEnv = {{"COMRT_CLASSES_ROOT", path}};
        const auto result = RunProgram(options);
        EXPECT_EQ(result.status, run.status) << result.err;
        std::string expected = run.out;
        if (const auto at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, module);
        EXPECT_EQ(result.out, expected);
        if (run.args.front() == std::string("-s")) {
            EXPECT_EQ(ReadFile(path), Entries());
        }
    }
    EXPECT_EQ(ReadFile(path).find("Loamset"), std::string::npos);
}

TEST(Regsvr, NamesTheClassesRootWhenRegistrationFails) {
    ScratchDir scratch;
    const std::string damaged = scratch / "damaged.reg";
    std::ofstream(damaged) << "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\nbroken\n";
    ChildOptions options;
    options.argv = {COMRT_REGSVR, LOAMSET_MODULE};
    options.setEnv = {{"COMRT_CLASSES_ROOT", damaged}};
    auto result = RunProgram(options);
    EXPECT_EQ(result.status, 5);
    EXPECT_NE(result.err.find("failed: 0x80040150 (the classes root could not be read)"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(damaged + ", line 3: a value line must start with @ or a quoted name"),
              std::string::npos)
        << result.err;

    // A user who may not write where the classes root lies.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run regsvr as another user";
    const std::string locked = scratch / "locked";
    ASSERT_EQ(::mkdir(locked.c_str(), 0755), 0);
    ::chmod(scratch.Path().c_str(), 0755);
    options.setEnv = {{"COMRT_CLASSES_ROOT", locked + "/classes.reg"}};
    options.uid = 65534;
    result = RunProgram(options);
    EXPECT_EQ(result.status, 5);
    EXPECT_NE(result.err.find("failed: 0x80070005 (access denied)"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("the classes root is " + locked + "/classes.reg"), std::string::npos)
        << result.err;
}

}  // namespace
