// Decoding stored records: the layouts the headers fix, and the checks every record must pass.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "loamer/retrieval/lookup_tables.h"
#include "loamer/retrieval/record_decoder.h"
#include "tests/retrieval/records.h"

using namespace loamer;
using loamer::testing::ProfileBody;
using loamer::testing::ReadingBody;
using loamer::testing::Body;
using loamer::testing::SensorBody;

namespace {

DataSetLayout ProfileLayout(char n, char q1, char q2) {
    ProfileHeader h;
    DataSetLayout layout;
    EXPECT_EQ(DecodeProfileHeader(Body(ProfileBody(n, q1, q2)), h, layout), ERR_NONE) << n << q1 << q2;
    return layout;
}

TEST(DecodeCoefficient, ScalesShiftsOrKeepsTheCharacters) {
    const std::pair<const char*, const char*> cases[] = {
        {"123", "12.3"}, {"987", "-1.3"}, {"1.6", "1.6"}, {"600", "-40.0"}, {"050", "50.0"},
        {"051", "-49.0"}, {"x12", "x12"}, {"100", "10.0"}, {"999", "-0.1"}, {"12 ", "12 "},
    };
    for (const auto& [field, text] : cases) EXPECT_EQ(DecodeCoefficient(field), text) << field;
}

TEST(LookupTables, ListedCodesAndTheLastRowForOthers) {
    EXPECT_STREQ(DeviceName('6'), "VP4 access (in soil access tube)");
    EXPECT_STREQ(DeviceName('I'), "VP5 SDI12");
    EXPECT_STREQ(DeviceName('J'), "Unknown Device");
    EXPECT_STREQ(UnitsName('8'), "mm Deficit");
    EXPECT_STREQ(UnitsName('9'), "");
    EXPECT_STREQ(ProfileSoilName('O'), "Organic");
    EXPECT_STREQ(SensorSoilName('T'), "Pot soil");
    EXPECT_STREQ(SensorSoilName('U'), "");
    EXPECT_STREQ(ChannelLabel('E'), "E'b");
    EXPECT_STREQ(ChannelUnits('P', '2', '5'), "mS.cm-1");
    EXPECT_STREQ(ChannelUnits('W', '2', '5'), "m3.m-3");
    EXPECT_STREQ(ChannelUnits('E', '2', '5'), "");
}

TEST(ProfileHeader, LayoutFromDepthsAndQuantities) {
    struct Case {
        char n, q1, q2, kind;
        std::size_t body;
        std::vector<int> slots;  // depth by depth, first quantity first
    };
    const Case cases[] = {
        {'3', '2', '0', '3', 61, {0, 1, 2}},          {'3', '1', '2', '6', 93, {0, 1, 2, 3, 4, 5}},
        {'3', '8', '2', '6', 93, {0, 1, 3, 5}},       {'3', '8', '0', '3', 61, {0}},
        {'1', '2', '0', '2', 37, {0}},                {'1', '2', '3', '5', 45, {0, 1}},
        {'6', '2', '0', '4', 77, {0, 1, 2, 3, 4, 5}}, {'5', '2', '3', '7', 125, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const Case& c : cases) {
        const DataSetLayout layout = ProfileLayout(c.n, c.q1, c.q2);
        EXPECT_EQ(layout.expectedKind, c.kind) << c.n << c.q1 << c.q2;
        EXPECT_EQ(layout.bodyLength, c.body) << c.n << c.q1 << c.q2;
        std::vector<int> slots;
        for (int d = 0; d < layout.n; ++d) {
            for (int s = 0; s < 2; ++s) {
                if (SlotOf(layout, d, s) >= 0) slots.push_back(SlotOf(layout, d, s));
            }
        }
        EXPECT_EQ(slots, c.slots) << c.n << c.q1 << c.q2;
    }
}

TEST(ProfileHeader, RefusedHeaders) {
    const std::pair<std::string, ErrorCode> cases[] = {
        {ProfileBody('7', '2', '0'), ERR_BAD_REPLY},
        {ProfileBody('0', '2', '0'), ERR_BAD_REPLY},
        {ProfileBody('2', '0', '0'), ERR_BAD_REPLY},
        {ProfileBody('2', '2', '8'), ERR_BAD_REPLY},
        {ProfileBody('2', '2', '0').replace(20, 4, "01x0"), ERR_BAD_FRAME},  // a depth that is no number
        {ProfileBody('2', '2', '0').replace(128, 2, "\r\r"), ERR_NONE},        // white space ends it either way
        {ProfileBody('2', '2', '0').substr(0, 129) + "x", ERR_BAD_FRAME},
    };
    for (const auto& [text, code] : cases) {
        ProfileHeader h;
        DataSetLayout layout;
        EXPECT_EQ(DecodeProfileHeader(Body(text), h, layout), code) << text;
    }
}

TEST(SensorHeader, ChannelsAndChecks) {
    struct Case {
        std::string body;
        unsigned number;
        ErrorCode code;
        int channels;
    };
    const Case cases[] = {
        {SensorBody(), 1, ERR_NONE, 3},
        {SensorBody("00007", 'A', '3', '1', "WBTDE"), 7, ERR_NONE, 5},
        {SensorBody("00007", '9', '3', '0', "     "), 7, ERR_NONE, 0},
        {SensorBody("00002"), 1, ERR_BAD_REPLY, 0},
        {SensorBody("00001", '1'), 1, ERR_BAD_REPLY, 0},
        {SensorBody("00001", 'A', '3', '3'), 1, ERR_BAD_FRAME, 0},
        {SensorBody().replace(28, 5, "wet  "), 1, ERR_BAD_FRAME, 0},
    };
    for (const Case& c : cases) {
        SensorHeader h;
        DataSetLayout layout;
        EXPECT_EQ(DecodeSensorHeader(Body(c.body), c.number, h, layout), c.code) << c.body;
        if (c.code != ERR_NONE) continue;
        EXPECT_EQ(h.channels, c.channels);
        EXPECT_EQ(layout.expectedKind, 'E');
        EXPECT_EQ(layout.n1, c.channels);
        EXPECT_EQ(layout.n2, 0);
    }
}

TEST(Reading, FlagsAndValueChecks) {
    const DataSetLayout layout = ProfileLayout('2', '2', '0');  // kind '3', slots 0 and 1
    struct Case {
        std::string slots;
        unsigned number;
        ErrorCode code;
    };
    const Case cases[] = {
        {"  0.345 *******1garbage junk    ", 2, ERR_NONE},       // a flagged slot is not scanned
        {"******* *******1garbage junk    ", 2, ERR_BAD_FRAME},  // a valid slot must be a number
        {"  0.345   0.400 garbage junk    ", 3, ERR_BAD_REPLY},  // another record's number
        {"  0.345 0.4abcd garbage junk    ", 2, ERR_BAD_FRAME},  // the number stops short of seven
        {"       E  0.400 garbage junk    ", 2, ERR_NONE},
    };
    for (const Case& c : cases) {
        Reading r;
        EXPECT_EQ(DecodeReading(Body(ReadingBody("00002", "0003", 'A', c.slots)), c.number, layout, r), c.code)
            << c.slots;
        if (c.code == ERR_NONE) {
            EXPECT_EQ(r.columns, (std::vector<std::size_t>{0, 1}));
        }
    }
    const std::string good = "  0.345   0.400 garbage junk    ";
    Reading r;
    EXPECT_EQ(DecodeReading(Body(ReadingBody("abcde", "0003", 'A', good)), 2, layout, r), ERR_BAD_FRAME);
    EXPECT_EQ(DecodeReading(Body(ReadingBody("00002", "0003", 'A', good, "2016030514070x")), 2, layout, r),
              ERR_BAD_FRAME);
    // A body of another kind's length never reaches the scan.
    EXPECT_EQ(DecodeReading(Body(ReadingBody("00002", "0003", 'A', good + "  1.000 ")), 2, layout, r),
              ERR_BAD_FRAME);
}

}  // namespace
