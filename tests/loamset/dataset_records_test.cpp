// ReadRecord and EnumSeries: results, error codes, navigation, argument checks and string lifetime.
#include "tests/loamset/dataset_fixture.h"

#include <cstring>
#include <gtest/gtest.h>

namespace loamset::testing {
namespace {

std::string SingleSet(const std::string& device, const std::string& titles)
{
    return Lines({"Device >>," + device, "Root Depth >>,,,,0400", "Sensor Depth >>,,,,0100",
                  "Time,Sample,Plot,Device," + titles});
}

std::string Line(int day, const std::string& plot, const std::string& cells)
{
    char date[32];
    std::snprintf(date, sizeof date, "%02d/07/2019  08:30:00,%04d,", day, day);
    return std::string(date) + plot + ",B12," + cells + "\r\n";
}

// The bytes still hold the 0x55 they were filled with.
bool Untouched(const void* p, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0x55)
            return false;
    return true;
}

TEST(DatasetRecords, ValueAndErrorCells)
{
    struct Case {
        const char* value;
        const char* error;
        std::uint32_t err;
        double number;
    };
    const Case cases[] = {
        {"  0.345", " ", KXRESERROR_NONE, 0.345},
        {"       ", "L", 0xC0000007u, 0},
        {" 0.312", "L", KXRESERROR_UNDERRANGE, 0.312},
        {"       ", " ", KXRESERROR_EMPTY, 0},
        {"  0.345", "l", KXRESERROR_UNKNOWN, 0.345},
        {"  0.345", "LH", KXRESERROR_UNKNOWN, 0.345},
        {"       ", "E", 0xC000000Au, 0},
        {"1e3", "", KXRESERROR_NONE, 1000},
        {"-0.5x", "H", KXRESERROR_OVERRANGE, -0.5},
        {"abc", "", KXRESERROR_EMPTY, 0},
        {"1", "O", KXRESERROR_BELOWTABLE, 1},
        {"1", "I", KXRESERROR_ABOVETABLE, 1},
        {"1", "R", KXRESERROR_CORRUPT, 1},
        {"1", "C", KXRESERROR_NOSENSOR, 1},
        {"1", "T", KXRESERROR_NOTABLE, 1},
        {"1", "D", KXRESERROR_TOODRY, 1},
        {"1", "V", KXRESERROR_SYSERROR, 1},
        {"1", "N", KXRESERROR_NAN, 1},
        {"1", "W", KXRESERROR_OVERFLOW, 1},
        {"1", "U", KXRESERROR_UNDERFLOW, 1},
    };
    std::string content = Banner() + SingleSet("GX420", "VWC,Error,");
    for (std::size_t i = 0; i < std::size(cases); ++i)
        content += Line(static_cast<int>(i) + 1, "A", std::string(cases[i].value) + "," + cases[i].error + ",");
    ScratchDir dir;
    DatasetRef dataset;
    ASSERT_EQ(OpenPath(dataset.get(), WriteFile(dir, "errors.csv", content)).hr, S_OK);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].value + std::string("|") + cases[i].error);
        const RecordRead read = Read(dataset.get(), static_cast<int>(i));
        ASSERT_EQ(read.results.size(), 3u);
        EXPECT_EQ(read.results[2], (Result{2, cases[i].err, cases[i].number}));
        EXPECT_EQ(read.results[0], (Result{0, KXRESERROR_NONE, static_cast<double>(i + 1)}));
    }
}

TEST(DatasetRecords, TitleAndDeviceRules)
{
    struct Case {
        const char* what;
        std::string header; // from the Device line to the title line
        std::string cells;  // of the reading line after its Device cell
        std::vector<SeriesText> series;
        std::vector<Result> results;
    };
    const std::string fifteen = "T1,T2,T3,T4,T5,T6,T7,T8,T9,T10,T11,T12,T13,";
    const Case cases[] = {
        {"VP4 special and direct", SingleSet("VP4 special direct", "VWC,"), "0.1,",
         {{"A.Sample", "", "VP4-SD", ""}, {"A.Device", "", "VP4-SD", ""}, {"A.VWC", "0100", "VP4-SD", "VWC"}},
         {{0, 0, 1}, {1, KXRESERROR_EMPTY, 0}, {2, 0, 0.1}}},
        {"VP4 direct in lower case", SingleSet("vp4 DIRECT", "mV,"), "0.1,",
         {{"A.Sample", "", "VP4-D", ""}, {"A.Device", "", "VP4-D", ""}, {"A.mV", "0100", "VP4-D", "mV"}},
         {{0, 0, 1}, {1, KXRESERROR_EMPTY, 0}, {2, 0, 0.1}}},
        {"VP4 in an access tube", SingleSet("VP4 access (in soil access tube)", "%,"), "0.1,",
         {{"A.Sample", "", "VP4", ""}, {"A.Device", "", "VP4", ""}, {"A.VWC", "0100", "VP4", "%"}},
         {{0, 0, 1}, {1, KXRESERROR_EMPTY, 0}, {2, 0, 0.1}}},
        {"VP4 special in an access tube", SingleSet("VP4 special (in soil access tube)", "mm Deficit,"), "0.1,",
         {{"A.Sample", "", "VP4-S", ""}, {"A.Device", "", "VP4-S", ""}, {"A.Def", "0100", "VP4-S", "mm"}},
         {{0, 0, 1}, {1, KXRESERROR_EMPTY, 0}, {2, 0, 0.1}}},
        {"the root depth names a missing device",
         Lines({"Device >>,", "Root Depth >>,,,,0400", "Time,Sample,Plot,Device,degC,"}), "0.1,",
         {{"A.Sample", "", "0400", ""}, {"A.Device", "", "0400", ""}, {"A.degC", "", "0400", "degC"}},
         {{0, 0, 1}, {1, KXRESERROR_EMPTY, 0}, {2, 0, 0.1}}},
        {"the 15th result column is ignored", SingleSet("GX420", fifteen), "1,2,3,4,5,6,7,8,9,10,11,12,13,",
         {}, {{13, 0, 12}}},
        {"an empty title under a depth feeds nothing",
         Lines({"Device >>,GX420", "Sensor Depth >>,,,,0100,,0200", "Time,Sample,Plot,Device,VWC,Error,,"}),
         "0.1, ,0.9,L,",
         {{"A.Sample", "", "GX420", ""}, {"A.Device", "", "GX420", ""}, {"A.VWC", "0100", "GX420", "VWC"}},
         {{0, 0, 1}, {1, KXRESERROR_EMPTY, 0}, {2, 0, 0.1}}},
        {"an Error title wins over a depth slot",
         Lines({"Device >>,GX420", "Sensor Depth >>,,,,0100,0200", "Time,Sample,Plot,Device,VWC,Error,"}),
         "0.1,H,",
         {{"A.Sample", "", "GX420", ""}, {"A.Device", "", "GX420", ""}, {"A.VWC", "0100", "GX420", "VWC"}},
         {{0, 0, 1}, {1, KXRESERROR_EMPTY, 0}, {2, KXRESERROR_OVERRANGE, 0.1}}},
        {"cells after the 28th are ignored",
         SingleSet("GX420", "VWC,Error," + std::string(22, ',') + "Late,"), "0.1, ," + std::string(22, ',') + "9,",
         {{"A.Sample", "", "GX420", ""}, {"A.Device", "", "GX420", ""}, {"A.VWC", "0100", "GX420", "VWC"}},
         {{0, 0, 1}, {1, KXRESERROR_EMPTY, 0}, {2, 0, 0.1}}},
        {"the units row gives the units",
         SingleSet("FLX", "VWC,Error,ECb,Error,") + Lines({",,,,m3.m-3,,mm,,"}), "0.1, ,2, ,",
         {{"A.Sample", "", "FLX", ""}, {"A.Device", "", "FLX", ""}, {"A.VWC", "0100", "FLX", "m3.m-3"},
          {"A.ECb", "0100", "FLX", "mm"}},
         {{0, 0, 1}, {1, KXRESERROR_EMPTY, 0}, {2, 0, 0.1}, {3, 0, 2}}},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DatasetRef dataset;
        const std::string content = Banner() + c.header + Line(1, "A", c.cells);
        ASSERT_EQ(OpenPath(dataset.get(), WriteFile(dir, "titles.csv", content)).hr, S_OK);
        const RecordRead read = Read(dataset.get(), 0);
        if (c.series.empty()) {
            // Only the count and the last result matter here.
            ASSERT_EQ(read.results.size(), 14u);
            EXPECT_EQ(read.results[13].err, c.results[0].err);
            EXPECT_EQ(read.results[13].value, c.results[0].value);
            continue;
        }
        EXPECT_EQ(AllSeries(dataset.get()), c.series);
        EXPECT_EQ(read.results, c.results);
    }
}

TEST(DatasetRecords, PlotsDataSetsAndNavigation)
{
    // Two plots in a set of 4 results, then a set of 6; a later line lacking cells keeps the
    // values of the line before; the first form of a text wins ("m3.m-3" then "M3.M-3").
    const std::string content =
        Banner() + SingleSet("GX420", "m3.m-3,Error,mV,Error,") + Line(1, "A", "0.1, ,10, ,") +
        Line(2, "B", "0.2, ,20, ,") + Line(3, "A", "0.3,L") +
        Lines({"Device >>,GX630", "Sensor Depth >>,,,,0100,,0200,,0300", "Time,Sample,Plot,Device,M3.M-3,Error,"
                                                                         "M3.M-3,Error,M3.M-3,Error,mV,Error,"}) +
        Line(4, "A", "0.4, ,0.5, ,0.6, ,40, ,") + Line(5, "B", "0.7, ,0.8, ,0.9, ,50, ,") + Line(6, "A", "1.0, ");
    ScratchDir dir;
    const std::string path = WriteFile(dir, "sets.csv", content);
    for (bool index : {true, false}) {
        SCOPED_TRACE(index ? "with the index" : "re-reading");
        DatasetRef dataset(index);
        const Opened opened = OpenPath(dataset.get(), path);
        ASSERT_EQ(opened.hr, S_OK);
        ASSERT_EQ(opened.header.nRecords, 6);
        const std::vector<SeriesText> series = AllSeries(dataset.get());
        ASSERT_EQ(series.size(), 20u);
        EXPECT_EQ(series[2], (SeriesText{"A.VWC", "0100", "GX420", "m3.m-3"}));
        EXPECT_EQ(series[6], (SeriesText{"B.VWC", "0100", "GX420", "m3.m-3"}));
        EXPECT_EQ(series[11], (SeriesText{"A.VWC", "0200", "GX630", "m3.m-3"}));
        EXPECT_EQ(series[19], (SeriesText{"B.mV", "0300", "GX630", "mV"}));

        // The last record right after Open: the stream stands at the end.
        const RecordRead last = Read(dataset.get(), 5);
        EXPECT_EQ(last.pos, content.size());
        const std::vector<Result> lastResults{{8, 0, 6},    {9, KXRESERROR_EMPTY, 0}, {10, 0, 1.0},
                                              {11, 0, 0.8}, {12, 0, 0.9},             {13, 0, 50}};
        EXPECT_EQ(last.results, lastResults);
        EXPECT_EQ(Read(dataset.get(), 6).hr, DATASET_E_ENDOFFILE);

        const RecordRead fifth = Read(dataset.get(), 4);
        EXPECT_EQ(fifth.results.size(), 6u);
        EXPECT_EQ(Read(dataset.get(), 2).results,
                  (std::vector<Result>{{0, 0, 3}, {1, KXRESERROR_EMPTY, 0}, {2, KXRESERROR_UNDERRANGE, 0.3},
                                       {3, KXRESERROR_NONE, 20}}));
        EXPECT_EQ(Read(dataset.get(), 4), fifth);
        EXPECT_EQ(Read(dataset.get(), 1).results[2], (Result{6, 0, 0.2}));
        for (int r = 0; r < 6; ++r) {
            char date[16];
            std::snprintf(date, sizeof date, "%02d/07/2019", r + 1);
            EXPECT_EQ(Read(dataset.get(), r).pos, content.find("\r\n", content.find(date)) + 2) << "record " << r;
        }
    }
}

TEST(DatasetRecords, ArgumentChecksAndWhatIsWritten)
{
    ScratchDir dir;
    const std::string content = Banner() + SingleSet("GX420", "VWC,Error,") + Line(1, "A", "0.1, ,") +
                                Line(2, "A", "0.2, ,") + Line(3, "A", "0.3, ,");
    DatasetRef dataset;
    ASSERT_EQ(OpenPath(dataset.get(), WriteFile(dir, "args.csv", content)).hr, S_OK);

    _KXResult results[4];
    FILETIME stamps[4];
    auto fill = [&] {
        std::memset(results, 0x55, sizeof results);
        std::memset(stamps, 0x55, sizeof stamps);
    };
    struct Case {
        const char* what;
        int record;
        int count; // -1: no count
        bool results, stamps;
        HRESULT hr;
        int countAfter;
    };
    const Case cases[] = {
        {"a negative record", -1, 4, true, true, E_INVALIDARG, 4},
        {"results without a count", 0, -1, true, false, E_POINTER, -1},
        {"stamps without a count", 0, -1, false, true, E_POINTER, -1},
        {"a count one short", 1, 2, true, true, E_POINTER, 2},
        {"the count alone", 1, 0, false, false, S_OK, 3},
        {"nothing at all", 2, -1, false, false, S_OK, -1},
        {"one past the last", 3, 4, true, true, DATASET_E_ENDOFFILE, 4},
        {"the first after the end", 0, 3, true, true, S_OK, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fill();
        int count = c.count;
        ULONG pos = 0x55555555;
        FILETIME time{0x55555555, 0x55555555};
        const HRESULT hr = dataset->ReadRecord(c.record, c.count >= 0 ? &count : nullptr, &time,
                                               c.results ? results : nullptr, c.stamps ? stamps : nullptr, &pos);
        EXPECT_EQ(hr, c.hr);
        EXPECT_EQ(count, c.countAfter);
        EXPECT_EQ(pos == 0x55555555, hr != S_OK);
        EXPECT_EQ(time.dwLowDateTime == 0x55555555, hr != S_OK);
        // Beyond the results and in their padding nothing is written.
        const int written = hr == S_OK && c.results ? 3 : 0;
        for (int k = 0; k < 4; ++k) {
            EXPECT_TRUE(Untouched(reinterpret_cast<unsigned char*>(&results[k]) + 4, 4)) << k;
            EXPECT_EQ(results[k].iSeries == 0x55555555, k >= written) << k;
            EXPECT_EQ(stamps[k].dwLowDateTime == 0x55555555, k >= (hr == S_OK && c.stamps ? 3 : 0)) << k;
        }
    }

    _KXSERIESCAPS caps;
    _KXSeries series[3];
    struct EnumCase {
        const char* what;
        bool array;
        int count; // -1: no count
        HRESULT hr;
        int countAfter;
    };
    const EnumCase enumCases[] = {
        {"the count alone", false, 0, S_OK, 3},
        {"an array without a count", true, -1, E_POINTER, -1},
        {"an array one short", true, 2, E_OUTOFMEMORY, 2},
        {"an array of the right size", true, 3, S_OK, 3},
    };
    for (const EnumCase& c : enumCases) {
        SCOPED_TRACE(c.what);
        caps = static_cast<_KXSERIESCAPS>(0);
        std::memset(series, 0x55, sizeof series);
        int count = c.count;
        EXPECT_EQ(dataset->EnumSeries(&caps, c.count >= 0 ? &count : nullptr, c.array ? series : nullptr), c.hr);
        EXPECT_EQ(caps, 15);
        EXPECT_EQ(count, c.countAfter);
        EXPECT_TRUE(Untouched(&series[2].vAllTimeMin, 4 * sizeof series[2].vAllTimeMin));
        EXPECT_EQ(Untouched(&series[2].pszUnits, sizeof series[2].pszUnits), !(c.hr == S_OK && c.array));
    }
}

TEST(DatasetRecords, StringsStayUntilTheLastRelease)
{
    ScratchDir dir;
    const std::string path = WriteFile(dir, "strings.csv", Banner() + SingleSet("GX420", "VWC,Error,") +
                                                                Line(1, "A", "0.1, ,") + Line(2, "B", "0.2, ,"));
    IKXDataset* dataset = nullptr;
    ASSERT_EQ(CreateDataset(IID_IKXDataset, reinterpret_cast<void**>(&dataset)), S_OK);
    const long alive = LiveDatasetObjects();
    EXPECT_GE(alive, 1);
    ASSERT_EQ(OpenPath(dataset, path).hr, S_OK);
    _KXSeries first[6];
    int count = 6;
    ASSERT_EQ(dataset->EnumSeries(nullptr, &count, first), S_OK);
    const std::vector<SeriesText> texts = AllSeries(dataset);

    EXPECT_EQ(dataset->AddRef(), 2u);
    EXPECT_EQ(Read(dataset, 0).hr, S_OK);
    EXPECT_EQ(OpenPath(dataset, path).hr, S_OK);
    EXPECT_EQ(dataset->Release(), 1u);
    _KXSeries again[6];
    ASSERT_EQ(dataset->EnumSeries(nullptr, &count, again), S_OK);
    for (int i = 0; i < count; ++i) {
        const SeriesText now{first[i].pszSensorName, first[i].pszChannel, first[i].pszSensorType, first[i].pszUnits};
        EXPECT_EQ(now, texts[static_cast<std::size_t>(i)]);
        EXPECT_STREQ(again[i].pszSensorName, first[i].pszSensorName);
    }
    EXPECT_EQ(dataset->Release(), 0u);
    EXPECT_EQ(LiveDatasetObjects(), alive - 1);

    IUnknown* other = reinterpret_cast<IUnknown*>(0x55);
    EXPECT_EQ(CreateDataset(IID_IClassFactory, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(LiveDatasetObjects(), alive - 1);
}

} // namespace
} // namespace loamset::testing
