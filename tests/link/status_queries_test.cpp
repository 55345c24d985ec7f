#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "loamer/link/status_queries.h"
#include "loamer/link/status_views.h"
#include "tests/support/link_fixture.h"

using namespace loamer;

namespace {

std::string StatusReply(const std::string& version, const std::string& battery, const std::string& freeUnits,
                        const std::string& usedUnits, const std::string& readings) {
    std::string r = "N" + version + battery + freeUnits + usedUnits + readings + "\r\n";
    EXPECT_EQ(r.size(), 28u);
    return r;
}

const std::string kGoodStatus = StatusReply("V2.13 ", "87.", "28000", "02000", "000000");

// A meter that wakes at once and answers status, clock and table requests.
class StatusTest : public LinkTest {
protected:
    StatusTest() {
        backend.onWrite = [this](const std::string& req) {
            if (req == "?\r\n") backend.SendLater("A\r\n", 2);
            else if (req == "I\r\n") backend.SendLater(status, 30);
            else if (req == "F\r\n") backend.SendLater("H1202403051407" "09\r\n", 20);
            else if (req.size() == 5 && req[0] == 'T') {
                auto it = tables.find(req.substr(1, 2));
                backend.SendLater(it == tables.end() ? "!\r\n" : it->second, 15);
            }
        };
    }
    // Slot answers of a table: status byte, name, count, points (ten per part).
    void AddTable(char slot, char state, const std::string& name, const std::string& count,
                  const std::string& point = "   12.500000") {
        tables[std::string("1") + slot] = std::string("B1") + slot + state + name + count + "\r\n";
        std::string points;
        for (int i = 0; i < 10; ++i) points += point;
        tables[std::string("2") + slot] = std::string("B2") + slot + points + "\r\n";
        tables[std::string("3") + slot] = std::string("B3") + slot + points + "\r\n";
    }
    ErrorCode Decode(const std::string& reply, MeterMemoryStatus& m) {
        unsigned char r[kStatusReplySize];
        std::memcpy(r, reply.data(), sizeof r);
        return DecodeMemory(r, m);
    }

    std::string status = kGoodStatus;
    std::map<std::string, std::string> tables;
};

TEST_F(StatusTest, TheFourViews) {
    std::string text;
    ASSERT_EQ(QueryVersionText(text), ERR_NONE);
    EXPECT_EQ(text, "TQ4 firmware Version : V2.13  ");
    ASSERT_EQ(QueryBatteryText(text), ERR_NONE);
    EXPECT_EQ(text, "Battery Life = 87.0 Percent");
    ASSERT_EQ(QueryMemoryText(text), ERR_NONE);
    EXPECT_EQ(text, "Memory Used     = 6.7 Percent\n\nReadings stored = 0");
    EXPECT_EQ(backend.written, "?\r\nI\r\n?\r\nI\r\n?\r\nI\r\n");
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(StatusTest, ReplyFrameAndLetterChecksComeFirst) {
    std::string text;
    status = "!\r\n";  // a refusal in place of the reply: its last two bytes are zero
    EXPECT_EQ(QueryVersionText(text), ERR_BAD_FRAME);
    status = "M" + kGoodStatus.substr(1);
    EXPECT_EQ(QueryVersionText(text), ERR_BAD_REPLY);
    status = "M" + kGoodStatus.substr(1, 25) + "\n\r";
    EXPECT_EQ(QueryVersionText(text), ERR_BAD_FRAME);
    status = kGoodStatus.substr(0, 20);  // short: times out
    EXPECT_EQ(QueryBatteryText(text), ERR_TIMEOUT);
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(StatusTest, BatteryField) {
    float level = 0;
    status = StatusReply("V2.13 ", "   ", "28000", "02000", "000000");
    EXPECT_EQ(GetMeterBattery(level), ERR_BAD_FRAME);
    status = StatusReply("V2.13 ", " 5x", "28000", "02000", "000000");
    ASSERT_EQ(GetMeterBattery(level), ERR_NONE);
    EXPECT_EQ(BatteryText(level), "Battery Life = 5.0 Percent");
}

TEST_F(StatusTest, VersionMustBeSevenBitInItsFirstFiveCharacters) {
    MeterVersion version;
    status = StatusReply("V2.1\xB0 ", "87.", "28000", "02000", "000000");
    EXPECT_EQ(GetMeterVersion(version), ERR_BAD_FRAME);
    status = StatusReply("V2.13\xB0", "87.", "28000", "02000", "000000");
    ASSERT_EQ(GetMeterVersion(version), ERR_NONE);
    EXPECT_STREQ(version, "V2.13\xB0");
}

TEST_F(StatusTest, MemoryFieldsScanWithinTheirWidths) {
    MeterMemoryStatus m{};
    EXPECT_EQ(Decode(StatusReply("V2.13 ", "87.", "00000", "01200", "000007"), m), ERR_NONE);
    EXPECT_EQ(MemoryText(m), "Memory Used     = 100.0 Percent\n\nReadings stored = 7");
    EXPECT_EQ(Decode(StatusReply("V2.13 ", "87.", " 3000", " 1000", "    12"), m), ERR_NONE);
    EXPECT_EQ(MemoryText(m), "Memory Used     = 25.0 Percent\n\nReadings stored = 12");
    EXPECT_EQ(Decode(StatusReply("V2.13 ", "87.", "30000", "30000", "999999"), m), ERR_NONE);
    EXPECT_EQ(m.readingsStored, 999999u);
    // Blank-padded, followed by a field that starts with a blank.
    EXPECT_EQ(Decode(StatusReply("V2.13 ", "87.", "  120", "  300", "     1"), m), ERR_NONE);
    EXPECT_EQ(m.freeUnits, 120u);
    EXPECT_EQ(m.usedUnits, 300u);

    EXPECT_EQ(Decode(StatusReply("V2.13 ", "87.", "30001", "00000", "000000"), m), ERR_BAD_FRAME);
    EXPECT_EQ(Decode(StatusReply("V2.13 ", "87.", "00000", "30001", "000000"), m), ERR_BAD_FRAME);
    // Leading blanks do not count towards the width: "  120" then "3..." reads as 12030.
    EXPECT_EQ(Decode(StatusReply("V2.13 ", "87.", "  120", "30000", "000000"), m), ERR_BAD_FRAME);
    EXPECT_EQ(Decode(StatusReply("V2.13 ", "87.", "abcde", "00000", "000000"), m), ERR_BAD_FRAME);
    EXPECT_EQ(Decode(StatusReply("V2.13 ", "87.", "00000", "00000", "      "), m), ERR_BAD_FRAME);
}

TEST_F(StatusTest, ReadingsStoredDecideWhetherInstallsMayRun) {
    status = StatusReply("V2.13 ", "87.", "28000", "02000", "000000");
    EXPECT_EQ(CheckNoReadingsStored(), ERR_NONE);
    status = StatusReply("V2.13 ", "87.", "28000", "02000", "000001");
    EXPECT_EQ(CheckNoReadingsStored(), ERR_READINGS_STORED);
    status = "!\r\n";
    EXPECT_EQ(CheckNoReadingsStored(), ERR_BAD_FRAME);
}

TEST_F(StatusTest, ClockIsReadWithoutAHandshake) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    unsigned char reply[kClockRecordSize];
    ASSERT_EQ(GetMeterClock(reply), ERR_NONE);
    EXPECT_EQ(backend.written, "F\r\n");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply), 18), "H120240305140709\r\n");
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(StatusTest, TablesWithTwoSlots) {
    AddTable('1', '2', "KR5 std   ", "12");
    AddTable('4', '0', "Pr-gauge  ", " 2");
    std::string text;
    ASSERT_EQ(QueryTablesText(text), ERR_NONE);
    EXPECT_EQ(text, "TQ4 Linearisation Tables Status:\n\n"
                    "KR5 std       \tReady         \n"
                    "Pr-gauge      \tEmpty         \n");
    // One handshake, thirty requests, twenty-four of them refused.
    EXPECT_EQ(backend.written.size(), 3u + 30u * 5u);
    EXPECT_EQ(backend.written.substr(0, 13), "?\r\nT11\r\nT21\r\n");
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(StatusTest, MixedSlotAnswersStopTheRead) {
    AddTable('2', '2', "KR6       ", "10");
    tables.erase("32");
    MeterTablesImage image{};
    EXPECT_EQ(ReadMeterTables(image), ERR_BAD_REPLY);
    // Slot '1' refused three times, then slot '2' answered B, B, !: nothing more is asked.
    EXPECT_EQ(backend.written, "?\r\nT11\r\nT21\r\nT31\r\nT12\r\nT22\r\nT32\r\n");
    EXPECT_EQ(image.bytes[18], 'B');
    EXPECT_EQ(image.bytes[2680], '\r');
}

TEST_F(StatusTest, SlotHeaderChecks) {
    MeterTablesImage image{};
    AddTable('1', '3', "KR5       ", "12");
    EXPECT_EQ(ReadMeterTables(image), ERR_BAD_REPLY);
    AddTable('1', '2', "KR5       ", "12");
    tables["11"][2] = 'Z';
    EXPECT_EQ(ReadMeterTables(image), ERR_BAD_REPLY);
    tables["11"][2] = '0';  // a reported id is not compared with the requested one
    EXPECT_EQ(ReadMeterTables(image), ERR_NONE);
    tables["21"][124] = 'x';
    EXPECT_EQ(ReadMeterTables(image), ERR_BAD_FRAME);
    tables["21"] = "!\r?" + std::string(122, ' ');
    EXPECT_EQ(ReadMeterTables(image), ERR_BAD_FRAME);
}

TEST_F(StatusTest, PointCountsAndPointCharacters) {
    std::string text;
    for (const char* count : {" 1", "21", "  ", "-1"}) {
        tables.clear();
        AddTable('1', '2', "KR5       ", count);
        EXPECT_EQ(QueryTablesText(text), ERR_BAD_FRAME) << count;
    }
    tables.clear();
    AddTable('1', '2', "KR5       ", "20");
    AddTable('2', '2', "KR6       ", "12");
    AddTable('4', '1', "VP4       ", "05");
    tables["32"].replace(3 + 12, 12, "   12.5e+01 ");  // point 12 of slot '2' holds a letter
    MeterTablesImage image{};
    ASSERT_EQ(ReadMeterTables(image), ERR_NONE);
    TablesStatus parsed{};
    EXPECT_EQ(ParseTablesStatus(parsed, image), ERR_BAD_FRAME);
    EXPECT_STREQ(parsed.statusWords[0], "Ready ");
    EXPECT_STREQ(parsed.statusWords[1], "Ready ");
    // After the fault the next slots get names, counts and points but no parsed word.
    EXPECT_STREQ(parsed.names[2], "VP4       ");
    EXPECT_EQ(parsed.pointCounts[2], 5);
    EXPECT_STREQ(parsed.statusWords[2], "");
    EXPECT_STREQ(parsed.points[2][0], "   12.500000");
    EXPECT_STREQ(parsed.points[1][11], "   12.5e+01 ");
    EXPECT_STREQ(parsed.points[1][20], "");

    // A letter beyond the point count is not checked.
    tables["32"] = tables["31"];
    tables["32"][2] = '2';
    tables["32"].replace(3 + 12 * 5, 12, "xxxxxxxxxxxx");
    EXPECT_EQ(QueryTablesText(text), ERR_NONE);
}

}  // namespace
