// The viewer's loading through the real dataset module: the field day's series and values, creation
// by ProgID, failures in words, a file damaged partway, and cancelling.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>

#include "tests/support/child_process.h"
#include "tools/loamset-view/dataset_snapshot.h"

namespace {

using loamer::testing::ReadFile;
using loamer::testing::RunProgram;
using loamer::testing::ScopedEnv;
using loamer::testing::ScratchDir;
using loamer::testing::TestDataPath;
using namespace loamset_view;

const ComponentSource kModule{LOAMSET_MODULE};

std::string FieldDay() {
    return TestDataPath("viewer/field-day.CSV");
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::int32_t SeriesNamed(const DatasetSnapshot& data, const std::string& name) {
    for (std::size_t i = 0; i < data.series.size(); ++i) {
        if (data.series[i].DisplayName() == name) return static_cast<std::int32_t>(i);
    }
    return -1;
}

TEST(ViewerLoad, FieldDaySeriesAndValuesAsTheFileHoldsThem) {
    DatasetSnapshot data;
    const LoadOutcome outcome = LoadDataset(FieldDay(), kModule, data);
    ASSERT_TRUE(outcome.ok()) << DescribeFailure(FieldDay(), outcome);
    EXPECT_EQ(data.file, FieldDay());
    EXPECT_EQ(data.records.size(), 19u);
    EXPECT_EQ(data.series.size(), 38u);  // Sample, Device and the readings of five data sets
    EXPECT_EQ(IsoTime(data.firstRecordTicks), "2024-06-18T09:02:14");

    struct SeriesCase {
        const char* name;
        const char* units;
        const char* plot;
        const char* quantity;
    };
    for (const SeriesCase& c : {SeriesCase{"VP4 1.Sample", "", "1", "Sample"},
                                SeriesCase{"VP4 1.VWC 0100", "m3.m-3", "1", "VWC"},
                                SeriesCase{"VP4 2.VWC 0400", "m3.m-3", "2", "VWC"},
                                SeriesCase{"KR6 2.degC 1000", "degC", "2", "degC"},
                                SeriesCase{"FLX 1.ECp 0060", "mS.m-1", "1", "ECp"}}) {
        const std::int32_t index = SeriesNamed(data, c.name);
        ASSERT_GE(index, 0) << c.name;
        const SeriesInfo& s = data.series[static_cast<std::size_t>(index)];
        EXPECT_EQ(s.units, c.units) << c.name;
        EXPECT_EQ(s.Plot(), c.plot) << c.name;
        EXPECT_EQ(s.Quantity(), c.quantity) << c.name;
    }

    struct ValueCase {
        std::size_t record;
        const char* time;
        const char* series;
        double value;  // ignored when the result has no number
        std::uint32_t error;
    };
    for (const ValueCase& c : {
             ValueCase{0, "2024-06-18T09:02:14", "VP4 1.VWC 0100", 0.182, 0},
             ValueCase{0, "2024-06-18T09:02:14", "VP4 1.Sample", 1, 0},
             ValueCase{2, "2024-06-18T09:13:05", "VP4 1.VWC 0100", 0, 0xC000000Au},  // error 1, no number
             ValueCase{2, "2024-06-18T09:13:05", "VP4 1.VWC 0200", 0.198, 0},
             ValueCase{8, "2024-06-18T10:16:58", "VP4 2.VWC 0400", 0, 0xC000000Au},
             ValueCase{10, "2024-06-18T11:02:09", "KR6 2.mV 0100", 412.6, 0},
             ValueCase{11, "2024-06-18T11:31:44", "KR6 2.degC 1000", 12.0, 0},
             ValueCase{14, "2024-06-18T13:49:03", "FLX 1.Tmp 0060", 24.8, 0},
             ValueCase{18, "2024-06-18T14:30:41", "FLX 2.Tmp 0060", 23.1, 0},
         }) {
        SCOPED_TRACE(std::to_string(c.record) + " " + c.series);
        ASSERT_LT(c.record, data.records.size());
        EXPECT_EQ(IsoTime(data.records[c.record].ticks), c.time);
        const ResultValue* result = data.Find(c.record, SeriesNamed(data, c.series));
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->error, c.error);
        if (HasValue(c.error)) {
            EXPECT_DOUBLE_EQ(result->value, c.value);
        }
    }
    // A record holds only its own data set's series.
    EXPECT_EQ(data.Find(0, SeriesNamed(data, "FLX 2.Tmp 0060")), nullptr);
}

TEST(ViewerLoad, CreatesByProgIdOnceRegistered) {
    ScratchDir scratch;
    const std::string root = scratch / "classes.reg";
    ScopedEnv env("COMRT_CLASSES_ROOT", root.c_str());
    DatasetSnapshot data;
    LoadOutcome outcome = LoadDataset(FieldDay(), ComponentSource{}, data);
    EXPECT_EQ(outcome.result, static_cast<std::int32_t>(0x800401F3u));
    EXPECT_EQ(outcome.step, "create");
    const std::string sentence = DescribeFailure(FieldDay(), outcome);
    EXPECT_NE(sentence.find("the dataset component is not registered (run comrt's regsvr on loamset.so)"),
              std::string::npos)
        << sentence;
    EXPECT_NE(sentence.find(root), std::string::npos) << "the runtime's detail names the classes root: " << sentence;
    EXPECT_TRUE(sentence.ends_with(" (0x800401F3).")) << sentence;

    loamer::testing::ChildOptions regsvr;
    regsvr.argv = {COMRT_REGSVR, LOAMSET_MODULE};
    regsvr.setEnv = {{"COMRT_CLASSES_ROOT", root}};
    const auto registered = RunProgram(regsvr);
    ASSERT_EQ(registered.status, 0) << registered.err;
    outcome = LoadDataset(FieldDay(), ComponentSource{}, data);
    EXPECT_TRUE(outcome.ok()) << DescribeFailure(FieldDay(), outcome);
    EXPECT_EQ(data.records.size(), 19u);
}

TEST(ViewerLoad, FailuresInPlainWordsEndingWithTheCode) {
    ScratchDir scratch;
    // The field day without its first line: a data record file starts with its banner.
    const std::string withoutBanner = scratch / "no-banner.CSV";
    const std::string fieldDay = ReadFile(FieldDay());
    Write(withoutBanner, fieldDay.substr(fieldDay.find('\n') + 1));
    struct Case {
        std::string file;
        ComponentSource source;
        std::uint32_t result;
        const char* step;
        const char* words;
    };
    const Case cases[] = {
        {scratch / "absent.CSV", kModule, 0x80070002u, "open", "there is no such file"},
        {FieldDay() + "/x.CSV", kModule, 0x80070003u, "open", "there is no such folder"},
        {withoutBanner, kModule, 0x80041002u, "open",
         "it is not a data record file that Loamer wrote, or it is damaged"},
        {scratch / "\xff.CSV", kModule, 0x80070459u, "open", "its name is not valid UTF-8"},
        {FieldDay(), ComponentSource{scratch / "none.so"}, 0x800401F8u, "create",
         "the dataset component's module file is missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        DatasetSnapshot data;
        const LoadOutcome outcome = LoadDataset(c.file, c.source, data);
        EXPECT_EQ(static_cast<std::uint32_t>(outcome.result), c.result);
        EXPECT_EQ(outcome.step, c.step);
        EXPECT_TRUE(data.records.empty());
        const std::string sentence = DescribeFailure(c.file, outcome);
        EXPECT_TRUE(sentence.starts_with("Cannot show \"" + c.file + "\": " + c.words)) << sentence;
        char code[16];
        std::snprintf(code, sizeof code, " (0x%08X).", c.result);
        EXPECT_TRUE(sentence.ends_with(code)) << sentence;
    }

    // Failures that a test cannot bring about (the tests run as root), in their words.
    LoadOutcome denied;
    denied.result = static_cast<std::int32_t>(0x80070005u);
    denied.step = "open";
    EXPECT_EQ(DescribeFailure("a.CSV", denied), "Cannot show \"a.CSV\": access to it is denied (0x80070005).");
    LoadOutcome memory;
    memory.result = static_cast<std::int32_t>(0x8007000Eu);
    memory.step = "record 1";
    EXPECT_EQ(DescribeFailure("a.CSV", memory),
              "Only the first record of \"a.CSV\" is shown: after it, there is not enough memory, or a cell of "
              "the file is longer than 254 characters (0x8007000E).");
}

TEST(ViewerLoad, DamagedFileKeepsTheRecordsBeforeTheBadLine) {
    ScratchDir scratch;
    const std::string damaged = scratch / "damaged.CSV";
    const std::string fieldDay = ReadFile(FieldDay());
    // A 31st of February inserted before readings of the field day's first data set.
    const std::string badLine = "31/02/2024  09:20:00,0005,1,T05,  0.191, ,  0.226, ,  0.258, ,  0.281, ,\r\n";
    struct Case {
        std::vector<const char*> before;  // the readings that get a bad line in front of them
        std::size_t kept;
    };
    for (const Case& c : {Case{{"18/06/2024  09:24:33"}, 4},
                          Case{{"18/06/2024  09:02:14"}, 0},  // none before it, none shown after it
                          Case{{"18/06/2024  09:02:14", "18/06/2024  09:24:33"}, 0}}) {
        SCOPED_TRACE(c.before.back());
        std::string text = fieldDay;
        for (const char* reading : c.before) {
            ASSERT_NE(text.find(reading), std::string::npos);
            text.insert(text.find(reading), badLine);
        }
        Write(damaged, text);

        DatasetSnapshot data;
        const LoadOutcome outcome = LoadDataset(damaged, kModule, data);
        EXPECT_FALSE(outcome.ok());
        EXPECT_EQ(static_cast<std::uint32_t>(outcome.result), 0x80041002u);
        ASSERT_EQ(data.records.size(), c.kept);
        if (c.kept == 0) {
            EXPECT_EQ(outcome.step, "open");
            continue;
        }
        EXPECT_EQ(outcome.step, "record 4");
        EXPECT_EQ(IsoTime(data.firstRecordTicks), "2024-06-18T09:02:14");
        EXPECT_EQ(IsoTime(data.records[3].ticks), "2024-06-18T09:18:51");
        const ResultValue* last = data.Find(3, SeriesNamed(data, "VP4 1.VWC 0400"));
        ASSERT_NE(last, nullptr);
        EXPECT_DOUBLE_EQ(last->value, 0.281);
        EXPECT_EQ(DescribeFailure(damaged, outcome),
                  "Only the first 4 records of \"" + damaged +
                      "\" are shown: after them, it is not a data record file that Loamer wrote, or it is "
                      "damaged (0x80041002).");
    }
}

TEST(ViewerLoad, ProgressIsReportedAndCancelStopsWithinAFewHundredRecords) {
    ScratchDir scratch;
    const std::string big = scratch / "big.CSV";
    const std::string fieldDay = ReadFile(FieldDay());
    std::string text = fieldDay.substr(0, fieldDay.find("18/06/2024  09:02:14"));
    constexpr int kRecords = 3000;
    for (int i = 0; i < kRecords; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "18/06/2024  %02d:%02d:%02d,%04d,1,T01,  0.182, ,  0.214, ,  0.251, ,  0.266, ,\r\n",
                      i / 3600, i / 60 % 60, i % 60, i % 10000);
        text += line;
    }
    Write(big, text);

    std::vector<std::pair<std::int64_t, std::int64_t>> calls;
    DatasetSnapshot data;
    LoadOutcome outcome =
        LoadDataset(big, kModule, data, [&](std::int64_t done, std::int64_t total) { calls.emplace_back(done, total); });
    ASSERT_TRUE(outcome.ok()) << DescribeFailure(big, outcome);
    ASSERT_EQ(data.records.size(), std::size_t{kRecords});
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), std::make_pair(std::int64_t{0}, std::int64_t{kRecords}));
    EXPECT_EQ(calls.back(), std::make_pair(std::int64_t{kRecords}, std::int64_t{kRecords}));
    for (std::size_t i = 1; i < calls.size(); ++i) {
        EXPECT_GE(calls[i].first, calls[i - 1].first);
        EXPECT_LE(calls[i].first - calls[i - 1].first, 500) << "progress comes every few hundred records";
    }

    std::atomic<bool> cancel{false};
    outcome = LoadDataset(
        big, kModule, data, [&](std::int64_t done, std::int64_t) { cancel = done > 0; }, &cancel);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.ok());
    EXPECT_GT(data.records.size(), 0u);
    EXPECT_LE(data.records.size(), 1000u);
    EXPECT_EQ(DescribeFailure(big, outcome), "Loading \"" + big + "\" was stopped.");
}

}  // namespace
