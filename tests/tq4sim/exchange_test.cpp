// The X exchange on the line: the reply worked out from the request, its faults, and the
// messages the meter cannot take.
#include <cstdio>

#include "tests/tq4sim/emulator_fixture.h"

namespace tq4sim::testing {
namespace {

using ExchangeTest = EmulatorTest;

constexpr const char* kNo = "!\r\n";

// 'X', the text padded with zero bytes to 133, a zero byte, the fields as given, "\r\n".
std::string XMessage(std::string first, char code, std::string second, std::string text = "probe 7") {
    text.resize(133, '\0');
    return "X" + text + std::string(1, '\0') + first + code + second + "\r\n";
}

const std::string kSixAndTwo = "x+0008.00+0004.00+0012.00+0001.00\r\n";

TEST_F(ExchangeTest, ReplyIsWorkedOutFromTheParametersAndTheCode) {
    EmulatorOptions options;
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    struct Case {
        std::string first;
        char code;
        std::string second;
        std::string reply;
    };
    for (const Case& c : std::vector<Case>{
             {"00006.000000", '\x01', "00002.000000", kSixAndTwo},
             {"-0012.500000", '\xFF', "00003.200000", "x-0009.30-0015.70-0040.00+0255.00\r\n"},
             // Results too long for two decimals; a tiny product.
             {"99999.999999", 'A', "00000.000001", "x+1.0e+05+1.0e+05+0000.10+0065.00\r\n"},
             // Results that round to zero, negative ones included, are +0000.00.
             {"-0000.000000", '\0', "00000.004000", "x+0000.00+0000.00+0000.00+0000.00\r\n"},
         }) {
        const std::string message = XMessage(c.first, c.code, c.second);
        ASSERT_EQ(message.size(), 162u);
        EXPECT_EQ(line_.Ask(message, 35), c.reply) << c.first << " " << c.second;
        // As the program scans them: each field read on through the reply stops at its end.
        for (std::size_t i = 0; i < 4; ++i) {
            double value = 0.0;
            int used = 0;
            EXPECT_EQ(std::sscanf(c.reply.c_str() + 1 + 8 * i, "%lf%n", &value, &used), 1);
            EXPECT_EQ(used, 8) << "result " << i + 1 << " of " << c.reply;
        }
    }
    // The text travels whole, line ends in it included: the message is framed by its length.
    EXPECT_EQ(line_.Ask(XMessage("00006.000000", '\n', "00002.000000", "Data\r\nrecord #1"), 35),
              "x+0008.00+0004.00+0012.00+0010.00\r\n");
    std::vector<std::string> lines = Lines(Path("transcript.txt"));
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[1], "# X exchange, code byte 1 (\\x01): first parameter 00006.000000, second 00002.000000");
    EXPECT_EQ(lines[2], "# X text \"probe 7\" and 126 zero bytes");
    EXPECT_EQ(lines[3], "# X results: a + b = +0008.00, a - b = +0004.00, a * b = +0012.00, c = +0001.00");
    EXPECT_EQ(lines[18], "# X text \"Data\\r\\nrecord #1\" and 118 zero bytes");
}

TEST_F(ExchangeTest, FaultsOfTheReply) {
    const std::string message = XMessage("00006.000000", '\x01', "00002.000000");
    struct Case {
        unsigned busy = 0, refused = 0, broken = 0;
        ExchangeBreak how = ExchangeBreak::Letter;
        const char* silent = "";
        std::vector<std::string> replies;  // to the same message, in turn
    };
    for (const Case& c : std::vector<Case>{
             {.busy = 1, .refused = 1, .broken = 1, .replies = {"K\r\n", kNo, "X" + kSixAndTwo.substr(1), kSixAndTwo}},
             {.broken = kEveryTime, .how = ExchangeBreak::Number,
              .replies = {"x+0008.00+0004.00********+0001.00\r\n", "x+0008.00+0004.00********+0001.00\r\n"}},
             {.broken = 1, .how = ExchangeBreak::LineEnd, .replies = {kSixAndTwo.substr(0, 33) + "\n\r", kSixAndTwo}},
             {.silent = "X", .replies = {"", ""}},
         }) {
        SCOPED_TRACE(EscapeBytes(c.replies[0]) + c.silent);
        MeterEmulator meter;
        EmulatorOptions options;
        options.memoryFile = kExampleMeter;
        options.faults.busyExchanges = c.busy;
        options.faults.refusedExchanges = c.refused;
        options.faults.brokenExchanges = c.broken;
        options.faults.exchangeBreak = c.how;
        options.faults.silentCommands = c.silent;
        std::string slave, error;
        ASSERT_TRUE(meter.Start(options, &slave, &error)) << error;
        PtyLine line(slave);
        for (const std::string& reply : c.replies) {
            EXPECT_EQ(line.Ask(message, reply.empty() ? 35 : reply.size(), 500), reply);
        }
        EXPECT_EQ(line.Ask("?\r\n", 3), "A\r\n");  // the line stays in step
    }
}

TEST_F(ExchangeTest, MessagesTheMeterCannotTakeAreRefused) {
    EmulatorOptions options;
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    std::string nonZero = XMessage("00006.000000", '\x01', "00002.000000");
    nonZero[134] = 'A';
    for (auto [message, note] : std::vector<std::pair<std::string, std::string>>{
             {nonZero, "# X refused: byte 134 is \"A\", not a zero byte"},
             {XMessage("+0006.000000", '\x01', "00002.000000"),
              "# X refused: first parameter \"+0006.000000\" is not a number of the form 00006.000000"},
             {XMessage("00006.000000", '\x01', "0002.0000000"),
              "# X refused: second parameter \"0002.0000000\" is not a number of the form 00006.000000"},
         }) {
        EXPECT_EQ(line_.Ask(message, 3), kNo) << note;
        EXPECT_EQ(Lines(Path("transcript.txt")).back(), note);
    }
    // A message a byte short takes the first byte of the next request as its last: both are
    // refused, and the line is in step again after the next line end.
    std::string shortMessage = XMessage("00006.000000", '\x01', "0002.000000");
    ASSERT_EQ(shortMessage.size(), 161u);
    EXPECT_EQ(line_.Ask(shortMessage + "?\r\n", 6), "!\r\n!\r\n");
    EXPECT_EQ(line_.Ask("?\r\n", 3), "A\r\n");
}

}  // namespace
}  // namespace tq4sim::testing
