// The chunks of the data record file, byte for byte, against texts written out from the rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "loamer/retrieval/data_record_file.h"
#include "tests/retrieval/records.h"

using namespace loamer;
using loamer::testing::ProfileBody;
using loamer::testing::ReadingBody;
using loamer::testing::Body;
using loamer::testing::SensorBody;

namespace {

TEST(ReadingLine, TheWorkedReadingInEachDateOrder) {
    ProfileHeader header;
    DataSetLayout layout;
    ASSERT_EQ(DecodeProfileHeader(Body(ProfileBody('2', '2', '0')), header, layout), ERR_NONE);
    Reading reading;
    ASSERT_EQ(DecodeReading(Body(ReadingBody("00002", "0003", 'A', "  0.345   1.234E  9.999   9.999 ")), 2,
                            layout, reading),
              ERR_NONE);
    const std::string values = "  14:07:09,0003,A,B12,  0.345, ,       ,E,\r\n";
    EXPECT_EQ(ComposeReadingLine(reading, '1'), "05/03/2016" + values);
    EXPECT_EQ(ComposeReadingLine(reading, '7'), "05/03/2016" + values);
    EXPECT_EQ(ComposeReadingLine(reading, '0'), "\r\n03/05/2016" + values);
    EXPECT_EQ(ComposeReadingLine(reading, '2'), "\r\n2016/03/05" + values);
}

TEST(ProfileBlock, ItemSeparatorsPlaceEachDepthAboveItsColumns) {
    struct Case {
        char n, q1, q2;
        const char* depths;
        const char* soils;
        const char* titles;
    };
    const Case cases[] = {
        {'3', '2', '0', "0100,,0200,,0300,,", "Mineral,,Organic,,Soil 1,,", "m3.m-3,Error,m3.m-3,Error,m3.m-3,Error,"},
        {'2', '1', '2', "0100,,,,0200,,,,", "Mineral,,,,Organic,,,,", "mV,Error,m3.m-3,Error,mV,Error,m3.m-3,Error,"},
        {'3', '8', '2', ",,0100,,0200,,0300,,", ",,Mineral,,Organic,,Soil 1,,",
         "mm Deficit,Error,m3.m-3,Error,m3.m-3,Error,m3.m-3,Error,"},
        {'3', '8', '0', "0100,0200,0300,", "Mineral,Organic,Soil 1,", "mm Deficit,Error,"},
        {'1', '2', '0', "0100", "Mineral", "m3.m-3,Error,"},
    };
    const std::string top =
        "\r\nSoil   >>,Organic,Mineral,Soil 1,Soil 2,Soil 3,Soil 4,Soil 5\r\n"
        "A0     >>,12.3,12.3,12.3,12.3,12.3,12.3,12.3\r\n"
        "A1     >>,-1.3,-1.3,-1.3,-1.3,-1.3,-1.3,-1.3\r\n"
        "Field Capacity,045.0,045.0,045.0,045.0,045.0,045.0,045.0\r\n\r\n"
        "Device >>,VP4 access (in soil access tube)\r\nRoot Depth >>,,,,0500";
    for (const Case& c : cases) {
        ProfileHeader header;
        DataSetLayout layout;
        ASSERT_EQ(DecodeProfileHeader(Body(ProfileBody(c.n, c.q1, c.q2)), header, layout), ERR_NONE);
        EXPECT_EQ(ComposeProfileBlock(header, layout), top + "\r\nSensor Depth >>,,,," + c.depths +
                                                           "\r\nSoil   >>,,,," + c.soils +
                                                           "\r\nTime,Sample,Plot,Device," + c.titles + "\r\n")
            << c.n << c.q1 << c.q2;
    }
}

TEST(SensorBlock, DeviceSoilAndCompensationForms) {
    const std::string head = "\r\nDevice >>,FLX\r\nRoot Depth >>,,,,0300\r\nSensor Depth >>,,,,0150";
    const std::string tail =
        "\r\nTime,Sample,Plot,Device,VWC,Error,ECb,Error,Tmp,Error,\r\n,,,,m3.m-3,,mS.m-1,,degC,,\r\n";
    struct Case {
        char device, soil, ec;
        std::string middle;
    };
    const Case cases[] = {
        {'A', '3', '1',
         "\r\nSoil   >>,,,,Clay\r\nB0     >>,,,,12.3\r\nB1     >>,,,,-49.0\r\nSoil Parameter,,,,1.5\r\n"
         "Field Capacity,,,,045.0\r\nEC Compensation,,,,20\r\nPercent,,,,20.0"},
        {'A', 'N', '2',
         "\r\nSoil   >>,,,,Coir\r\nSoil Parameter,,,,1.5\r\nField Capacity,,,,045.0\r\nEC Compensation,,,,25\r\n"
         "Percent,,,,20.0"},
        {'9', '3', '0', "\r\nSoil Parameter,,,,1.5\r\nEC Compensation,,,,None"},
    };
    for (const Case& c : cases) {
        SensorHeader header;
        DataSetLayout layout;
        ASSERT_EQ(DecodeSensorHeader(Body(SensorBody("00001", c.device, c.soil, c.ec)), 1, header, layout),
                  ERR_NONE);
        const std::string device = c.device == '9' ? "OB3" : "FLX";
        std::string expected = head + c.middle + tail;
        expected.replace(expected.find("FLX"), 3, device);
        EXPECT_EQ(ComposeSensorBlock(header), expected) << c.device << c.soil << c.ec;
    }
}

TEST(TablesBlock, SlotsPresentAbsentAndReportedEmpty) {
    MeterTablesImage image{};
    TablesStatus status{};
    for (std::size_t slot = 0; slot < 10; ++slot) std::memcpy(image.bytes + TablePartOffset(1, slot), "!\r\n", 3);
    // Slot 1 holds a table; slot 3 answers with a header whose slot id is '0' (present, no points).
    std::memcpy(image.bytes + TablePartOffset(1, 1), "B122", 4);
    std::strcpy(status.names[1], "KR6       ");
    std::strcpy(status.statusWords[1], "Ready ");
    for (int r = 0; r < 20; ++r) std::snprintf(status.points[1][r], 13, "%5d,%6.3f", r + 1, r / 10.0);
    std::memcpy(image.bytes + TablePartOffset(1, 3), "B10", 3);

    EXPECT_EQ(ComposeTablesHead(status, image),
              "\r\nTable >>,KR6       ,,,,,,\r\n,Ready ,,,,,,\r\nUnits  >>,mV,Sq.Rt.E,,mV,Sq.Rt.E,,\r\n");
    const std::string points = ComposeTablesPoints(status, image);
    EXPECT_EQ(points.substr(0, points.find("\r\n") + 2), " ,    1, 0.000,,,,,\r\n");
    EXPECT_NE(points.find("\r\n,   20, 1.900,,,,,\r\n"), std::string::npos) << "the twentieth point is written";
}

TEST(Banner, ProgramAndMeterVersions) {
    const MeterVersion meter = "V2.13 ";
    EXPECT_EQ(ComposeBanner("1.0.0", meter),
              "Norvane Devices. TQ4 Data Record\r\nVersions:,PC Software:,1.0.0,TQ4 Firmware:,V2.13 \r\n\r\n");
}

}  // namespace
