// The module in use: a client loads it, registers it, creates the object by ProgID (from C++ and
// from C) and reads a data record file; loamset-dump prints one.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>

#include "comrt/comrt.h"
#include "loamset/kxdataset.h"
#include "tests/loamset/module_c_client.h"
#include "tests/support/child_process.h"

namespace {

using loamer::testing::ChildOptions;
using loamer::testing::RunProgram;
using loamer::testing::ScopedEnv;
using loamer::testing::ScratchDir;

const std::string kProfileSet = LOAMSET_TEST_DATA "/retrieval/profile_set.csv";

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

TEST(ModuleClient, RegistersThenServesItsProgIdsUntilUnregistered) {
    ScratchDir scratch;
    ScopedEnv root("COMRT_CLASSES_ROOT", (scratch / "classes.reg").c_str());
    void* module = ::dlopen(LOAMSET_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << ::dlerror();
    const auto registerServer =
        reinterpret_cast<ComrtDllRegisterServerFn>(::dlsym(module, "DllRegisterServer"));
    const auto unregisterServer =
        reinterpret_cast<ComrtDllUnregisterServerFn>(::dlsym(module, "DllUnregisterServer"));
    ASSERT_TRUE(registerServer != nullptr && unregisterServer != nullptr);

    IKXDataset* dataset = nullptr;
    EXPECT_EQ(
        ComrtCreateInstanceByProgID(KX_PROGID, nullptr, IID_IKXDataset, reinterpret_cast<void**>(&dataset)),
        CO_E_CLASSSTRING);
    ASSERT_EQ(registerServer(), S_OK);

    for (const char* progId : {KX_PROGID, KX_PROGID_VERSIONED}) {
        ASSERT_EQ(
            ComrtCreateInstanceByProgID(progId, nullptr, IID_IKXDataset, reinterpret_cast<void**>(&dataset)),
            S_OK)
            << progId;
        _KXHEADERCAPS caps{};
        _KXHEADERCAPSEX capsEx{};
        _KXHeader header{};
        EXPECT_EQ(dataset->Open(Wide(kProfileSet).c_str(), &caps, &capsEx, &header), S_OK);
        EXPECT_EQ(static_cast<std::uint32_t>(caps), 0x03092083u);
        EXPECT_EQ(header.nRecords, 2);
        EXPECT_EQ(dataset->Release(), 0u);
    }

    CClientSummary summary{};
    ASSERT_EQ(CClientReadFirstRecord(Wide(kProfileSet).c_str(), &summary), S_OK);
    EXPECT_TRUE(summary.sameObject);
    EXPECT_EQ(summary.caps, 0x03092083u);
    EXPECT_EQ(summary.records, 2);
    EXPECT_EQ(std::string(summary.device), "TQ4");
    EXPECT_EQ(summary.firstResults, 4);
    EXPECT_DOUBLE_EQ(summary.firstValue, 3.0);  // the sample number
    EXPECT_EQ(summary.references, 0u);

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(
        ComrtCreateInstanceByProgID(KX_PROGID, nullptr, IID_IKXDataset, reinterpret_cast<void**>(&dataset)),
        CO_E_CLASSSTRING);
    EXPECT_EQ(
        ComrtCreateInstance(CLSID_TQ4Dataset, nullptr, IID_IKXDataset, reinterpret_cast<void**>(&dataset)),
        REGDB_E_CLASSNOTREG);
    ::dlclose(module);
}

struct DumpRun {
    const char* name;
    std::vector<std::string> args;
    bool registered;
    int status;
    std::string out;  // the whole standard output
    const char* err;  // a part of standard error
};

TEST(LoamsetDump, PrintsARealDataRecordFile) {
    ScratchDir scratch;
    const std::string root = scratch / "classes.reg";
    const std::string broken = scratch / "broken.csv";  // a title line where the banner belongs
    std::ofstream(broken) << "Time,Sample\n";
    const std::string text = "File: " + kProfileSet +
                             "\n"
                             "Device: TQ4 (18)\n"
                             "Capabilities: 0x03092083, extended 0x00000000, series 0x0000000F\n"
                             "Date order: 0 (day, month, year)\n"
                             "Started: 2016-03-05 14:07:09\n"
                             "First record: 2016-03-05 14:07:09\n"
                             "Records: 2\n"
                             "Series: 8\n"
                             "\n"
                             "Series\n"
                             "  0: channel \"\", sensor \"A.Sample\", type \"VP4\", units \"\"\n"
                             "  1: channel \"\", sensor \"A.Device\", type \"VP4\", units \"\"\n"
                             "  2: channel \"0100\", sensor \"A.VWC\", type \"VP4\", units \"m3.m-3\"\n"
                             "  3: channel \"0200\", sensor \"A.VWC\", type \"VP4\", units \"m3.m-3\"\n"
                             "  4: channel \"\", sensor \"B.Sample\", type \"VP4\", units \"\"\n"
                             "  5: channel \"\", sensor \"B.Device\", type \"VP4\", units \"\"\n"
                             "  6: channel \"0100\", sensor \"B.VWC\", type \"VP4\", units \"m3.m-3\"\n"
                             "  7: channel \"0200\", sensor \"B.VWC\", type \"VP4\", units \"m3.m-3\"\n"
                             "\n"
                             "Records\n"
                             "  0  2016-03-05 14:07:09  0=3  1=[empty]  2=0.345  3=[unknown, fatal]\n"
                             "  1  2016-03-05 15:00:00  4=4  5=[empty]  6=0.4  7=0.5\n";
    const DumpRun runs[] = {
        {"from the module", {kProfileSet, "--module", LOAMSET_MODULE}, false, 0, text, ""},
        {"by ProgID", {kProfileSet}, true, 0, text, ""},
        {"not registered",
         {kProfileSet},
         false,
         1,
         "",
         "cannot create Loamset.TQ4Dataset (is it registered with regsvr?): 0x800401F3"},
        {"missing file",
         {scratch / "none.csv", "--module", LOAMSET_MODULE},
         false,
         1,
         "",
         "none.csv: 0x80070002 (the file was not found)"},
        {"not a data record file",
         {broken, "--module", LOAMSET_MODULE},
         false,
         1,
         "",
         ": 0x80041002 (the file is not in the expected form)"},
        {"unknown format", {kProfileSet, "--format", "xml"}, false, 64, "", "--format"},
        {"no file", {}, false, 64, "", "FILE is required"},
    };
    for (const DumpRun& run : runs) {
        ChildOptions options;
        options.setEnv = {{"COMRT_CLASSES_ROOT", root}};
        if (run.registered) {
            options.argv = {COMRT_REGSVR, "-s", LOAMSET_MODULE};
            ASSERT_EQ(RunProgram(options).status, 0);
        }
        options.argv = {LOAMSET_DUMP};
        options.argv.insert(options.argv.end(), run.args.begin(), run.args.end());
        const auto result = RunProgram(options);
        EXPECT_EQ(result.status, run.status) << run.name << ": " << result.err;
        if (run.status == 0) {
            EXPECT_EQ(result.out, run.out) << run.name;
        }
        EXPECT_NE(result.err.find(run.err), std::string::npos) << run.name << ": " << result.err;
        if (run.registered) {
            options.argv = {COMRT_REGSVR, "-u", "-s", LOAMSET_MODULE};
            ASSERT_EQ(RunProgram(options).status, 0);
        }
    }
}

TEST(LoamsetDump, CsvAndJsonCarryTheSameRecords) {
    ChildOptions options;
    options.argv = {LOAMSET_DUMP, kProfileSet, "--module", LOAMSET_MODULE, "--format", "csv"};
    auto result = RunProgram(options);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "record,time,position,series,channel,sensor,type,units,value,error\n"
              "0,2016-03-05 14:07:09,631,0,,A.Sample,VP4,,3,0x00000000\n"
              "0,2016-03-05 14:07:09,631,1,,A.Device,VP4,,,0xC0000001\n"
              "0,2016-03-05 14:07:09,631,2,0100,A.VWC,VP4,m3.m-3,0.345,0x00000000\n"
              "0,2016-03-05 14:07:09,631,3,0200,A.VWC,VP4,m3.m-3,,0xC000000A\n"
              "1,2016-03-05 15:00:00,685,4,,B.Sample,VP4,,4,0x00000000\n"
              "1,2016-03-05 15:00:00,685,5,,B.Device,VP4,,,0xC0000001\n"
              "1,2016-03-05 15:00:00,685,6,0100,B.VWC,VP4,m3.m-3,0.4,0x00000000\n"
              "1,2016-03-05 15:00:00,685,7,0200,B.VWC,VP4,m3.m-3,0.5,0x00000000\n");

    options.argv.back() = "JSON";
    result = RunProgram(options);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto json = nlohmann::json::parse(result.out);
    EXPECT_EQ(json["header"]["caps"], 0x03092083u);
    EXPECT_EQ(json["header"]["deviceName"], "TQ4");
    EXPECT_EQ(json["header"]["started"], "2016-03-05T14:07:09");
    EXPECT_TRUE(json["header"]["networkName"].is_null());
    EXPECT_TRUE(json["header"]["lastRecord"].is_null());
    ASSERT_EQ(json["series"].size(), 8u);
    EXPECT_EQ(
        json["series"][3],
        nlohmann::json({{"channel", "0200"}, {"sensor", "A.VWC"}, {"type", "VP4"}, {"units", "m3.m-3"}}));
    ASSERT_EQ(json["records"].size(), 2u);
    EXPECT_EQ(json["records"][0]["position"], 631);
    EXPECT_EQ(json["records"][0]["results"][2],
              nlohmann::json({{"series", 2}, {"value", 0.345}, {"error", 0}}));
    EXPECT_EQ(json["records"][0]["results"][3],
              nlohmann::json({{"series", 3}, {"value", nullptr}, {"error", 0xC000000Au}}));
    EXPECT_EQ(json["records"][1]["time"], "2016-03-05T15:00:00");
}

}  // namespace
