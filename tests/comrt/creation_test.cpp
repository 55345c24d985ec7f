// Creating objects through comrt: from the classes root by CLSID or ProgID, or from a module path,
// with a component written in C.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "comrt/comrt.h"
#include "comrt/guid.h"
#include "comrt/registry_store.h"
#include "tests/support/child_process.h"

namespace {

using loamer::testing::RunProgram;
using loamer::testing::ScopedEnv;
using loamer::testing::ScratchDir;

const CLSID kTestClsid = {0xC0E7A11Du, 0x5B0Fu, 0x4C57u, {0x9D, 0x33, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}};
const CLSID kOtherClsid = {0xC0E7A11Du, 0x5B0Fu, 0x4C57u, {0x9D, 0x33, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x60}};
void* const kSentinel = reinterpret_cast<void*>(0x55555555);

bool ModuleLoaded(const char* path) {
    void* handle = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) ::dlclose(handle);
    return handle != nullptr;
}

class Creation : public ::testing::Test {
protected:
    ScratchDir scratch;
    std::string path = scratch / "classes.reg";
    ScopedEnv root{"COMRT_CLASSES_ROOT", path.c_str()};
    ScopedEnv noSystemClasses{"COMRT_SYSTEM_CLASSES", ""};

    static void Register(const CLSID& clsid, const std::string& server) {
        const std::string key = "CLSID\\" + comrt::GuidToString(clsid);
        ASSERT_EQ(comrt::EditClassesRoot([&](comrt::Registry& r) {
                      if (server.empty()) return r.CreateKey(key);
                      return r.SetValue(key + "\\InprocServer32", "", server);
                  }),
                  S_OK);
    }
    static void RegisterProgId(const std::string& progId, const std::string& clsidText,
                               const std::string& curVer) {
        ASSERT_EQ(comrt::EditClassesRoot([&](comrt::Registry& r) {
                      if (!clsidText.empty()) return r.SetValue(progId + "\\CLSID", "", clsidText);
                      return r.SetValue(progId + "\\CurVer", "", curVer);
                  }),
                  S_OK);
    }
};

TEST_F(Creation, FailuresOnTheWayToTheFactory) {
    struct Case {
        const char* name;
        CLSID clsid;
        std::string server;  // empty: the CLSID key without InprocServer32
        HRESULT expected;
        std::string detail;  // a part of ComrtLastErrorDetail()
    };
    const Case cases[] = {
        {"unregistered", kOtherClsid, "-", REGDB_E_CLASSNOTREG,
         "no CLSID\\{C0E7A11D-5B0F-4C57-9D33-0A1B2C3D4E60}\\InprocServer32 in " + path},
        {"no InprocServer32", kTestClsid, "", REGDB_E_CLASSNOTREG, "InprocServer32 in " + path},
        {"missing file", kTestClsid, scratch / "gone.so", CO_E_DLLNOTFOUND,
         "gone.so: No such file or directory"},
        {"not a module", kTestClsid, path, CO_E_ERRORINDLL, "classes.reg: invalid ELF header"},
        {"no DllGetClassObject", kTestClsid, COMRT_NO_ENTRY_MODULE, CO_E_ERRORINDLL,
         "has no entry point DllGetClassObject"},
        {"module without the class", kOtherClsid, COMRT_C_COMPONENT, CLASS_E_CLASSNOTAVAILABLE, ""},
    };
    {
        void* object = kSentinel;
        EXPECT_EQ(ComrtCreateInstance(kTestClsid, nullptr, IID_IUnknown, &object), REGDB_E_CLASSNOTREG)
            << "no file";
        EXPECT_EQ(object, nullptr);
    }
    for (const Case& c : cases) {
        if (c.server != "-") Register(c.clsid, c.server);
        void* object = kSentinel;
        EXPECT_EQ(ComrtCreateInstance(c.clsid, nullptr, IID_IUnknown, &object), c.expected) << c.name;
        EXPECT_EQ(object, nullptr) << c.name;
        EXPECT_NE(std::string(ComrtLastErrorDetail()).find(c.detail), std::string::npos)
            << c.name << ": " << ComrtLastErrorDetail();
    }
    EXPECT_EQ(ComrtCreateInstance(kTestClsid, nullptr, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(Creation, ByProgIdDirectlyThroughCurVerAndInAnyCase) {
    Register(kTestClsid, COMRT_C_COMPONENT);
    RegisterProgId("Comrt.Test.1", comrt::GuidToString(kTestClsid), "");
    RegisterProgId("Comrt.Test", "", "Comrt.Test.1");
    for (const char* progId : {"Comrt.Test.1", "comrt.test", "COMRT.TEST.1"}) {
        CLSID clsid{};
        EXPECT_EQ(ComrtCLSIDFromProgID(progId, &clsid), S_OK) << progId;
        EXPECT_EQ(clsid, kTestClsid) << progId;
        IUnknown* object = nullptr;
        ASSERT_EQ(
            ComrtCreateInstanceByProgID(progId, nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
            S_OK);
        EXPECT_EQ(object->Release(), 0u);
    }
    RegisterProgId("Comrt.Broken", "not a guid", "");
    for (const char* progId : {"Comrt.Missing", "", "Comrt.Test.1\\CLSID", "Comrt.Broken"}) {
        CLSID clsid = kOtherClsid;
        EXPECT_EQ(ComrtCLSIDFromProgID(progId, &clsid), CO_E_CLASSSTRING) << progId;
    }
}

TEST_F(Creation, AModuleIsUnloadedOnlyWhenItSaysSo) {
    IUnknown* object = nullptr;
    ASSERT_EQ(ComrtCreateInstanceFromModule(COMRT_C_COMPONENT, kTestClsid, nullptr, IID_IUnknown,
                                            reinterpret_cast<void**>(&object)),
              S_OK);
    ComrtFreeUnusedModules();
    EXPECT_TRUE(ModuleLoaded(COMRT_C_COMPONENT)) << "an object is alive";

    IClassFactory* factory = nullptr;
    ASSERT_EQ(ComrtGetClassObjectFromModule(COMRT_C_COMPONENT, kTestClsid, IID_IClassFactory,
                                            reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(factory->LockServer(1), S_OK);
    factory->Release();
    object->Release();
    ComrtFreeUnusedModules();
    EXPECT_TRUE(ModuleLoaded(COMRT_C_COMPONENT)) << "a server lock is held";

    ASSERT_EQ(factory->LockServer(0), S_OK);  // the factory of this module is static
    ComrtFreeUnusedModules();
    EXPECT_FALSE(ModuleLoaded(COMRT_C_COMPONENT));

    // Loaded again on demand.
    ASSERT_EQ(ComrtCreateInstanceFromModule(COMRT_C_COMPONENT, kTestClsid, nullptr, IID_IUnknown,
                                            reinterpret_cast<void**>(&object)),
              S_OK);
    object->Release();
}

TEST(Regsvr, RefusesWhatItCannotRegister) {
    ScratchDir scratch;
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{}, 64, "usage: regsvr"},
        {{"-x", COMRT_C_COMPONENT}, 64, "usage: regsvr"},
        {{"a.so", "b.so"}, 64, "usage: regsvr"},
        {{scratch / "gone.so"}, 3, "cannot load"},
        {{COMRT_C_COMPONENT}, 4, "has no entry point DllRegisterServer"},
        {{"-u", COMRT_C_COMPONENT}, 4, "has no entry point DllUnregisterServer"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv{COMRT_REGSVR};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        loamer::testing::ChildOptions options;
        options.argv = argv;
        options.setEnv = {{"COMRT_CLASSES_ROOT", scratch / "classes.reg"}};
        const auto result = RunProgram(options);
        EXPECT_EQ(result.status, c.status) << argv.back();
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
}

}  // namespace
