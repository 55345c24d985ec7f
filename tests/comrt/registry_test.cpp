// The classes root: its text form, its key operations and the file that holds it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "comrt/guid.h"
#include "comrt/registry.h"
#include "comrt/registry_store.h"
#include "tests/support/child_process.h"

namespace {

using comrt::Registry;
using loamer::testing::ReadFile;
using loamer::testing::ScopedEnv;
using loamer::testing::ScratchDir;

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(RegistryText, ReadsWhatOthersWriteAndWritesItCanonically) {
    // CR LF line ends, comments, indentation, escapes, any case, and binary values over two lines.
    const std::string text =
        "\xEF\xBB\xBFREGEDIT4\r\n\r\n; written by hand\r\n"
        "[HKEY_CLASSES_ROOT\\b\\Sub]\r\n  \"Path\" = \"C:\\\\x \\\"q\\\"\"\r\n"
        "\"Flags\"=dword:00000001\r\n\"Blob\"=hex:01,02,\\\r\n  03\r\n"
        "[hkey_classes_root\\A-c]\r\n@=\"\"\r\n"
        "[HKEY_CLASSES_ROOT\\A]\r\n@=\"first\"\r\n\"@\"=\"named at\"\r\n";
    Registry registry;
    const Registry::ParseProblem problem = registry.ParseText(text);
    ASSERT_EQ(problem.line, 0) << problem.reason;

    ASSERT_NE(registry.FindValue("B\\SUB", "path"), nullptr);
    EXPECT_EQ(*registry.FindValue("B\\SUB", "path"), "C:\\x \"q\"");
    EXPECT_EQ(registry.FindValue("b\\Sub", "Flags"), nullptr);  // not a string
    EXPECT_TRUE(registry.HasKey("b"));                          // parents exist

    const std::string canonical =
        "REGEDIT4\n\n"
        "[HKEY_CLASSES_ROOT\\A]\n@=\"first\"\n\"@\"=\"named at\"\n\n"
        "[HKEY_CLASSES_ROOT\\A-c]\n@=\"\"\n\n"
        "[HKEY_CLASSES_ROOT\\b]\n\n"
        "[HKEY_CLASSES_ROOT\\b\\Sub]\n\"Blob\"=hex:01,02,03\n\"Flags\"=dword:00000001\n"
        "\"Path\"=\"C:\\\\x \\\"q\\\"\"\n\n";
    EXPECT_EQ(registry.ToText(), canonical);

    Registry again;
    ASSERT_EQ(again.ParseText(canonical).line, 0);
    EXPECT_EQ(again.ToText(), canonical);
}

TEST(RegistryText, RefusesWhatItCannotRead) {
    struct Case {
        const char* text;
        int line;
        const char* reason;
    };
    const Case cases[] = {
        {"Windows Registry Editor Version 5.00\n", 1, "does not start with REGEDIT4"},
        {"REGEDIT4\n@=\"x\"\n", 2, "before the first key"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n", 2, "under HKEY_CLASSES_ROOT"},
        {"REGEDIT4\n[-HKEY_CLASSES_ROOT\\A]\n", 2, "deletions"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A\\\\B]\n", 2, "invalid key"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A\n", 2, "must end with ]"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n@\"x\"\n", 3, "without ="},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n@=\"x\n", 3, "closing quote"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"n\"=-\n", 3, "deletions"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"n\"=hex:01,\\\n", 3, "end of the file"},
    };
    for (const Case& c : cases) {
        Registry registry;
        ASSERT_EQ(registry.SetValue("Kept", "", "1"), S_OK);
        const Registry::ParseProblem problem = registry.ParseText(c.text);
        EXPECT_EQ(problem.line, c.line) << c.text;
        EXPECT_NE(problem.reason.find(c.reason), std::string::npos) << c.text << " -> " << problem.reason;
        EXPECT_TRUE(registry.HasKey("Kept")) << c.text;
    }
}

TEST(RegistryKeys, DeletionsStayInsideTheirKey) {
    Registry registry;
    for (const char* key :
         {"CLSID\\{A}\\InprocServer32", "CLSID\\{A}\\ProgID", "CLSID\\{A}x", "CLSID\\{B}"}) {
        ASSERT_EQ(registry.SetValue(key, "", "v"), S_OK);
    }
    EXPECT_EQ(registry.SubKeys("clsid"), (std::vector<std::string>{"{A}", "{A}x", "{B}"}));

    EXPECT_FALSE(registry.DeleteKeyIfEmpty("CLSID\\{A}"));  // it has subkeys
    EXPECT_TRUE(registry.DeleteTree("clsid\\{a}"));
    EXPECT_FALSE(registry.HasKey("CLSID\\{A}\\ProgID"));
    EXPECT_TRUE(registry.HasKey("CLSID\\{A}x"));
    EXPECT_TRUE(registry.HasKey("CLSID\\{B}"));

    EXPECT_TRUE(registry.DeleteValue("CLSID\\{B}", ""));
    EXPECT_TRUE(registry.DeleteKeyIfEmpty("CLSID\\{B}"));
    EXPECT_FALSE(registry.HasKey("CLSID\\{B}"));

    // The file format has no room for these.
    EXPECT_EQ(registry.SetValue("K", "", "two\nlines"), E_INVALIDARG);
    EXPECT_EQ(registry.SetValue("K", "n\r", "x"), E_INVALIDARG);
    EXPECT_EQ(registry.SetValue("K\\", "", "x"), E_INVALIDARG);
    EXPECT_EQ(registry.SetValue("K\tL", "", "x"), E_INVALIDARG);
    EXPECT_FALSE(registry.HasKey("K"));
}

TEST(Guid, TextBothWays) {
    const GUID clsid = {0x5A3C9E1Fu, 0x42B7u, 0x4D1Eu, {0x9C, 0x6A, 0x2F, 0x81, 0xD0, 0xB4, 0x7E, 0x31}};
    EXPECT_EQ(comrt::GuidToString(clsid), "{5A3C9E1F-42B7-4D1E-9C6A-2F81D0B47E31}");
    GUID parsed{};
    ASSERT_TRUE(comrt::ParseGuid("{5a3c9e1f-42b7-4d1e-9c6a-2f81d0b47e31}", parsed));
    EXPECT_EQ(parsed, clsid);
    for (const char* bad :
         {"5A3C9E1F-42B7-4D1E-9C6A-2F81D0B47E31", "{5A3C9E1F-42B7-4D1E-9C6A-2F81D0B47E3}",
          "{5A3C9E1F-42B7-4D1E-9C6A2F81D0B47E31F}", "{5A3C9E1F-42B7-4D1E-9C6A-2F81D0B47E3G}",
          "{5A3C9E1F-42B7-4D1E-9C6A-2F81D0B47E31}x", ""}) {
        EXPECT_FALSE(comrt::ParseGuid(bad, parsed)) << bad;
    }
    EXPECT_EQ(parsed, clsid);
}

class ClassesRootFile : public ::testing::Test {
protected:
    ScratchDir scratch;
    std::string path = scratch / "deep/er/classes.reg";
    ScopedEnv root{"COMRT_CLASSES_ROOT", path.c_str()};
};

TEST_F(ClassesRootFile, PathComesFromTheEnvironmentOrTheHomeFolder) {
    EXPECT_EQ(comrt::ClassesRootPath(), path);
    ScopedEnv empty("COMRT_CLASSES_ROOT", "");
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(comrt::ClassesRootPath(), "/home/someone/.local/share/comrt/classes.reg");
}

TEST_F(ClassesRootFile, AnEditIsWrittenWholeAndOnlyWhenItChangesSomething) {
    // Nothing to write: no file appears.
    EXPECT_EQ(comrt::EditClassesRoot([](Registry& r) { return r.DeleteTree("X") ? S_OK : S_FALSE; }), S_OK);
    EXPECT_FALSE(std::filesystem::exists(path));

    ASSERT_EQ(comrt::EditClassesRoot([](Registry& r) { return r.SetValue("A\\B", "", "1"); }), S_OK);
    EXPECT_EQ(ReadFile(path), "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n\n[HKEY_CLASSES_ROOT\\A\\B]\n@=\"1\"\n\n");
    ::chmod(path.c_str(), 0600);

    // A failed edit leaves the file as it was, even after changing the registry in memory.
    EXPECT_EQ(comrt::EditClassesRoot([](Registry& r) {
                  (void)r.SetValue("C", "", "2");
                  return E_ACCESSDENIED;
              }),
              E_ACCESSDENIED);
    ASSERT_EQ(comrt::EditClassesRoot([](Registry& r) { return r.SetValue("A\\B", "n", "2"); }), S_OK);

    Registry read;
    ASSERT_EQ(comrt::ReadClassesRoot(read), S_OK);
    EXPECT_FALSE(read.HasKey("C"));
    ASSERT_NE(read.FindValue("a\\b", "N"), nullptr);
    EXPECT_EQ(*read.FindValue("a\\b", "N"), "2");

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // No temporary file stays behind: only the file and its lock.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(scratch / "deep/er")) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"classes.reg", "classes.reg.lock"}));
}

TEST_F(ClassesRootFile, ADamagedFileIsReportedAndNeverOverwritten) {
    std::filesystem::create_directories(scratch / "deep/er");
    const std::string damaged = "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n@=\"unclosed\n";
    WriteText(path, damaged);
    std::string detail;
    Registry registry;
    EXPECT_EQ(comrt::ReadClassesRoot(registry, &detail), REGDB_E_READREGDB);
    EXPECT_EQ(detail, path + ", line 3: a string without its closing quote");
    EXPECT_EQ(comrt::EditClassesRoot([](Registry& r) { return r.SetValue("B", "", "1"); }),
              REGDB_E_READREGDB);
    EXPECT_EQ(ReadFile(path), damaged);
}

TEST_F(ClassesRootFile, ALinkedFileIsChangedWhereItLies) {
    const std::string target = scratch / "real.reg";
    WriteText(target, "REGEDIT4\n");
    std::filesystem::create_directories(scratch / "deep/er");
    std::filesystem::create_symlink(target, path);
    ASSERT_EQ(comrt::EditClassesRoot([](Registry& r) { return r.SetValue("A", "", "1"); }), S_OK);
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_NE(ReadFile(target).find("[HKEY_CLASSES_ROOT\\A]"), std::string::npos);
}

TEST_F(ClassesRootFile, ConcurrentEditsLoseNothing) {
    // Each edit is a read, a change and a rename; without the lock, writers would overwrite each
    // other's keys.
    constexpr int kThreads = 4;
    constexpr int kEdits = 25;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < kEdits; ++i) {
                const std::string key = "T" + std::to_string(t) + "\\E" + std::to_string(i);
                if (FAILED(comrt::EditClassesRoot([&](Registry& r) { return r.SetValue(key, "", "x"); }))) {
                    ++failures[static_cast<std::size_t>(t)];
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
    Registry read;
    ASSERT_EQ(comrt::ReadClassesRoot(read), S_OK);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(read.SubKeys("T" + std::to_string(t)).size(), static_cast<std::size_t>(kEdits)) << t;
    }
}

}  // namespace
