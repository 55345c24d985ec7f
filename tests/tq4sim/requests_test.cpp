// The meter's answers on the line, byte for byte, as the program receives them.
#include <sys/stat.h>

#include <thread>

#include "tests/tq4sim/emulator_fixture.h"
#include "tools/tq4sim/command_table.h"

namespace tq4sim::testing {
namespace {

using RequestsTest = EmulatorTest;

constexpr const char* kKr5Points =
    "0100,005.2000250,010.8000400,016.5000550,022.4000700,028.900"
    "0850,035.6001000,042.3001150,049.1000000,000.0000000,000.000";

TEST_F(RequestsTest, StatusAndHandshakeRepliesHaveTheirLayouts) {
    ASSERT_NO_FATAL_FAILURE(StartMeter());
    EXPECT_EQ(line_.Ask("?\r\n", 3), "A\r\n");
    std::string status = line_.Ask("I\r\n", 28);
    EXPECT_EQ(status, "NV2.13  872800002000000000\r\n");
    EXPECT_EQ(status.size(), 28u);
    // Nothing more than the reply: the next read starts with the next reply.
    EXPECT_EQ(line_.Read(1, 100), "");
}

TEST_F(RequestsTest, TableSlotsAnswerThreePartsOrThreeRefusals) {
    ASSERT_NO_FATAL_FAILURE(StartMeter());
    EXPECT_EQ(line_.Ask("T11\r\n", 18), std::string("B112KR5 Loam\0\0" "08\r\n", 18));
    EXPECT_EQ(line_.Ask("T21\r\n", 125), std::string("B21") + kKr5Points + "\r\n");
    std::string emptyPoints;
    for (int i = 0; i < 10; ++i) emptyPoints += "0000,000.000";
    EXPECT_EQ(line_.Ask("T31\r\n", 125), "B31" + emptyPoints + "\r\n");
    // Slot 4 holds 12 points: the last two are in part 3.
    EXPECT_EQ(line_.Ask("T34\r\n", 125).substr(0, 27), "B341050,045.5001150,050.600");

    int refusals = 0;
    for (char slot : kSlotIds) {
        if (slot == '1' || slot == '4') continue;
        for (char part : {'1', '2', '3'}) {
            std::string request = std::string("T") + part + slot + "\r\n";
            std::string reply = line_.Ask(request, 3);
            EXPECT_EQ(reply, "!\r\n") << request;
            refusals += reply == "!\r\n";
        }
    }
    EXPECT_EQ(refusals, 24);
    EXPECT_EQ(line_.Read(1, 100), "");  // refusals only, nothing after them
    EXPECT_EQ(line_.Ask("T41\r\n", 3), "!\r\n");  // no part 4
}

TEST_F(RequestsTest, ClockSetIsTheClockReadBackAndRunsOn) {
    ASSERT_NO_FATAL_FAILURE(StartMeter());
    std::string clock = line_.Ask("F\r\n", 18);
    ASSERT_EQ(clock.size(), 18u);
    EXPECT_EQ(clock.substr(0, 2), "H1");
    EXPECT_EQ(clock.find_first_not_of("0123456789", 2), 16u);
    EXPECT_EQ(clock.substr(16), "\r\n");

    EXPECT_EQ(line_.Ask("H220231231235959\r\n", 3), "A\r\n");
    EXPECT_EQ(line_.Ask("F\r\n", 18), "H220231231235959\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    std::string later = line_.Ask("F\r\n", 18);
    EXPECT_TRUE(later == "H220240101000000\r\n" || later == "H220240101000001\r\n") << later;
    EXPECT_EQ(meter_.Snapshot().clock.order(), '2');

    // Malformed digits, impossible dates and unknown orders are refused and change nothing.
    for (const char* bad : {"H1202401O1000000\r\n", "H120241301000000\r\n", "H120230229120000\r\n",
                            "H320240101000000\r\n", "H12024010100000 \r\n"}) {
        EXPECT_EQ(line_.Ask(bad, 3), "!\r\n") << bad;
    }
    EXPECT_EQ(line_.Ask("F\r\n", 18).substr(0, 10), "H220240101");
}

TEST_F(RequestsTest, RequestsAreFramedByTheirFixedLengths) {
    ASSERT_NO_FATAL_FAILURE(StartMeter());
    // Back to back in one write, answered in order.
    EXPECT_EQ(line_.Ask("?\r\nT12\r\nI\r\n", 3 + 3 + 28), "A\r\n!\r\nNV2.13  872800002000000000\r\n");
    // One byte at a time.
    for (char c : std::string("T11\r")) ASSERT_TRUE(line_.Write(std::string(1, c)));
    EXPECT_EQ(line_.Read(1, 100), "");
    EXPECT_EQ(line_.Ask("\n", 18).substr(0, 3), "B11");
    // A known letter whose fixed length does not end in "\r\n", an unknown letter.
    EXPECT_EQ(line_.Ask("IX\r", 3), "!\r\n");
    EXPECT_EQ(line_.Ask("Q12\r\n", 3), "!\r\n");
    EXPECT_EQ(line_.Ask("?\r\n", 3), "A\r\n");
}

TEST_F(RequestsTest, IncompleteRequestIsDroppedWhenTheLineFallsQuiet) {
    EmulatorOptions options;
    options.partialDropMs = 100;
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    ASSERT_TRUE(line_.Write("T1"));  // a request two bytes short
    EXPECT_EQ(line_.Read(1, 300), "");
    EXPECT_EQ(line_.Ask("I\r\n", 28).substr(0, 1), "N");
    EXPECT_EQ(Lines(Path("transcript.txt")),
              (std::vector<std::string>{"# dropped an incomplete request after 100 ms: T1", "I\\r\\n"}));
}

TEST_F(RequestsTest, TranscriptHoldsEveryRequestReadably) {
    EmulatorOptions options;
    options.transcriptFile = Path("transcript.txt");
    options.faults.silentCommands = "F";
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    EXPECT_EQ(line_.Ask("?\r\n", 3), "A\r\n");
    EXPECT_EQ(line_.Ask("F\r\n", 18, 200), "");  // logged even when not answered
    EXPECT_EQ(line_.Ask(std::string("#\t\\\xB0\0\r\n", 7), 3), "!\r\n");
    EXPECT_EQ(line_.Ask("H120240305140709\r\n", 3), "A\r\n");
    // Each line is written as its request arrives: no need to stop the meter first.
    EXPECT_EQ(Lines(Path("transcript.txt")),
              (std::vector<std::string>{"?\\r\\n", "F\\r\\n", "\\x23\\t\\\\\\xB0\\x00\\r\\n",
                                        "H120240305140709\\r\\n"}));
}

TEST_F(RequestsTest, LinkPointsAtTheSlaveAndGoesAwayOnStop) {
    std::string link = Path("tq4");
    ASSERT_EQ(symlink("/dev/null-stale", link.c_str()), 0);  // left by an earlier run
    EmulatorOptions options;
    options.linkPath = link;
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    EXPECT_EQ(std::filesystem::read_symlink(link), slave_);
    PtyLine viaLink(link);
    EXPECT_EQ(viaLink.Ask("?\r\n", 3), "A\r\n");
    meter_.Stop();
    EXPECT_FALSE(std::filesystem::is_symlink(link));

    // A real file of that name is never replaced.
    std::ofstream(Path("file")) << "keep";
    MeterEmulator other;
    options.linkPath = Path("file");
    std::string slave, error;
    EXPECT_FALSE(other.Start(options, &slave, &error));
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos);
    EXPECT_EQ(Lines(Path("file")), std::vector<std::string>{"keep"});
}

TEST_F(RequestsTest, ServesOnAMasterHandedOver) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    EmulatorOptions options;
    options.masterFd = master;
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    EXPECT_EQ(slave_, ptsname(master));
    EXPECT_EQ(line_.Ask("?\r\n", 3), "A\r\n");
}

TEST_F(RequestsTest, StartFailsCleanlyOnAnUnreadableMemoryFile) {
    EmulatorOptions options;
    options.memoryFile = Path("missing.json");
    std::string slave, error;
    EXPECT_FALSE(meter_.Start(options, &slave, &error));
    EXPECT_NE(error.find("missing.json"), std::string::npos);
    EXPECT_FALSE(meter_.Serving());
}

}  // namespace
}  // namespace tq4sim::testing
