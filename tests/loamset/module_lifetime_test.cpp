// The module as a client process sees it: its exports, its class factory and its lock count.
// Each test loads a private copy of the module, so that it starts unloaded and unlocked.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "comrt/comrt.h"
#include "loamset/kxdataset.h"
#include "tests/support/child_process.h"

namespace {

using loamer::testing::ChildOptions;
using loamer::testing::RunProgram;
using loamer::testing::ScratchDir;

void* const kSentinel = reinterpret_cast<void*>(0x55555555);

class ModuleLifetime : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string copy = scratch / "loamset.so";
        std::filesystem::copy_file(LOAMSET_MODULE, copy);
        module = ::dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << ::dlerror();
        getClassObject = reinterpret_cast<ComrtDllGetClassObjectFn>(::dlsym(module, "DllGetClassObject"));
        canUnloadNow = reinterpret_cast<ComrtDllCanUnloadNowFn>(::dlsym(module, "DllCanUnloadNow"));
        ASSERT_NE(getClassObject, nullptr);
        ASSERT_NE(canUnloadNow, nullptr);
    }
    void TearDown() override {
        if (module == nullptr) return;
        EXPECT_EQ(canUnloadNow(), S_OK) << "every reference the test took was given back";
        ::dlclose(module);
    }

    IClassFactory* Factory() {
        void* factory = nullptr;
        EXPECT_EQ(getClassObject(CLSID_TQ4Dataset, IID_IClassFactory, &factory), S_OK);
        return static_cast<IClassFactory*>(factory);
    }

    ScratchDir scratch;
    void* module = nullptr;
    ComrtDllGetClassObjectFn getClassObject = nullptr;
    ComrtDllCanUnloadNowFn canUnloadNow = nullptr;
};

TEST_F(ModuleLifetime, ClassObjectRequestsItRefuses) {
    struct Case {
        const char* name;
        const CLSID* clsid;
        const IID* iid;
        HRESULT expected;
    };
    const Case cases[] = {
        {"another class", &IID_IKXDataset, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"an interface the factory lacks", &CLSID_TQ4Dataset, &IID_IKXDataset, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        void* out = kSentinel;
        EXPECT_EQ(getClassObject(*c.clsid, *c.iid, &out), c.expected) << c.name;
        EXPECT_EQ(out, nullptr) << c.name;
    }
    EXPECT_EQ(getClassObject(CLSID_TQ4Dataset, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ModuleLifetime, TheLockCountFollowsFactoriesServerLocksAndObjects) {
    EXPECT_EQ(canUnloadNow(), S_OK);
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "a client holds the factory";

    IUnknown* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    ASSERT_EQ(factory->LockServer(1), S_OK);
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "an object and a server lock remain";
    object->Release();
    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the server lock remains";

    factory = Factory();
    ASSERT_EQ(factory->LockServer(0), S_OK);
    EXPECT_EQ(factory->LockServer(0), E_UNEXPECTED) << "an unlock without a lock";
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ModuleLifetime, CreateInstanceRefusesAggregationAndUnknownInterfaces) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    IUnknown* outer = factory;  // any object: it must not be used
    void* out = kSentinel;
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    out = kSentinel;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IKXDataset, nullptr), E_POINTER);
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_OK) << "the refused object is gone";

    // Both interfaces lead to one object.
    factory = Factory();
    IKXDataset* dataset = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IKXDataset, reinterpret_cast<void**>(&dataset)), S_OK);
    factory->Release();
    IUnknown* unknown = nullptr;
    ASSERT_EQ(dataset->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(dataset), unknown);
    unknown->Release();
    dataset->Release();
}

TEST_F(ModuleLifetime, TheFactoryIsMadeOnceWhoeverAsksFirst) {
    constexpr int kThreads = 8;
    std::vector<void*> factories(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t, &factories] {
            (void)getClassObject(CLSID_TQ4Dataset, IID_IClassFactory,
                                 &factories[static_cast<std::size_t>(t)]);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(std::set<void*>(factories.begin(), factories.end()).size(), 1u);
    ASSERT_NE(factories.front(), nullptr);
    for (void* factory : factories) static_cast<IClassFactory*>(factory)->Release();
}

TEST(ModuleExports, OnlyTheFourEntryPoints) {
    ChildOptions options;
    options.argv = {"/usr/bin/nm", "-D", "--defined-only", LOAMSET_MODULE};
    const auto result = RunProgram(options);
    ASSERT_EQ(result.status, 0) << result.err;
    std::set<std::string> names;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        names.insert(line.substr(line.rfind(' ') + 1));
    }
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                            "DllUnregisterServer"}));
}

}  // namespace
