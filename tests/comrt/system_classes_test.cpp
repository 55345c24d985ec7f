// Classes registered for every user by the system's registration files, beside the user's own root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "comrt/comrt.h"
#include "comrt/guid.h"
#include "comrt/registry.h"
#include "comrt/registry_store.h"
#include "loamset/kxdataset.h"
#include "tests/support/child_process.h"

namespace {

using loamer::testing::ReadFile;
using loamer::testing::RunProgram;
using loamer::testing::ScopedEnv;
using loamer::testing::ScratchDir;

const CLSID kTestClsid = {0xC0E7A11Du, 0x5B0Fu, 0x4C57u, {0x9D, 0x33, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}};
const CLSID kOtherClsid = {0xC0E7A11Du, 0x5B0Fu, 0x4C57u, {0x9D, 0x33, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x60}};

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The registration text of a ProgID for a class served by a module.
std::string Registration(const std::string& progId, const CLSID& clsid, const std::string& module) {
    comrt::Registry registry;
    const std::string clsidText = comrt::GuidToString(clsid);
    EXPECT_EQ(registry.SetValue(progId + "\\CLSID", "", clsidText), S_OK);
    EXPECT_EQ(registry.SetValue("CLSID\\" + clsidText + "\\InprocServer32", "", module), S_OK);
    return registry.ToText();
}

class SystemClasses : public ::testing::Test {
protected:
    ScratchDir scratch;
    std::string root = scratch / "user/classes.reg";
    std::string folder = scratch / "classes.d";
    ScopedEnv rootEnv{"COMRT_CLASSES_ROOT", root.c_str()};
    ScopedEnv folderEnv{"COMRT_SYSTEM_CLASSES", folder.c_str()};

    void SetUp() override {
        std::filesystem::create_directories(folder);
        std::filesystem::create_directories(scratch / "user");
    }
    HRESULT Create(const char* progId) {
        IUnknown* object = nullptr;
        const HRESULT hr =
            ComrtCreateInstanceByProgID(progId, nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
        if (object != nullptr) object->Release();
        return hr;
    }
};

TEST_F(SystemClasses, TheUserRootComesFirstKeyByKey) {
    WriteText(folder + "/test.reg", Registration("Comrt.Test", kTestClsid, COMRT_C_COMPONENT));
    EXPECT_EQ(Create("Comrt.Test"), S_OK) << "from the system file alone: " << ComrtLastErrorDetail();

    // The user's class key names a module that is gone: it shadows the system's, which would work.
    WriteText(root, Registration("Comrt.Test", kTestClsid, scratch / "gone.so"));
    EXPECT_EQ(Create("Comrt.Test"), CO_E_DLLNOTFOUND);
    EXPECT_NE(std::string(ComrtLastErrorDetail()).find("gone.so"), std::string::npos);

    // A ProgID of the user's own names its class; the system's ProgID stays visible beside it.
    WriteText(root, Registration("Comrt.Mine", kOtherClsid, COMRT_C_COMPONENT));
    CLSID clsid{};
    ASSERT_EQ(ComrtCLSIDFromProgID("Comrt.Mine", &clsid), S_OK);
    EXPECT_EQ(clsid, kOtherClsid);
    EXPECT_EQ(Create("Comrt.Test"), S_OK);

    // Set but empty: no system folder at all.
    ScopedEnv none("COMRT_SYSTEM_CLASSES", "");
    EXPECT_EQ(Create("Comrt.Test"), CO_E_CLASSSTRING);
    EXPECT_EQ(std::string(ComrtLastErrorDetail()), "no Comrt.Test\\CLSID in " + root);
}

TEST_F(SystemClasses, FilesThatCannotServeAreSkippedAndNamedWhenALookupFails) {
    const std::string good = Registration("Comrt.Test", kTestClsid, COMRT_C_COMPONENT);
    WriteText(folder + "/a-damaged.reg", "REGEDIT4\n[HKEY_CLASSES_ROOT\\X]\n@=\"unclosed\n");
    WriteText(folder + "/b-huge.reg", good + std::string(comrt::kSystemFileLimit, ';'));
    std::filesystem::create_directory(folder + "/c-folder.reg");
    ASSERT_EQ(::mkfifo((folder + "/d-fifo.reg").c_str(), 0644), 0);
    WriteText(folder + "/z-good.reg", good);
    // Not registration files: their classes are never seen.
    WriteText(folder + "/other.txt", Registration("Comrt.Hidden", kOtherClsid, COMRT_C_COMPONENT));
    WriteText(folder + "/.other.reg", Registration("Comrt.Hidden", kOtherClsid, COMRT_C_COMPONENT));

    EXPECT_EQ(Create("Comrt.Test"), S_OK) << ComrtLastErrorDetail();
    EXPECT_EQ(Create("Comrt.Hidden"), CO_E_CLASSSTRING);
    const std::string detail = ComrtLastErrorDetail();
    for (const std::string& part : {
             "no Comrt.Hidden\\CLSID in " + root + " or the .reg files of " + folder + "; skipped ",
             folder + "/a-damaged.reg, line 3: a string without its closing quote",
             folder + "/b-huge.reg: larger than 1048576 bytes",
             folder + "/c-folder.reg: not a regular file",
             folder + "/d-fifo.reg: not a regular file",
         }) {
        EXPECT_NE(detail.find(part), std::string::npos) << part << "\nin: " << detail;
    }
    EXPECT_EQ(detail.find("z-good"), std::string::npos) << detail;

    // Unreadable: only a user other than root is kept out by the mode.
    if (::geteuid() != 0) {
        ::chmod((folder + "/z-good.reg").c_str(), 0);
        EXPECT_EQ(Create("Comrt.Test"), CO_E_CLASSSTRING);
        const std::string denied = ComrtLastErrorDetail();
        EXPECT_NE(denied.find("z-good.reg: Permission denied"), std::string::npos) << denied;
    }
}

// The real component: registered for every user by a file made as the install makes it, then also
// by the user, whose unregistration leaves the system's file and registration as they were.
TEST_F(SystemClasses, RegsvrChangesOnlyTheUserRoot) {
    auto regsvr = [&](std::vector<std::string> args, const std::string& classesRoot) {
        loamer::testing::ChildOptions options;
        options.argv = {COMRT_REGSVR, "-s"};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.setEnv = {{"COMRT_CLASSES_ROOT", classesRoot}, {"COMRT_SYSTEM_CLASSES", folder}};
        const auto result = RunProgram(options);
        EXPECT_EQ(result.status, 0) << result.err;
    };
    const std::string system = folder + "/loamset.reg";
    regsvr({LOAMSET_MODULE}, system);
    const std::string systemText = ReadFile(system);
    ASSERT_NE(systemText.find("[HKEY_CLASSES_ROOT\\" KX_PROGID "\\CLSID]"), std::string::npos);

    regsvr({LOAMSET_MODULE}, root);
    EXPECT_EQ(ReadFile(root), systemText);
    regsvr({"-u", LOAMSET_MODULE}, root);
    EXPECT_EQ(ReadFile(root).find(KX_PROGID), std::string::npos) << ReadFile(root);
    EXPECT_EQ(ReadFile(system), systemText);

    IKXDataset* dataset = nullptr;
    const HRESULT hr =
        ComrtCreateInstanceByProgID(KX_PROGID, nullptr, IID_IKXDataset, reinterpret_cast<void**>(&dataset));
    ASSERT_EQ(hr, S_OK) << ComrtLastErrorDetail();
    dataset->Release();
}

}  // namespace
