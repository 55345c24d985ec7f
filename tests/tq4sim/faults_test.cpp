// Faults injected on the line, and pacing at a real line speed.
#include "tests/tq4sim/emulator_fixture.h"

namespace tq4sim::testing {
namespace {

using FaultsTest = EmulatorTest;

constexpr const char* kStatus = "NV2.13  872800002000000000\r\n";

TEST_F(FaultsTest, HandshakesPassThroughSilenceBusyRefusalAndBrokenFrames) {
    EmulatorOptions options;
    options.faults.silentHandshakes = 2;
    options.faults.busyHandshakes = 1;
    options.faults.refusedHandshakes = 1;
    options.faults.brokenHandshakes = 1;
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    EXPECT_EQ(line_.Ask("?\r\n", 3, 200), "");
    EXPECT_EQ(line_.Ask("?\r\n", 3, 200), "");
    EXPECT_EQ(line_.Ask("?\r\n", 3), "K\r\n");
    EXPECT_EQ(line_.Ask("?\r\n", 3), "!\r\n");
    EXPECT_EQ(line_.Ask("?\r\n", 3), "A\n\r");
    EXPECT_EQ(line_.Ask("?\r\n", 3), "A\r\n");
    // Other commands are not affected.
    EXPECT_EQ(line_.Ask("I\r\n", 28), kStatus);
}

TEST_F(FaultsTest, BusyWithoutACountStaysBusy) {
    EmulatorOptions options;
    options.faults.busyHandshakes = kEveryTime;
    options.faults.refusedHandshakes = 1;
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(line_.Ask("?\r\n", 3), "K\r\n");
}

TEST_F(FaultsTest, SilentCommandIsNeitherAnsweredNorCarriedOut) {
    EmulatorOptions options;
    options.faults.silentCommands = "H";
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    std::string before = line_.Ask("F\r\n", 18);
    EXPECT_EQ(line_.Ask("H219990101000000\r\n", 3, 200), "");
    EXPECT_EQ(line_.Ask("F\r\n", 18).substr(0, 2), before.substr(0, 2));
    EXPECT_EQ(meter_.Snapshot().clock.order(), '1');
    EXPECT_EQ(meter_.RequestsHandled(), 3u);
}

TEST_F(FaultsTest, GarbageKeepsTheReplyLengthButNotItsFrame) {
    EmulatorOptions options;
    options.faults.garbageCommands = "I?";
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    for (auto [request, size] : {std::pair{"I\r\n", 28u}, std::pair{"?\r\n", 3u}}) {
        std::string reply = line_.Ask(request, size);
        ASSERT_EQ(reply.size(), size) << request;
        EXPECT_NE(reply[0], request[0] == 'I' ? 'N' : 'A');
        EXPECT_NE(reply.substr(size - 2), "\r\n");
        EXPECT_EQ(line_.Read(1, 100), "");
    }
    EXPECT_EQ(line_.Ask("F\r\n", 18).substr(16), "\r\n");
}

TEST_F(FaultsTest, SplitReplyComesInPiecesWithGaps) {
    EmulatorOptions options;
    options.faults.split['I'] = SplitFault{10, 80};
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    auto start = Now();
    ASSERT_TRUE(line_.Write("I\r\n"));
    std::string first = line_.Read(28, 40);
    EXPECT_EQ(first, std::string(kStatus).substr(0, 10));
    std::string all = first + line_.Read(28 - first.size());
    EXPECT_EQ(all, kStatus);
    EXPECT_GE(MsSince(start), 150);  // two gaps between three pieces
}

TEST_F(FaultsTest, DelayedReplyComesLateButWhole) {
    EmulatorOptions options;
    options.faults.delayMs['F'] = 250;
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    auto start = Now();
    ASSERT_TRUE(line_.Write("F\r\n"));
    EXPECT_EQ(line_.Read(18, 200), "");
    EXPECT_EQ(line_.Read(18).size(), 18u);
    EXPECT_GE(MsSince(start), 245);
    EXPECT_EQ(line_.Ask("?\r\n", 3, 200), "A\r\n");  // only F is late
}

TEST_F(FaultsTest, HangUpAfterTheNthRequest) {
    EmulatorOptions options;
    options.faults.hangupAfter = 2;
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    EXPECT_EQ(line_.Ask("?\r\n", 3), "A\r\n");
    EXPECT_FALSE(line_.HungUp(50));
    EXPECT_EQ(line_.Ask("I\r\n", 28), kStatus);  // the second request is still answered
    EXPECT_TRUE(line_.HungUp());
    meter_.Wait();
    EXPECT_TRUE(meter_.HungUp());
    EXPECT_FALSE(meter_.Serving());
    EXPECT_EQ(Lines(Path("transcript.txt")).back(), "# hung up after 2 requests");
}

TEST_F(FaultsTest, PacedReplyTakesItsWireTimeAndTheRequests) {
    EmulatorOptions options;
    options.paceBaud = 9600;
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    // 3 request bytes and 28 reply bytes at 10 bits a byte: about 32 ms.
    auto start = Now();
    EXPECT_EQ(line_.Ask("I\r\n", 28), kStatus);
    EXPECT_GE(MsSince(start), 25);

    // Two requests in one write: the second reply waits for the first and for its own
    // request, about 3 + 3 + 3 + 28 bytes.
    start = Now();
    EXPECT_EQ(line_.Ask("?\r\nI\r\n", 31), std::string("A\r\n") + kStatus);
    EXPECT_GE(MsSince(start), 33);

    // A handshake alone: its request counts too (6 bytes, not 3).
    start = Now();
    auto elapsedUs = [&] {
        return std::chrono::duration_cast<std::chrono::microseconds>(Now() - start).count();
    };
    EXPECT_EQ(line_.Ask("?\r\n", 3), "A\r\n");
    EXPECT_GE(elapsedUs(), 5500);
}

}  // namespace
}  // namespace tq4sim::testing
