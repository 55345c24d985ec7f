// Requests from other programs against a scripted meter: what goes on the wire, what is answered,
// what is refused before the meter is contacted, and the hidden test command's records.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "loamer/link/command_scope.h"
#include "loamer/upload/copy_data.h"
#include "tests/support/child_process.h"
#include "tests/support/link_fixture.h"

using namespace loamer;

namespace {

struct Answer {
    std::uint32_t type;
    std::string block;
};

class RecordingSender final : public CopyDataSender {
public:
    std::int32_t SendCopyData(std::uint32_t type, const void* block, std::size_t size) override {
        answers.push_back({type, std::string(static_cast<const char*>(block), size)});
        return give;
    }
    std::vector<Answer> answers;
    std::int32_t give = 1;
};

const std::string kGoodReply = "x0001.500-0002.25+3.00000 4.00000\r\n";

class CopyDataTest : public LinkTest {
protected:
    CopyDataTest() {
        ResetCopyDataState();
        backend.onWrite = [this](const std::string& req) {
            if (req == "?\r\n") {
                backend.SendLater("A\r\n", 2);
            } else {
                sent.push_back(req);
                backend.SendLater(req[0] == 'W' ? "A\r\n" : reply, 5);
            }
        };
    }

    static XRequestBlock XRequest(double first, double second, std::uint32_t code) {
        XRequestBlock block{};
        for (std::size_t i = 0; i < sizeof block.text; ++i) block.text[i] = static_cast<char>('!' + i % 90);
        block.param1 = first;
        block.param2 = second;
        block.code = code;
        return block;
    }

    std::int32_t Handle(std::uint32_t type, const void* block, std::size_t size) {
        return HandleCopyData(&sender, CopyDataMessage{type, size, block});
    }

    std::string reply = kGoodReply;
    std::vector<std::string> sent;
    RecordingSender sender;
};

XResultBlock ResultOf(const Answer& answer) {
    XResultBlock result{};
    EXPECT_EQ(answer.type, CD_X_RESULT);
    EXPECT_EQ(answer.block.size(), sizeof result);
    std::memcpy(&result, answer.block.data(), std::min(sizeof result, answer.block.size()));
    return result;
}

TEST_F(CopyDataTest, XRequestSendsItsMessageAndAnswersTheFourResults) {
    const XRequestBlock block = XRequest(6.0, 2.0, 0x0301);  // only the low byte is the code
    sender.give = 5;
    EXPECT_EQ(Handle(CD_X_REQUEST, &block, sizeof block), 5);  // what the answer's send returned

    ASSERT_EQ(sent.size(), 1u);
    const std::string& x = sent[0];
    ASSERT_EQ(x.size(), 162u);
    EXPECT_EQ(x[0], 'X');
    EXPECT_EQ(x.substr(1, 133), std::string(block.text, 133));
    EXPECT_EQ(x[134], '\0');
    EXPECT_EQ(x.substr(135, 12), "00006.000000");
    EXPECT_EQ(x[147], '\x01');
    EXPECT_EQ(x.substr(148, 12), "00002.000000");
    EXPECT_EQ(x.substr(160), "\r\n");

    ASSERT_EQ(sender.answers.size(), 1u);
    const XResultBlock result = ResultOf(sender.answers[0]);
    EXPECT_EQ(result.result, ERR_NONE);
    EXPECT_EQ(result.reserved, 0u);
    EXPECT_EQ(result.results[0], 1.5);
    EXPECT_EQ(result.results[1], -2.25);
    EXPECT_EQ(result.results[2], 3.0);
    EXPECT_EQ(result.results[3], 4.0);
    EXPECT_EQ(ui.cursorDepth, 0);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(XReply, ScansEachFieldOnThroughTheReply) {
    constexpr double kUntouched = -99.0;
    struct Case {
        const char* name;
        std::string reply;
        ErrorCode code;
        std::vector<double> results;  // kUntouched where nothing was scanned
    };
    const std::string zeros(32, '\0');
    const std::vector<Case> cases = {
        {"signs and a blank end the fields", kGoodReply, ERR_NONE, {1.5, -2.25, 3.0, 4.0}},
        {"a digit runs into the next field", "x0001.2300002.340+3.00000+4.00000\r\n", ERR_NONE, {1.2300002, 2.34, 3.0, 4.0}},
        {"wrong first byte", "y0001.500-0002.25+3.00000 4.00000\r\n", ERR_BAD_FRAME, {kUntouched, kUntouched, kUntouched, kUntouched}},
        {"refusal", "!\r\n" + zeros, ERR_BAD_FRAME, {kUntouched, kUntouched, kUntouched, kUntouched}},
        {"third field unreadable", "x0001.500-0002.25abcdefgh 4.00000\r\n", ERR_BAD_FRAME, {1.5, -2.25, kUntouched, kUntouched}},
        {"line end swapped", "x0001.500-0002.25+3.00000 4.00000\n\r", ERR_BAD_FRAME, {1.5, -2.25, 3.0, 4.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.reply.size(), 35u);
        unsigned char reply[35];
        std::memcpy(reply, c.reply.data(), sizeof reply);
        double results[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
        EXPECT_EQ(ScanXReply(reply, results), c.code);
        for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(results[i], c.results[static_cast<std::size_t>(i)]) << i;
    }
}

TEST_F(CopyDataTest, XRequestRefusalsGiveSeven) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        double first;
        double second;
        std::string reply;
        ErrorCode code;
        bool metered;
    };
    const std::vector<Case> cases = {
        {"meter refuses", 6.0, 2.0, "!\r\n", ERR_BAD_FRAME, true},
        {"widest that fits", 99999.999999, -9999.999999, kGoodReply, ERR_NONE, true},
        {"rounds to 100000", 99999.9999996, 2.0, kGoodReply, ERR_BAD_FRAME, false},
        {"second at -10000", 6.0, -10000.0, kGoodReply, ERR_BAD_FRAME, false},
        {"infinity", kInf, 2.0, kGoodReply, ERR_BAD_FRAME, false},
        {"NaN", 6.0, std::nan(""), kGoodReply, ERR_BAD_FRAME, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sent.clear();
        sender.answers.clear();
        backend.written.clear();
        reply = c.reply;
        const XRequestBlock block = XRequest(c.first, c.second, 1);
        Handle(CD_X_REQUEST, &block, sizeof block);
        EXPECT_EQ(!backend.written.empty(), c.metered);
        ASSERT_EQ(sender.answers.size(), 1u);
        EXPECT_EQ(ResultOf(sender.answers[0]).result, c.code);
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(CopyDataTest, CalibrationRequestSendsItsProbeLetterAndAnswersTheCode) {
    loamer_cd_cal_block block{};
    block.probe_kind = 1;
    std::memcpy(block.name, "FLX SENSOR 7", 12);
    for (int i = 0; i < 17; ++i) block.values[i] = 1.5;
    EXPECT_EQ(Handle(CD_CAL_INSTALL, &block, sizeof block), 1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].substr(0, 14), "W3FLX SENSOR 7");
    EXPECT_EQ(sent[0].substr(14, 12), "+15000000+00");
    ASSERT_EQ(sender.answers.size(), 1u);
    EXPECT_EQ(sender.answers[0].type, CD_CAL_RESULT);
    EXPECT_EQ(sender.answers[0].block, std::string(4, '\0'));

    // A value the number form cannot hold is refused before the meter is woken.
    block.values[16] = 1e100;
    backend.written.clear();
    sender.answers.clear();
    Handle(CD_CAL_INSTALL, &block, sizeof block);
    EXPECT_TRUE(backend.written.empty());
    ASSERT_EQ(sender.answers.size(), 1u);
    EXPECT_EQ(sender.answers[0].block, std::string("\x07\0\0\0", 4));
}

TEST_F(CopyDataTest, MessagesThatDoNotReachTheMeter) {
    struct Case {
        std::uint32_t type;
        std::size_t size;
        std::int32_t result;
    };
    const std::vector<Case> cases = {
        {0, 160, 1},      {5, 160, 1},      {0xFFFFFFFFu, 0, 1}, {6, 65536, 1},
        {1, 3, 0},        {2, 151, 0},      {3, 155, 0},         {4, 39, 0},
        {3, 65537, 0},    {0, 65537, 0},
    };
    const std::vector<unsigned char> block(65537, 0x11);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << ", " << c.size << " bytes");
        EXPECT_EQ(Handle(c.type, block.data(), c.size), c.result);
    }
    EXPECT_TRUE(backend.written.empty());
    EXPECT_TRUE(sender.answers.empty());
    EXPECT_EQ(CopyDataAnswersKept(), 0u);
    EXPECT_EQ(LastCalResult(), 0u);
}

TEST_F(CopyDataTest, AnswersAreKeptAndRequestsWithoutASenderGetNone) {
    const std::uint32_t calCode = 9;
    EXPECT_EQ(Handle(CD_CAL_RESULT, &calCode, sizeof calCode), 1);
    XResultBlock x{};
    x.result = 0;
    x.results[3] = 42.5;
    EXPECT_EQ(Handle(CD_X_RESULT, &x, sizeof x), 1);
    EXPECT_EQ(LastCalResult(), 9u);
    EXPECT_EQ(LastXResult().results[3], 42.5);
    EXPECT_EQ(CopyDataAnswersKept(), 2u);

    // The request is carried out, but there is nobody to answer: the result is 0.
    const XRequestBlock block = XRequest(6.0, 2.0, 1);
    EXPECT_EQ(HandleCopyData(nullptr, CopyDataMessage{CD_X_REQUEST, sizeof block, &block}), 0);
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sender.answers.empty());
}

class RecordingRequester final : public CopyDataRequester {
public:
    CopyDataDelivery SendCopyDataTo(std::string_view title, std::uint32_t type, const void* block, std::size_t size,
                                    std::int32_t& result) override {
        EXPECT_EQ(title, "LOAMER");
        EXPECT_EQ(type, CD_X_REQUEST);
        EXPECT_EQ(size, sizeof(XRequestBlock));
        std::memcpy(&last, block, sizeof last);
        texts.emplace_back(last.text, sizeof last.text);
        result = 1;
        return CopyDataDelivery::Done;
    }
    XRequestBlock last{};
    std::vector<std::string> texts;
};

TEST_F(CopyDataTest, HiddenCommandReadsTheRecordsInTurn) {
    loamer::testing::ScratchDir dir;
    std::string file;
    for (char r = '0'; r < '6'; ++r) file += std::string(133, r) + "\r\n";
    // Record 3 is a short line: its CR LF reads as a line feed, the rest of the text is zero.
    file.replace(3 * 135, 7, "short\r\n");
    std::ofstream(dir / "Data.flx", std::ios::binary) << file;

    RecordingRequester requester;
    for (std::size_t expected : {1u, 2u, 3u, 4u, 5u, 0u}) {
        const TestRequestOutcome outcome = SendTestRequest(requester, dir / "Data.flx");
        EXPECT_EQ(outcome.end, TestRequestEnd::Sent);
        EXPECT_EQ(outcome.record, expected);
    }
    const std::string shortText = "short\n" + std::string(127, '\0');
    EXPECT_EQ(requester.texts, (std::vector<std::string>{std::string(133, '1'), std::string(133, '2'), shortText,
                                                         std::string(133, '4'), std::string(133, '5'),
                                                         std::string(133, '0')}));
    EXPECT_EQ(requester.last.param1, 6.0);
    EXPECT_EQ(requester.last.param2, 2.0);
    EXPECT_EQ(requester.last.code, 1u);

    // While a meter command runs, nothing happens (the record stays where it was).
    {
        MeterCommandScope command;
        EXPECT_EQ(SendTestRequest(requester, dir / "Data.flx").end, TestRequestEnd::CommandRunning);
    }
    // A missing file: the system's words in a box, nothing sent; the record moved on all the same.
    const TestRequestOutcome missing = SendTestRequest(requester, dir / "nothing.flx");
    EXPECT_EQ(missing.end, TestRequestEnd::FileError);
    EXPECT_EQ(missing.record, 1u);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Cannot open " + (dir / "nothing.flx") + ":\nNo such file or directory");
    EXPECT_EQ(ui.boxes[0].style, BoxStyle::Exclamation);
    EXPECT_EQ(requester.texts.size(), 6u);
    EXPECT_TRUE(backend.written.empty());
}

}  // namespace
