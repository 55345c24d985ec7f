// Open: the header of a data record file, what the reader refuses, and failed opens.
#include "tests/loamset/dataset_fixture.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace loamset::testing {
namespace {

std::string OneSet()
{
    return Lines({"Device >>,GX420", "Root Depth >>,,,,0400", "Sensor Depth >>,,,,0100",
                  "Time,Sample,Plot,Device,VWC,Error,"});
}

std::string Reading(const std::string& date) { return date + "  14:07:09,0001,A,B12,  0.300, ,\r\n"; }

std::string WorkedExample()
{
    return Banner() + Lines({"Device >>,GX420", "Root Depth >>,,,,0400", "Sensor Depth >>,,,,10",
                             "Time,Sample,Plot,Device,VWC,Error,", ",,,,m3.m-3,,",
                             "03/05/2016  14:07:09,0003,A,B12,  0.345, ,"});
}

TEST(DatasetOpen, WorkedExample)
{
    ScratchDir dir;
    const std::string content = WorkedExample();
    const std::string path = WriteFile(dir, "worked.csv", content);
    DatasetRef dataset;
    _KXHEADERCAPS caps{};
    _KXHEADERCAPSEX capsEx = static_cast<_KXHEADERCAPSEX>(7);
    _KXHeader header;
    std::memset(&header, 0x55, sizeof header);
    ASSERT_EQ(dataset->Open(Wide(path).c_str(), &caps, &capsEx, &header), S_OK);

    // Every field not named here, padding included, is zero.
    _KXHeader expected;
    std::memset(&expected, 0, sizeof expected);
    expected.nCaps = static_cast<_KXHEADERCAPS>(0x03092083);
    expected.nSerCaps = static_cast<_KXSERIESCAPS>(15);
    expected.nDeviceID = KXDEVID_TQ4;
    expected.pszDevName = header.pszDevName;
    const std::uint64_t time = FileTimeOf(2016, 5, 3, 14, 7, 9);
    expected.dStarted = {static_cast<ULONG>(time), static_cast<ULONG>(time >> 32)};
    expected.dFirstRec = expected.dStarted;
    expected.nRecords = 1;
    expected.nSeries = 3;
    EXPECT_EQ(std::memcmp(&header, &expected, sizeof header), 0);
    EXPECT_STREQ(header.pszDevName, "TQ4");
    EXPECT_EQ(caps, 0x03092083);
    EXPECT_EQ(capsEx, 0);

    const std::vector<SeriesText> series{{"A.Sample", "", "GX420", ""},
                                         {"A.Device", "", "GX420", ""},
                                         {"A.VWC", "10", "GX420", "m3.m-3"}};
    EXPECT_EQ(AllSeries(dataset.get()), series);
    const RecordRead record{S_OK, 3, time,
                            {{0, KXRESERROR_NONE, 3}, {1, KXRESERROR_EMPTY, 0}, {2, KXRESERROR_NONE, 0.345}},
                            static_cast<ULONG>(content.size())};
    EXPECT_EQ(Read(dataset.get(), 0), record);
}

struct HeaderCase {
    const char* what;
    std::string content;
    HRESULT hr;
    int records;
    int locale;
    std::uint64_t firstRecord;
};

TEST(DatasetOpen, HeaderOfEachFileShape)
{
    const std::string longCell(255, 'x');
    const std::string body = OneSet() + Reading("05/06/2017");
    auto ends = [&](const std::string& eol) {
        std::string text = Banner() + body;
        std::string out;
        for (std::size_t at = 0; at < text.size(); ++at) {
            if (text.compare(at, 2, "\r\n") == 0) {
                out += eol;
                ++at;
            } else {
                out += text[at];
            }
        }
        return out;
    };
    const std::uint64_t june5 = FileTimeOf(2017, 6, 5, 14, 7, 9);
    const HeaderCase cases[] = {
        {"an empty file", "", S_OK, 0, 0, 0},
        {"the banner alone", "Norvane Devices. TQ4 Data Record\r\n", S_OK, 0, 0, 0},
        {"a keyword line before the banner", Lines({"Time,Sample,Plot,Device,"}), DATASET_E_FORMAT, 0, 0, 0},
        {"a units line after a soil line", Banner() + Lines({"Soil   >>,Organic", "Units  >>,mV"}),
         DATASET_E_FORMAT, 0, 0, 0},
        {"a soil parameter line right after the versions", Banner() + Lines({"Soil Parameter,,,,3.5"}) + body,
         S_OK, 1, 0, june5},
        {"a day above 12 settles day-month", Banner() + body + Reading("25/06/2017"), S_OK, 2, 0, june5},
        {"a second number above 12 settles month-day", Banner() + OneSet() + Reading("06/25/2017"), S_OK, 1, 1,
         FileTimeOf(2017, 6, 25, 14, 7, 9)},
        {"a year-first date", Banner() + OneSet() + Reading("2017/06/25"), S_OK, 1, 3,
         FileTimeOf(2017, 6, 25, 14, 7, 9)},
        {"month-day dates read day first until a day above 12",
         Banner() + OneSet() + Reading("06/05/2017") + Reading("06/25/2017"), S_OK, 2, 1,
         FileTimeOf(2017, 5, 6, 14, 7, 9)},
        {"31 February", Banner() + OneSet() + Reading("31/02/2017"), DATASET_E_FORMAT, 0, 0, 0},
        {"a last reading line without a line end",
         Banner() + body + "25/06/2017  14:07:09,0002,A,B12,  0.300, ,", S_OK, 1, 0, june5},
        {"lines that hold no date", Banner() + body + Lines({"EC Compensation,,,,20", "Percent,,,,20.0"}), S_OK, 1,
         0, june5},
        {"a cell of 255 characters", Banner() + Lines({"x," + longCell}) + body, E_OUTOFMEMORY, 0, 0, 0},
        {"a cell of 254 characters", Banner() + Lines({"x," + longCell.substr(1)}) + body, S_OK, 1, 0, june5},
        {"line feeds alone", ends("\n"), S_OK, 1, 0, june5},
        {"carriage returns alone", ends("\r"), S_OK, 1, 0, june5},
    };
    ScratchDir dir;
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.what);
        DatasetRef dataset;
        const Opened opened = OpenPath(dataset.get(), WriteFile(dir, "shape.csv", c.content));
        ASSERT_EQ(opened.hr, c.hr);
        if (c.hr != S_OK)
            continue;
        EXPECT_EQ(opened.header.nRecords, c.records);
        EXPECT_EQ(opened.header.nLocale, c.locale);
        EXPECT_EQ(Join(opened.header.dStarted), c.firstRecord);
        EXPECT_EQ(Join(opened.header.dFirstRec), c.firstRecord);
        EXPECT_EQ(opened.header.nSeries, c.records == 0 ? 0 : 3);
    }
}

TEST(DatasetOpen, RefusedArgumentsAndFailedOpens)
{
    ScratchDir dir;
    const std::string file = WriteFile(dir, "file.csv", WorkedExample());
    const std::u16string named = Wide(file);
    const std::u16string missing = Wide(dir / "missing.csv");
    const std::u16string throughFile = Wide(file + "/inner.csv");
    const std::u16string folder = Wide(dir.Path());
    const std::u16string loneSurrogate = Wide(dir / "x") + u"\xD800.csv";
    struct Case {
        const char* what;
        const char16_t* name;
        bool caps, capsEx, header;
        HRESULT hr;
    };
    const Case cases[] = {
        {"no file name", nullptr, true, true, true, E_POINTER},
        {"no caps", named.c_str(), false, true, true, E_POINTER},
        {"no extended caps", named.c_str(), true, false, true, E_POINTER},
        {"no header", named.c_str(), true, true, false, E_POINTER},
        {"a missing file", missing.c_str(), true, true, true, static_cast<HRESULT>(0x80070002)},
        {"a path through a file", throughFile.c_str(), true, true, true, static_cast<HRESULT>(0x80070003)},
        {"a folder", folder.c_str(), true, true, true, E_FAIL},
        {"a lone surrogate in the name", loneSurrogate.c_str(), true, true, true, E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DatasetRef dataset;
        _KXHEADERCAPS caps = static_cast<_KXHEADERCAPS>(0x55);
        _KXHEADERCAPSEX capsEx = static_cast<_KXHEADERCAPSEX>(0x55);
        _KXHeader header;
        std::memset(&header, 0x55, sizeof header);
        _KXHeader untouched = header;
        EXPECT_EQ(dataset->Open(c.name, c.caps ? &caps : nullptr, c.capsEx ? &capsEx : nullptr,
                                c.header ? &header : nullptr),
                  c.hr);
        EXPECT_EQ(caps, 0x55);
        EXPECT_EQ(capsEx, 0x55);
        EXPECT_EQ(std::memcmp(&header, &untouched, sizeof header), 0);
        int count = 0;
        EXPECT_EQ(dataset->EnumSeries(nullptr, &count, nullptr), DATASET_E_NOTOPEN);
        EXPECT_EQ(dataset->ReadRecord(0, &count, nullptr, nullptr, nullptr, nullptr), DATASET_E_NOTOPEN);
    }
}

TEST(DatasetOpen, AFailureKeepsTheRecordsBeforeIt)
{
    ScratchDir dir;
    const std::string path = WriteFile(
        dir, "bad.csv", Banner() + OneSet() + Reading("05/06/2017") + Reading("25/06/2017") + Reading("31/02/2017"));
    DatasetRef dataset;
    _KXHEADERCAPS caps = static_cast<_KXHEADERCAPS>(0x55);
    _KXHEADERCAPSEX capsEx{};
    _KXHeader header{};
    header.nRecords = 77;
    EXPECT_EQ(dataset->Open(Wide(path).c_str(), &caps, &capsEx, &header), DATASET_E_FORMAT);
    EXPECT_EQ(caps, 0x55);
    EXPECT_EQ(header.nRecords, 77);
    EXPECT_EQ(AllSeries(dataset.get()).size(), 3u);
    EXPECT_EQ(Read(dataset.get(), 1).time, FileTimeOf(2017, 6, 25, 14, 7, 9));
    EXPECT_EQ(Read(dataset.get(), 0).time, FileTimeOf(2017, 6, 5, 14, 7, 9));
    EXPECT_EQ(Read(dataset.get(), 2).hr, DATASET_E_FORMAT);
    EXPECT_EQ(Read(dataset.get(), 1).hr, S_OK);
}

TEST(DatasetOpen, ASecondOpenStartsAfreshAndKeepsTheFirstStrings)
{
    ScratchDir dir;
    const std::string first = WriteFile(dir, "first.csv", WorkedExample());
    DatasetRef dataset;
    ASSERT_EQ(OpenPath(dataset.get(), first).hr, S_OK);
    int count = 3;
    _KXSeries before[3];
    ASSERT_EQ(dataset->EnumSeries(nullptr, &count, before), S_OK);
    const std::vector<SeriesText> texts = AllSeries(dataset.get());

    const Opened second = OpenPath(dataset.get(), TestDataPath("retrieval/profile_set.csv"));
    ASSERT_EQ(second.hr, S_OK);
    EXPECT_EQ(second.header.nRecords, 2);
    EXPECT_EQ(second.header.nSeries, 8);
    EXPECT_EQ(AllSeries(dataset.get())[0], (SeriesText{"A.Sample", "", "VP4", ""}));
    for (int i = 0; i < 3; ++i) {
        const SeriesText now{before[i].pszSensorName, before[i].pszChannel, before[i].pszSensorType,
                             before[i].pszUnits};
        EXPECT_EQ(now, texts[static_cast<std::size_t>(i)]);
    }

    // A refused Open changes nothing: the second file stays open.
    _KXHeader header{};
    _KXHEADERCAPSEX capsEx{};
    EXPECT_EQ(dataset->Open(Wide(first).c_str(), nullptr, &capsEx, &header), E_POINTER);
    EXPECT_EQ(Read(dataset.get(), 1).results.size(), 4u);
}

TEST(DatasetOpen, FilesWrittenByTheRetrieval)
{
    struct Case {
        const char* file;
        int records, series, locale;
        int record, result;
        SeriesText seriesOfResult;
        double value;
    };
    const Case cases[] = {
        {"cli/retrieve_small.csv", 3, 11, 3, 2, 3, {"2.ECb", "0100", "FLX", "mS.m-1"}, 42.7},
        {"retrieval/profile_set.csv", 2, 8, 0, 1, 3, {"B.VWC", "0200", "VP4", "m3.m-3"}, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        DatasetRef dataset;
        const Opened opened = OpenPath(dataset.get(), TestDataPath(c.file));
        ASSERT_EQ(opened.hr, S_OK);
        EXPECT_EQ(opened.header.nRecords, c.records);
        EXPECT_EQ(opened.header.nSeries, c.series);
        EXPECT_EQ(opened.header.nLocale, c.locale);
        const RecordRead read = Read(dataset.get(), c.record);
        ASSERT_GT(read.results.size(), static_cast<std::size_t>(c.result));
        const Result& result = read.results[static_cast<std::size_t>(c.result)];
        EXPECT_EQ(result.err, KXRESERROR_NONE);
        EXPECT_DOUBLE_EQ(result.value, c.value);
        EXPECT_EQ(AllSeries(dataset.get())[static_cast<std::size_t>(result.series)], c.seriesOfResult);
    }
}

} // namespace
} // namespace loamset::testing
