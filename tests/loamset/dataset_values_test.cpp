// Numbers, dates and file times: the fast paths agree with the C library, and nothing depends on
// the locale of the process.
#include "loamset/dataset_values.h"
#include "tests/loamset/dataset_fixture.h"

#include <clocale>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace loamset::testing {
namespace {

std::string RandomCell(std::mt19937& random, std::string_view alphabet, std::size_t longest)
{
    std::string cell(random() % (longest + 1), ' ');
    for (char& c : cell)
        c = alphabet[random() % alphabet.size()];
    return cell;
}

TEST(DatasetValues, NumberCellsReadAsTheLibraryReadsThem)
{
    std::vector<std::string> cells{"0.345",   "-0.5",   "+.5",     "5.",  ".",       "-",  "0x1p3", "00x1", "1e5x",
                                   "1e",      "1.5.3",  "inf",     "nan", "\t7",     "",   "0003",  "B12",  "-0",
                                   "1234567890123456789", "12345678901234567890", "0.0000000000000000000001",
                                   "9007199254740993", "0.30000000000000004", "123456.789012345678"};
    std::mt19937 random(20240618);
    for (int i = 0; i < 20000; ++i)
        cells.push_back(RandomCell(random, i % 2 ? "0123456789" : "0123456789.-+eExX a", 24));
    for (const std::string& cell : cells) {
        double fast = -1, library = -1;
        const bool fastFound = ReadNumberCell(cell, fast);
        ASSERT_EQ(fastFound, ReadNumberCellByLibrary(cell, library)) << "[" << cell << "]";
        if (fastFound && !(fast != fast)) {
            ASSERT_EQ(std::memcmp(&fast, &library, sizeof fast), 0) << "[" << cell << "] " << fast << " " << library;
        }
    }
}

TEST(DatasetValues, DateCellsScanAsTheLibraryScansThem)
{
    std::vector<std::string> cells{"05/06/2017  14:07:09", "2017/06/25  14:07:09", "2017/06/25 14:07:09x",
                                   "5/6/2017 1:2:3",       "05/06/2017\t14:07:09",  "-1/+2/2017 01:02:03",
                                   "05/06/2017  14:07",    "2017/06/2514:07:09",   "05/06/201714:07:09"};
    std::mt19937 random(5);
    for (int i = 0; i < 20000; ++i) {
        std::string cell = i % 3 ? "05/06/2017  14:07:09" : "2017/06/25  14:07:09";
        for (int edits = 1 + static_cast<int>(random() % 3); edits > 0; --edits)
            cell[random() % cell.size()] = "0123456789/: +-\t"[random() % 16];
        cells.push_back(cell);
    }
    for (const std::string& cell : cells) {
        DateScan fast, library;
        ScanDateCell(cell, fast);
        ScanDateCellByLibrary(cell, library);
        ASSERT_EQ(fast.yearFirst, library.yearFirst) << cell;
        ASSERT_EQ(fast.twoDigitFirst, library.twoDigitFirst) << cell;
        if (fast.yearFirst) {
            ASSERT_EQ(std::memcmp(fast.yearForm, library.yearForm, sizeof fast.yearForm), 0) << cell;
        }
        if (fast.twoDigitFirst) {
            ASSERT_EQ(std::memcmp(fast.twoDigitForm, library.twoDigitForm, sizeof fast.twoDigitForm), 0) << cell;
        }
    }
}

TEST(DatasetValues, CalendarConversion)
{
    struct Case {
        unsigned year, month, day, hour, minute, second;
        bool valid;
    };
    const Case cases[] = {
        {1601, 1, 1, 0, 0, 0, true},      {1970, 1, 1, 0, 0, 0, true},    {2016, 5, 3, 14, 7, 9, true},
        {2000, 2, 29, 23, 59, 59, true},  {2100, 2, 28, 12, 0, 0, true},  {30827, 12, 31, 23, 59, 59, true},
        {2017, 2, 31, 0, 0, 0, false},    {1900, 2, 29, 0, 0, 0, false},  {1600, 12, 31, 0, 0, 0, false},
        {30828, 1, 1, 0, 0, 0, false},    {2017, 13, 1, 0, 0, 0, false},  {2017, 0, 1, 0, 0, 0, false},
        {2017, 4, 31, 0, 0, 0, false},    {2017, 1, 0, 0, 0, 0, false},   {2017, 1, 1, 24, 0, 0, false},
        {2017, 1, 1, 0, 60, 0, false},    {2017, 1, 1, 0, 0, 60, false},  {4294967295u, 1, 1, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        std::uint64_t time = 0;
        SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day));
        ASSERT_EQ(FileTimeFromFields(c.year, c.month, c.day, c.hour, c.minute, c.second, time), c.valid);
        if (c.valid && c.year < 10000) {
            EXPECT_EQ(time, FileTimeOf(static_cast<int>(c.year), static_cast<int>(c.month), static_cast<int>(c.day),
                                       static_cast<int>(c.hour), static_cast<int>(c.minute),
                                       static_cast<int>(c.second)));
        }
    }
}

TEST(DatasetValues, ADecimalCommaLocaleChangesNothing)
{
    ScratchDir dir;
    const std::string path =
        WriteFile(dir, "locale.csv",
                  Banner() + Lines({"Device >>,GX420", "Sensor Depth >>,,,,0100", "Time,Sample,Plot,Device,VWC,Error,",
                                    "05/06/2017  14:07:09,0001,A,B12,  0.345, ,",
                                    "25/06/2017  14:07:09,0002,A,B12,1e-3, ,"}));
    loamer::testing::ScopedLocale locale(LC_ALL, "de_DE.UTF-8");
    ASSERT_TRUE(locale.Ok()) << "the de_DE.UTF-8 locale is missing (./run setup generates it)";
    double check = 0;
    ASSERT_EQ(std::sscanf("0,5", "%lg", &check), 1);
    ASSERT_EQ(check, 0.5) << "the locale reads a decimal comma";
    DatasetRef dataset;
    ASSERT_EQ(OpenPath(dataset.get(), path).hr, S_OK);
    EXPECT_EQ(Read(dataset.get(), 0).results[2], (Result{2, KXRESERROR_NONE, 0.345}));
    EXPECT_EQ(Read(dataset.get(), 1).results[2], (Result{2, KXRESERROR_NONE, 0.001}));
    double value = 0;
    EXPECT_TRUE(ReadNumberCellByLibrary("0.25", value));
    EXPECT_EQ(value, 0.25);
}

} // namespace
} // namespace loamset::testing
