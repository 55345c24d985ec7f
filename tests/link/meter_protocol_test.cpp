#include <gtest/gtest.h>

#include <string>

#include "loamer/link/meter_protocol.h"
#include "tests/support/link_fixture.h"

using namespace loamer;

namespace {

class ProtocolTest : public LinkTest {
protected:
    void Script(const std::string& transcript) { backend.LoadTranscript(transcript); }
    std::size_t Handshakes() const {
        std::size_t n = 0;
        for (std::size_t at = backend.written.find("?\r\n"); at != std::string::npos;
             at = backend.written.find("?\r\n", at + 1))
            ++n;
        return n;
    }
};

TEST_F(ProtocolTest, AwakeMeterNeedsOneHandshake) {
    Script("> ?\\r\\n\n~40\n< A\\r\\n\n");
    EXPECT_EQ(ConnectMeter(), ERR_NONE);
    EXPECT_EQ(backend.TranscriptProblem(), "");
    EXPECT_EQ(Elapsed(), 40u);
    EXPECT_EQ(clock.slept(), 0u);
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(ProtocolTest, SilentFirstTryThenAnswer) {
    Script("> ?\\r\\n\n> ?\\r\\n\n< A\\r\\n\n");
    EXPECT_EQ(ConnectMeter(), ERR_NONE);
    EXPECT_EQ(backend.TranscriptProblem(), "");
    EXPECT_EQ(Elapsed(), 7000u);
}

TEST_F(ProtocolTest, BusyThreeTimesIsBusyWithoutABox) {
    Script("> ?\\r\\n\n< K\\r\\n\n> ?\\r\\n\n< K\\r\\n\n> ?\\r\\n\n< K\\r\\n\n");
    EXPECT_EQ(ConnectMeter(), ERR_METER_BUSY);
    EXPECT_EQ(backend.TranscriptProblem(), "");
    EXPECT_EQ(clock.slept(), 4000u);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(ProtocolTest, ThirdTryNamesTheFault) {
    struct Case {
        const char* answer;
        ErrorCode code;
    } cases[] = {{"Axy", ERR_BAD_FRAME}, {"!\\r\\n", ERR_METER_REFUSED}, {"Q\\r\\n", ERR_BAD_REPLY},
                 {"K\\r\\n", ERR_METER_BUSY}};
    for (const Case& c : cases) {
        backend.written.clear();
        backend.onWrite = [&](const std::string&) { backend.SendLater(Unescape(c.answer), 5); };
        EXPECT_EQ(ConnectMeter(), c.code) << c.answer;
        EXPECT_EQ(Handshakes(), 3u) << c.answer;
    }
    // Retries accept only "A\r\n": busy, then refused, then awake.
    backend.written.clear();
    int n = 0;
    backend.onWrite = [&](const std::string&) { backend.SendLater(++n == 1 ? "K\r\n" : n == 2 ? "!\r\n" : "A\r\n"); };
    EXPECT_EQ(ConnectMeter(), ERR_NONE);
    EXPECT_EQ(Handshakes(), 3u);
}

TEST_F(ProtocolTest, SilentMeterTimesOutWithoutAThirdHandshake) {
    EXPECT_EQ(ConnectMeter(), ERR_TIMEOUT);
    EXPECT_EQ(backend.written, "?\r\n?\r\n");
    EXPECT_EQ(Elapsed(), 12000u);
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(ProtocolTest, TimeoutOfTheSecondTryIsFinal) {
    int n = 0;
    backend.onWrite = [&](const std::string&) {
        if (++n == 1) backend.SendLater("K\r\n", 5);
    };
    EXPECT_EQ(ConnectMeter(), ERR_TIMEOUT);
    EXPECT_EQ(Handshakes(), 2u);
}

TEST_F(ProtocolTest, EscapeDuringTheFirstReadEndsAtOnce) {
    ui.abortWhen = [](int pump) { return pump == 2; };
    EXPECT_EQ(ConnectMeter(), ERR_ABORTED);
    EXPECT_EQ(backend.written, "?\r\n");
    EXPECT_LT(Elapsed(), 100u);
}

TEST_F(ProtocolTest, EscapeDuringThePauseEndsAtOnce) {
    backend.onWrite = [&](const std::string&) { backend.SendLater("K\r\n"); };
    ui.abortWhen = [&](int) { return clock.slept() >= 500; };
    EXPECT_EQ(ConnectMeter(), ERR_ABORTED);
    EXPECT_EQ(Handshakes(), 1u);
    EXPECT_EQ(clock.slept(), 500u);
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(ProtocolTest, PortThatCannotOpen) {
    backend.failStep = FakeStep::Open;
    EXPECT_EQ(ConnectMeter(), ERR_PORT_OPEN);
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(ProtocolTest, AcknowledgementBoxes) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    backend.SendLater("A\r\n");
    EXPECT_EQ(ReadMeterAck(), ERR_NONE);
    EXPECT_TRUE(ui.boxes.empty());

    backend.SendLater("K\r\n");
    const ErrorCode busy = ReadMeterAck();
    EXPECT_EQ(busy, ERR_METER_BUSY);
    ShowErrorReport(busy);  // as the command handler does next
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text, "Sorry : Your TQ4 meter reports it is busy.\n\nTry again later.");
    EXPECT_EQ(ui.boxes[0].style, BoxStyle::Plain);
    EXPECT_EQ(ui.boxes[1].text, "Communications Error\n\n Code: 8\n\nThe TQ4 appears to be busy.");
    EXPECT_EQ(ui.boxes[1].style, BoxStyle::Exclamation);

    ui.boxes.clear();
    backend.SendLater("!\r\n");
    EXPECT_EQ(ReadMeterAck(), ERR_METER_REFUSED);
    backend.SendLater("Z\r\n");
    EXPECT_EQ(ReadMeterAck(), ERR_BAD_REPLY);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text,
              "Sorry - a problem occurred:\n\nYour TQ4 meter received an invalid signal from this "
              "computer.\nCheck your serial port and cable connection");
    EXPECT_EQ(ui.boxes[1].text,
              "Sorry - the following problem occurred:-\n\nInvalid reply received from your TQ4 "
              "meter.\n\nTry checking the following:\n\tIs the serial port cable properly "
              "connected?\n\tHave you selected the right serial port - COM1 or COM2 port, under "
              "Setting,\n\tDoes the TQ4 meter appear to be working via its keypad?\n\tDoes the TQ4 "
              "report low battery life via its keypad?\n\nIf the problem persists contact Norvane");

    ui.boxes.clear();
    backend.SendLater("A\n\r");
    EXPECT_EQ(ReadMeterAck(), ERR_BAD_FRAME);
    EXPECT_EQ(ReadMeterAck(), ERR_TIMEOUT);
    EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
