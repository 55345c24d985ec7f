// The record index: on random files and random ways through them, an object that steps back
// through its index gives exactly what an object that re-reads from the file's start gives.
#include "tests/loamset/dataset_fixture.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace loamset::testing {
namespace {

class FileMaker {
public:
    explicit FileMaker(unsigned seed) : m_random(seed), m_dateStyle(Pick(5)) {}

    std::string Make()
    {
        std::string out;
        if (Pick(12) != 0)
            out += "Norvane Devices. TQ4 Data Record" + Eol() + "Versions:,PC Software:,1.0,TQ4 Firmware:,V2.13 " + Eol();
        const int lines = 10 + Pick(160);
        int previous = 0;
        for (int i = 0; i < lines; ++i) {
            const int kind = Pick(30);
            out += Line(kind, previous);
            previous = kind;
            out += Eol();
        }
        if (Pick(4) == 0)
            out.resize(out.size() - 1);
        return out;
    }

    int Pick(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }

private:
    template <std::size_t N>
    const char* Any(const char* const (&choices)[N])
    {
        return choices[Pick(static_cast<int>(N))];
    }

    std::string Eol()
    {
        const int p = Pick(25);
        return p == 0 ? "\n" : p == 1 ? "\r" : "\r\n";
    }

    std::string Date()
    {
        const int day = 1 + Pick(Pick(3) == 0 ? 28 : 12);
        const int month = 1 + Pick(12);
        const int year = 2015 + Pick(5);
        char text[40];
        int style = m_dateStyle == 4 ? Pick(4) : m_dateStyle;
        if (Pick(300) == 0)
            return "31/02/2017  10:00:00";
        if (Pick(40) == 0)
            return Any({"EC Compensation", "garbage", "1/2/3", " 3/4/2017 1:2:3", "12/12/2012"});
        if (style == 0)
            std::snprintf(text, sizeof text, "%02d/%02d/%04d  %02d:%02d:%02d", day, month, year, Pick(24), Pick(60),
                          Pick(60));
        else if (style == 1)
            std::snprintf(text, sizeof text, "%02d/%02d/%04d  %02d:%02d:%02d", month, day, year, Pick(24), Pick(60),
                          Pick(60));
        else
            std::snprintf(text, sizeof text, "%04d/%02d/%02d  %02d:%02d:%02d", year, month, day, Pick(24), Pick(60),
                          Pick(60));
        return text;
    }

    std::string Cells(int count, const char* const* choices, int choiceCount)
    {
        std::string out;
        for (int i = 0; i < count; ++i)
            out += std::string(",") + choices[Pick(choiceCount)];
        return out;
    }

    std::string Line(int kind, int previous)
    {
        static const char* const titles[] = {"VWC",  "Error", "m3.m-3", "mV",     "mm Deficit", "%",    "degC",
                                             "",     "Error", "Plot",   "Sample", "Device",     "ECb",  "vwc",
                                             "MV",   "Error", "m3.m-3", "Error",  "Def",        "x-3"};
        static const char* const values[] = {"  0.345", "       ", " 0.312", "1e3", "abc", "",   "-0.5",
                                             "0003",    "B12",     "  12.5", "nan", " ",   "0x1p3"};
        static const char* const errors[] = {" ", " ", " ", "L", "H", "l", "HX", "", "E", "C"};
        static const char* const depths[] = {"0100", "0200", "", "0300", "10", "0100", "0400", ""};
        static const char* const units[] = {"m3.m-3", "", "mm", "%", "mS.m-1", "degC", "M3.M-3", ""};
        switch (kind) {
        case 0:
            return "";
        case 1:
            return std::string("Device >>,") +
                   Any({"GX420", "VP4 special direct", "vp4 direct", "VP4", "FLX", "gx420", "", "VP4 special"});
        case 2:
            if (previous != 1 && previous != 3 && Pick(10) != 0)
                return "Percent,,,,20.0";
            return Any({"Root Depth >>,,,,0400", "Root Depth >>,,,,", "Root Depth >>,,,,0250"});
        case 3:
            if (previous != 1 && previous != 2 && previous != 3 && Pick(10) != 0)
                return "EC Compensation,,,,20";
            return "Sensor Depth >>,,,," + std::string(depths[Pick(8)]) + Cells(Pick(24), depths, 8);
        case 4:
        case 5:
            return "Time,Sample,Plot,Device" + Cells(Pick(26), titles, 20) + (Pick(3) ? "," : "");
        case 6:
            return ",,,," + std::string(units[Pick(8)]) + Cells(Pick(8), units, 8);
        case 7:
            return Any({"Table >>,Sandy Loam,,,", ",Ready ,,,", "Units  >>,mV,Sq.Rt.E,,", " ,0050,000.000,,"});
        case 8:
            return Any({"Soil   >>,Organic,Mineral", "A0     >>,12.3,1.6", "Soil Parameter,,,,3.5",
                        "Field Capacity,,,,032.0", "B1     >>,,,,8.4"});
        case 9:
            return Any({"EC Compensation,,,,None", "random words here", ",stray,cells,,,", ",,,,0.5, ,0.6,L,"});
        default: {
            std::string line = Date() + "," + std::to_string(Pick(10000)) + "," +
                               Any({"A", "B", "A", "a", "", "C"}) + "," + Any({"B12", "T01", "7"});
            const int pairs = Pick(12);
            for (int i = 0; i < pairs; ++i)
                line += std::string(",") + values[Pick(13)] + (Pick(8) == 0 ? "" : std::string(",") + errors[Pick(10)]);
            if (Pick(3) != 0)
                line += ",";
            return line;
        }
        }
    }

    std::mt19937 m_random;
    int m_dateStyle;
};

// Every bit alike, values without meaning included.
void ExpectSame(const RecordRead& a, const RecordRead& b, const std::string& where)
{
    ASSERT_EQ(a.hr, b.hr) << where;
    ASSERT_EQ(a.count, b.count) << where;
    ASSERT_EQ(a.time, b.time) << where;
    ASSERT_EQ(a.pos, b.pos) << where;
    ASSERT_EQ(a.results.size(), b.results.size()) << where;
    for (std::size_t k = 0; k < a.results.size(); ++k) {
        ASSERT_EQ(a.results[k].series, b.results[k].series) << where << " result " << k;
        ASSERT_EQ(a.results[k].err, b.results[k].err) << where << " result " << k;
        ASSERT_EQ(std::memcmp(&a.results[k].value, &b.results[k].value, sizeof(double)), 0)
            << where << " result " << k;
    }
}

TEST(DatasetIndex, StepsBackGiveWhatReReadingGives)
{
    ScratchDir dir;
    int walked = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        FileMaker maker(seed);
        const std::string content = maker.Make();
        const std::string path = WriteFile(dir, "random.csv", content);
        DatasetRef indexed(true), literal(false);
        const Opened a = OpenPath(indexed.get(), path);
        const Opened b = OpenPath(literal.get(), path);
        ASSERT_EQ(a.hr, b.hr) << "seed " << seed;
        if (a.hr == S_OK) {
            ASSERT_EQ(std::memcmp(&a.header, &b.header, sizeof a.header), 0) << "seed " << seed;
        }
        if (a.hr == S_OK && a.header.nRecords == 0)
            continue;
        const int records = a.hr == S_OK ? a.header.nRecords : 40;
        int at = records - 1;
        for (int step = 0; step < 120; ++step) {
            switch (maker.Pick(12)) {
            case 0: at = maker.Pick(records + 2); break;
            case 1: ++at; break;
            case 2: break;
            case 3: at = at / 2; break;
            case 4: at = records; break;
            case 5: at += 3; break;
            default: --at; break;
            }
            if (at < 0)
                at = records - 1;
            const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step) + " record " +
                                      std::to_string(at);
            ExpectSame(Read(indexed.get(), at), Read(literal.get(), at), where);
            if (HasFatalFailure())
                return;
            ++walked;
        }
        ASSERT_EQ(AllSeries(indexed.get()), AllSeries(literal.get())) << "seed " << seed;
    }
    EXPECT_GT(walked, 10000);
}

TEST(DatasetIndex, WhatTheReReadHadNotWrittenStaysAsItIs)
{
    // Column 10 has a depth but no title at first: record 1 reads its Error mark before any
    // title line of the re-read wrote it.  The later titles make it an Error column, then not.
    const std::string content =
        Banner() + Lines({"Device >>,GX420", "Sensor Depth >>,,,,0100,,,,,,0200", "Time,Sample,Plot,Device,VWC,Error,",
                          "01/05/2016  10:00:00,0001,A,B12,0.1, ,", "02/05/2016  10:00:00,0002,A,B12,0.2, ,,,,,X",
                          "Time,Sample,Plot,Device,VWC,Error,a,b,c,d,Error,", "03/05/2016  10:00:00,0003,A,B12,0.3, ,",
                          "Time,Sample,Plot,Device,VWC,Error,a,b,c,d,e,", "04/05/2016  10:00:00,0004,A,B12,0.4, ,"});
    ScratchDir dir;
    const std::string path = WriteFile(dir, "unwritten.csv", content);
    DatasetRef indexed(true), literal(false);
    ASSERT_EQ(OpenPath(indexed.get(), path).hr, S_OK);
    ASSERT_EQ(OpenPath(literal.get(), path).hr, S_OK);
    for (int r : {1, 2, 0, 1}) {
        ExpectSame(Read(indexed.get(), r), Read(literal.get(), r), "record " + std::to_string(r));
    }
    EXPECT_EQ(Read(indexed.get(), 1).results[1].err, 0xC000000Au);
}

TEST(DatasetIndex, AGrownFileIsReadAfresh)
{
    ScratchDir dir;
    std::string content = Banner() + Lines({"Device >>,GX420", "Sensor Depth >>,,,,0100", "Time,Sample,Plot,Device,"
                                                                                          "VWC,Error,"});
    for (int day = 1; day <= 9; ++day)
        content += "0" + std::to_string(day) + "/05/2016  14:07:09,0003,A,B12,  0." + std::to_string(day) + ", ,\r\n";
    const std::string path = WriteFile(dir, "grows.csv", content);
    DatasetRef indexed(true), literal(false);
    ASSERT_EQ(OpenPath(indexed.get(), path).hr, S_OK);
    ASSERT_EQ(OpenPath(literal.get(), path).hr, S_OK);
    for (int r : {8, 7, 3, 8}) {
        ExpectSame(Read(indexed.get(), r), Read(literal.get(), r), "before " + std::to_string(r));
    }
    // Lines added where the old ones stood, the file now longer: the index no longer holds.
    std::string changed = content;
    changed.replace(changed.find("0.2, ,"), 6, "0.7,L,");
    changed += Lines({"Device >>,FLX", "Time,Sample,Plot,Device,ECb,Error,", "30/05/2016  14:07:09,0010,B,B12,5, ,"});
    std::ofstream(path, std::ios::binary | std::ios::trunc) << changed;
    for (int r : {2, 9, 1, 6, 9, 0}) {
        const RecordRead a = Read(indexed.get(), r);
        ExpectSame(a, Read(literal.get(), r), "after " + std::to_string(r));
        EXPECT_EQ(a.hr, S_OK);
    }
    EXPECT_EQ(Read(indexed.get(), 1).results[2].err, KXRESERROR_UNDERRANGE);
}

} // namespace
} // namespace loamset::testing
