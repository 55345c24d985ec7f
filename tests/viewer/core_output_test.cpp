// What the viewer makes of a snapshot: the CSV export, the chart's runs with gaps, decimation, and
// the words and times of results.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tools/loamset-view/dataset_snapshot.h"

namespace {

using loamer::testing::TestDataPath;
using namespace loamset_view;

// FILETIME ticks of a time given as seconds since 1970-01-01 (as `date -u +%s` prints it).
constexpr std::int64_t TicksOf(std::int64_t unixSeconds) {
    return (unixSeconds + 11'644'473'600) * 10'000'000;
}

const DatasetSnapshot& FieldDay() {
    static const DatasetSnapshot data = [] {
        DatasetSnapshot loaded;
        const LoadOutcome outcome = LoadDataset(TestDataPath("viewer/field-day.CSV"), {LOAMSET_MODULE}, loaded);
        EXPECT_TRUE(outcome.ok()) << DescribeFailure(loaded.file, outcome);
        return loaded;
    }();
    return data;
}

std::int32_t SeriesNamed(const DatasetSnapshot& data, const std::string& name) {
    for (std::size_t i = 0; i < data.series.size(); ++i) {
        if (data.series[i].DisplayName() == name) return static_cast<std::int32_t>(i);
    }
    return -1;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(ViewerCsv, FieldDayRowsAsReadFromTheFile) {
    std::ostringstream out;
    ASSERT_TRUE(WriteCsv(FieldDay(), out));
    const std::string text = out.str();
    EXPECT_EQ(text.find('\r'), std::string::npos);
    const std::vector<std::string> lines = Lines(text);
    // 10 VP4 records of 6 results, 2 KR6 records of 14, 7 FLX records of 6, and the title row.
    ASSERT_EQ(lines.size(), 1u + 10 * 6 + 2 * 14 + 7 * 6);
    const std::vector<std::pair<std::size_t, std::string>> expected = {
        {0, "time,series,units,value,error"},
        {1, "2024-06-18T09:02:14,VP4 1.Sample,,1,"},
        {2, "2024-06-18T09:02:14,VP4 1.Device,,,0xC0000001"},  // "T01" is no number
        {3, "2024-06-18T09:02:14,VP4 1.VWC 0100,m3.m-3,0.182,"},
        {6, "2024-06-18T09:02:14,VP4 1.VWC 0400,m3.m-3,0.266,"},
        {15, "2024-06-18T09:13:05,VP4 1.VWC 0100,m3.m-3,,0xC000000A"},
        {16, "2024-06-18T09:13:05,VP4 1.VWC 0200,m3.m-3,0.198,"},
        {63, "2024-06-18T11:02:09,KR6 2.mV 0100,mV,412.6,"},
        {74, "2024-06-18T11:02:09,KR6 2.degC 1000,degC,12,"},
        {130, "2024-06-18T14:30:41,FLX 2.Tmp 0060,degC,23.1,"},
    };
    for (const auto& [index, line] : expected) EXPECT_EQ(lines[index], line) << "line " << index;
}

TEST(ViewerCsv, QuotesFieldsThatHoldACommaOrAQuote) {
    DatasetSnapshot data;
    data.series = {{"", "A,1.VWC", "", "m\"3"}};
    data.records = {{TicksOf(1718701334), 0, 1}};
    data.results = {{0, 0x4000000Cu, -0.5}};
    std::ostringstream out;
    ASSERT_TRUE(WriteCsv(data, out));
    EXPECT_EQ(out.str(), "time,series,units,value,error\n2024-06-18T09:02:14,\"A,1.VWC\",\"m\"\"3\",-0.5,0x4000000C\n");
}

TEST(ViewerRuns, AnErrorReadingIsAGapBetweenTwoRuns) {
    struct Case {
        const char* series;
        std::vector<std::size_t> runSizes;
    };
    for (const Case& c : {Case{"VP4 1.VWC 0100", {2, 3}},   // error at the third reading
                          Case{"VP4 1.VWC 0200", {6}},
                          Case{"VP4 2.VWC 0400", {2, 1}},   // error at the third of four
                          Case{"FLX 1.ECb 0060", {2, 1}},
                          Case{"KR6 2.mV 0600", {2}},
                          Case{"VP4 1.Device", {}}}) {     // no reading is a number
        const auto runs = SeriesRuns(FieldDay(), SeriesNamed(FieldDay(), c.series));
        std::vector<std::size_t> sizes;
        for (const auto& run : runs) sizes.push_back(run.size());
        EXPECT_EQ(sizes, c.runSizes) << c.series;
    }
    const auto all = AllSeriesRuns(FieldDay());
    ASSERT_EQ(all.size(), FieldDay().series.size());
    for (std::size_t s = 0; s < all.size(); ++s) {
        const auto one = SeriesRuns(FieldDay(), static_cast<std::int32_t>(s));
        ASSERT_EQ(all[s].size(), one.size()) << s;
        for (std::size_t r = 0; r < one.size(); ++r) {
            ASSERT_EQ(all[s][r].size(), one[r].size()) << s;
            for (std::size_t p = 0; p < one[r].size(); ++p) {
                EXPECT_EQ(all[s][r][p].x, one[r][p].x);
                EXPECT_EQ(all[s][r][p].y, one[r][p].y);
            }
        }
    }
    const auto runs = SeriesRuns(FieldDay(), SeriesNamed(FieldDay(), "VP4 1.VWC 0100"));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_DOUBLE_EQ(runs[0][0].x, 1718701334000.0);  // 2024-06-18 09:02:14 as UTC
    EXPECT_DOUBLE_EQ(runs[0][0].y, 0.182);
    EXPECT_DOUBLE_EQ(runs[1][0].x, 1718702331000.0);  // 09:18:51
    EXPECT_DOUBLE_EQ(runs[1][0].y, 0.191);
}

TEST(ViewerRuns, WarningsArePointsAndNoRunIsEmpty) {
    DatasetSnapshot data;
    data.series = {{"", "1.VWC", "VP4", "m3.m-3"}};
    const std::uint32_t errors[] = {0x80000006u, 0, 0x4000000Cu, 0x0000000Bu, 0xC0000001u, 0xC000000Au, 0, 0x80000006u};
    for (std::uint32_t i = 0; i < std::size(errors); ++i) {
        data.records.push_back({TicksOf(1718701334 + i), i, 1});
        data.results.push_back({0, errors[i], 0.1 * i});
    }
    const auto runs = SeriesRuns(data, 0);
    ASSERT_EQ(runs.size(), 2u);
    ASSERT_EQ(runs[0].size(), 3u);
    EXPECT_DOUBLE_EQ(runs[0][1].y, 0.2);  // the warning "above the table"
    ASSERT_EQ(runs[1].size(), 1u);
    EXPECT_DOUBLE_EQ(runs[1][0].y, 0.6);
}

TEST(ViewerRuns, ANumberThatIsNotFiniteIsAGap) {
    DatasetSnapshot data;
    data.series = {{"", "1.VWC", "VP4", "m3.m-3"}};
    const double values[] = {0.1, std::numeric_limits<double>::quiet_NaN(), 0.2, 0.3,
                             std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 0.4};
    for (std::uint32_t i = 0; i < std::size(values); ++i) {
        data.records.push_back({TicksOf(1718701334 + i), i, 1});
        data.results.push_back({0, 0, values[i]});
    }
    for (const auto& runs : {SeriesRuns(data, 0), AllSeriesRuns(data)[0]}) {
        std::vector<std::size_t> sizes;
        for (const auto& run : runs) sizes.push_back(run.size());
        EXPECT_EQ(sizes, (std::vector<std::size_t>{1, 2, 1}));
    }
}

TEST(ViewerDecimate, KeepsEveryBucketsExtremesAndBoundsTheCount) {
    std::vector<ChartPoint> run;
    for (int i = 0; i < 100'000; ++i) run.push_back({static_cast<double>(i), (i % 7) * 0.01});
    run[31'337].y = 9.0;
    run[77'777].y = -4.0;
    for (const int buckets : {1, 100, 1600}) {
        const auto kept = Decimate(run, 0, 99'999, buckets);
        EXPECT_LE(kept.size(), 4u * static_cast<std::size_t>(buckets)) << buckets;
        EXPECT_GE(kept.size(), 2u * static_cast<std::size_t>(buckets)) << buckets;
        EXPECT_DOUBLE_EQ(kept.front().x, 0.0);
        EXPECT_DOUBLE_EQ(kept.back().x, 99'999.0);
        EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end(), [](auto& a, auto& b) { return a.x < b.x; }));
        const auto [low, high] =
            std::minmax_element(kept.begin(), kept.end(), [](auto& a, auto& b) { return a.y < b.y; });
        EXPECT_DOUBLE_EQ(high->y, 9.0) << buckets;
        EXPECT_DOUBLE_EQ(low->y, -4.0) << buckets;
    }
    // Only what lies between x0 and x1, of a long run; a short run whole.
    const auto window = Decimate(run, 1000, 2000, 10);
    EXPECT_TRUE(std::all_of(window.begin(), window.end(), [](auto& p) { return p.x >= 1000 && p.x <= 2000; }));
    EXPECT_LE(window.size(), 40u);
    const std::vector<ChartPoint> shortRun(run.begin(), run.begin() + 40);
    EXPECT_EQ(Decimate(shortRun, 10, 20, 10).size(), 40u);

    // Runs joined end to end thin as their concatenation does, whatever the split.
    for (const std::size_t split : {1u, 31'337u, 31'338u, 99'999u}) {
        const std::vector<ChartPoint> head(run.begin(), run.begin() + static_cast<std::ptrdiff_t>(split));
        const std::vector<ChartPoint> tail(run.begin() + static_cast<std::ptrdiff_t>(split), run.end());
        const auto joined = DecimateRuns({&head, &tail}, 0, 99'999, 100);
        const auto whole = Decimate(run, 0, 99'999, 100);
        ASSERT_EQ(joined.size(), whole.size()) << split;
        for (std::size_t i = 0; i < whole.size(); ++i) EXPECT_EQ(joined[i].x, whole[i].x) << split;
    }
}

TEST(ViewerResults, SeveritiesWordsAndTimes) {
    struct Case {
        std::uint32_t error;
        Severity severity;
        bool value;
        bool gap;
        const char* words;
    };
    for (const Case& c : {Case{0, Severity::None, true, false, ""},
                          Case{0x0000000Bu, Severity::Information, true, false, "below the table"},
                          Case{0x4000000Cu, Severity::Warning, true, false, "above the table"},
                          Case{0x80000006u, Severity::Error, true, true, "over range"},
                          Case{0xC000000Au, Severity::Fatal, false, true, "unknown"},
                          Case{0xC0000001u, Severity::Fatal, false, true, "no reading"},
                          Case{0xC0000010u, Severity::Fatal, false, true, "no sensor"},
                          Case{0x8000000Fu, Severity::Error, true, true, "code 15"}}) {
        EXPECT_EQ(SeverityOf(c.error), c.severity) << std::hex << c.error;
        EXPECT_EQ(HasValue(c.error), c.value) << std::hex << c.error;
        EXPECT_EQ(IsGap(c.error), c.gap) << std::hex << c.error;
        EXPECT_EQ(ErrorText(c.error), c.words) << std::hex << c.error;
    }
    // Every code of the interface has its own words.
    std::vector<std::string> words;
    for (std::uint32_t code = 1; code <= 22; ++code) {
        if (code != 15) words.push_back(ErrorText(0xC0000000u | code));
    }
    std::sort(words.begin(), words.end());
    EXPECT_EQ(std::adjacent_find(words.begin(), words.end()), words.end());
    EXPECT_TRUE(std::none_of(words.begin(), words.end(), [](auto& w) { return w.starts_with("code "); }));

    struct TimeCase {
        std::int64_t ticks;
        const char* iso;
        double chartX;
    };
    for (const TimeCase& c : {TimeCase{0, "1601-01-01T00:00:00", -11'644'473'600'000.0},
                              TimeCase{TicksOf(1709251199), "2024-02-29T23:59:59", 1709251199000.0},
                              TimeCase{TicksOf(-1), "1969-12-31T23:59:59", -1000.0},
                              TimeCase{TicksOf(1718701334) + 5'000, "2024-06-18T09:02:14", 1718701334000.5}}) {
        EXPECT_EQ(IsoTime(c.ticks), c.iso);
        EXPECT_DOUBLE_EQ(TicksToChartX(c.ticks), c.chartX) << c.iso;
    }
}

}  // namespace
