#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/link_fixture.h"

using namespace loamer;

namespace {

std::string Bytes(const unsigned char* p, std::size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

class CommPortTest : public LinkTest {};

TEST_F(CommPortTest, SecondOpenDoesNothing) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    EXPECT_EQ(backend.opens, 1);
    EXPECT_EQ(backend.purges, 1);
    EXPECT_EQ(backend.openedName, "COM1");
}

TEST_F(CommPortTest, UnopenableNameThenSuccessOnceItExists) {
    backend.existingNames = {"/dev/ttyUSB0"};
    SetCommPortName("/dev/ttyUSB7");
    EXPECT_EQ(OpenCommPort(), ERR_PORT_OPEN);
    EXPECT_FALSE(CommPortIsOpen());
    EXPECT_NE(LastCommPortSystemError(), 0);
    backend.existingNames.push_back("/dev/ttyUSB7");
    EXPECT_EQ(OpenCommPort(), ERR_NONE);
    EXPECT_TRUE(CommPortIsOpen());
}

TEST_F(CommPortTest, CloseRestoresExactlyWhatOpenFound) {
    const LineSettings found = backend.deviceSettings;
    const LinkTimeouts foundTimeouts = backend.deviceTimeouts;
    CloseCommPort();  // harmless when not open
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    EXPECT_NE(Bytes(backend.deviceSettings.bytes, backend.deviceSettings.size), Bytes(found.bytes, found.size));
    EXPECT_EQ(backend.deviceTimeouts, (LinkTimeouts{5000, 2, 10000, 2, 5000}));
    CloseCommPort();
    EXPECT_FALSE(CommPortIsOpen());
    EXPECT_EQ(Bytes(backend.deviceSettings.bytes, backend.deviceSettings.size), Bytes(found.bytes, found.size));
    EXPECT_EQ(backend.deviceTimeouts, foundTimeouts);
}

TEST_F(CommPortTest, FailedConfigurationStepRestoresWhatWasChanged) {
    const LineSettings found = backend.deviceSettings;
    const LinkTimeouts foundTimeouts = backend.deviceTimeouts;
    for (FakeStep step : {FakeStep::GetLine, FakeStep::SetMeterLine, FakeStep::GetTimeouts,
                          FakeStep::SetTimeouts, FakeStep::Capabilities, FakeStep::QueueSizes}) {
        backend.failStep = step;
        EXPECT_EQ(OpenCommPort(), ERR_PORT_OPEN) << static_cast<int>(step);
        EXPECT_FALSE(CommPortIsOpen());
        EXPECT_FALSE(backend.IsOpen());
        EXPECT_EQ(Bytes(backend.deviceSettings.bytes, backend.deviceSettings.size), Bytes(found.bytes, found.size))
            << static_cast<int>(step);
        EXPECT_EQ(backend.deviceTimeouts, foundTimeouts) << static_cast<int>(step);
    }
    backend.failStep = FakeStep::None;
    EXPECT_EQ(OpenCommPort(), ERR_NONE);
}

TEST_F(CommPortTest, WriteSendsExactlyTheBytes) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    EXPECT_EQ(WriteCommPort("I\r\n", 3), ERR_NONE);
    EXPECT_EQ(backend.written, "I\r\n");
    backend.failStep = FakeStep::Write;
    backend.failErrno = 110;  // a write that missed its deadline
    EXPECT_EQ(WriteCommPort("I\r\n", 3), ERR_SEND);
    EXPECT_TRUE(CommPortIsOpen());
}

TEST_F(CommPortTest, SilentMeterTimesOutAfterTheIdleLimitWithZeroBytes) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    unsigned char buf[3] = {0x55, 0x55, 0x55};
    ResetElapsed();
    EXPECT_EQ(ReadCommPort(buf, 3), ERR_TIMEOUT);
    EXPECT_EQ(Elapsed(), 5000u);
    EXPECT_EQ(Bytes(buf, 3), std::string(3, '\0'));
    EXPECT_EQ(ui.cursorDepth, 0);
    EXPECT_TRUE(CommPortIsOpen());
    // The loop waits in slices instead of spinning.
    EXPECT_LE(backend.waits, 5000 / 25 + 2);
}

TEST_F(CommPortTest, IdleLimitsGrowWithTheCount) {
    EXPECT_EQ(ReadIdleLimitSeconds(3), 5u);
    EXPECT_EQ(ReadIdleLimitSeconds(499), 5u);
    EXPECT_EQ(ReadIdleLimitSeconds(500), 6u);
    EXPECT_EQ(ReadIdleLimitSeconds(4096), 13u);
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    static unsigned char big[4096];
    for (std::size_t count : {500u, 4096u}) {
        ResetElapsed();
        EXPECT_EQ(ReadCommPort(big, count), ERR_TIMEOUT);
        EXPECT_EQ(Elapsed(), 1000u * ReadIdleLimitSeconds(count));
    }
}

TEST_F(CommPortTest, ReplyInPiecesWithGapsIsReadWhole) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    std::string reply(137, 'x');
    reply[0] = 'G';
    backend.SendLater(reply.substr(0, 50), 100);
    backend.SendLater(reply.substr(50, 40), 100 + 4900);
    backend.SendLater(reply.substr(90), 100 + 4900 + 4999);
    unsigned char buf[137];
    EXPECT_EQ(ReadCommPort(buf, sizeof buf), ERR_NONE);
    EXPECT_EQ(Bytes(buf, sizeof buf), reply);
}

TEST_F(CommPortTest, GapAtTheLimitTimesOutKeepingWhatCame) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    backend.SendLater(std::string(50, 'y'), 10);
    backend.SendLater(std::string(87, 'z'), 10 + 5000);
    unsigned char buf[137];
    ResetElapsed();
    EXPECT_EQ(ReadCommPort(buf, sizeof buf), ERR_TIMEOUT);
    EXPECT_EQ(Elapsed(), 5010u);
    EXPECT_EQ(Bytes(buf, 50), std::string(50, 'y'));
    EXPECT_EQ(Bytes(buf + 50, 87), std::string(87, '\0'));
    // The late bytes stay queued and start the next read.
    unsigned char next[10];
    EXPECT_EQ(ReadCommPort(next, sizeof next), ERR_NONE);
    EXPECT_EQ(Bytes(next, 10), std::string(10, 'z'));
}

TEST_F(CommPortTest, RefusalEndsALongReadAtOnce) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    backend.SendLater("!\r\n", 30);
    unsigned char buf[28];
    std::memset(buf, 0x55, sizeof buf);
    ResetElapsed();
    EXPECT_EQ(ReadCommPort(buf, sizeof buf), ERR_NONE);
    EXPECT_EQ(Elapsed(), 30u);
    EXPECT_EQ(Bytes(buf, 28), std::string("!\r\n") + std::string(25, '\0'));
    // A refusal followed by more bytes is not a refusal.
    backend.SendLater("!\r\nN", 0);
    EXPECT_EQ(ReadCommPort(buf, sizeof buf), ERR_TIMEOUT);
}

TEST_F(CommPortTest, EscapeAbortsKeepingTheBytesSoFar) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    backend.SendLater("N12", 0);
    ui.abortWhen = [](int pump) { return pump == 3; };
    unsigned char buf[28];
    EXPECT_EQ(ReadCommPort(buf, sizeof buf), ERR_ABORTED);
    EXPECT_EQ(Bytes(buf, 3), "N12");
    EXPECT_EQ(ui.pumps, 3);
    EXPECT_EQ(ui.cursorDepth, 0);
    // The port stays usable.
    ui.abortWhen = nullptr;
    backend.SendLater("A\r\n", 0);
    unsigned char ack[3];
    EXPECT_EQ(ReadCommPort(ack, 3), ERR_NONE);
}

TEST_F(CommPortTest, HangUpEndsTheReadAndTheNextCommandReopens) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    backend.SendLater("N1", 0);
    backend.HangUpLater(200);
    unsigned char buf[28];
    ResetElapsed();
    EXPECT_EQ(ReadCommPort(buf, sizeof buf), ERR_RECEIVE);
    EXPECT_EQ(Elapsed(), 200u);
    EXPECT_FALSE(CommPortIsOpen());
    EXPECT_FALSE(backend.IsOpen());
    EXPECT_EQ(ui.cursorDepth, 0);
    EXPECT_EQ(ReadCommPort(buf, sizeof buf), ERR_RECEIVE);  // not open: no wait at all
    EXPECT_EQ(OpenCommPort(), ERR_NONE);
    EXPECT_EQ(backend.opens, 2);
}

TEST_F(CommPortTest, WriteToAVanishedDeviceDropsThePort) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    backend.HangUpLater(0);
    std::size_t n = 0;
    (void)backend.BytesWaiting(n);  // the adapter is pulled between two commands
    EXPECT_EQ(WriteCommPort("?\r\n", 3), ERR_SEND);
    EXPECT_FALSE(CommPortIsOpen());
    EXPECT_EQ(OpenCommPort(), ERR_NONE);
}

TEST_F(CommPortTest, ZeroCountReadSucceedsAtOnce) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    unsigned char buf[1] = {0x55};
    ResetElapsed();
    EXPECT_EQ(ReadCommPort(buf, 0), ERR_NONE);
    EXPECT_EQ(Elapsed(), 0u);
    EXPECT_EQ(buf[0], 0x55);
}

}  // namespace
