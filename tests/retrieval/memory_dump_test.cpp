// The memory dump against a scripted meter: the file, the wire, the progress bar and the boxes
// of every ending, and the Debug command around i
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "loamer/retrieval/memory_dump.h"
#include "tests/support/memory_file.h"
#include "tests/support/child_process.h"
#include "tests/support/link_fixture.h"

using namespace loamer;
using loamer::testing::MemoryFile;

namespace {

class NullDisplay final : public ClockDisplay {
public:
    void ShowClock(const ClockReading& reading) override {
        last = reading;
        ++shows;
    }
    const ClockReading& ShownClock() const override { return last; }
    bool ClockTimerRunning() const override { return false; }
    void StartClockTimer() override {}
    ClockReading last;
    int shows = 0;
};

// The meter's memory: every byte value, line ends and zeros included.
std::string BlockData(unsigned block) {
    std::string data(128, '\0');
    for (unsigned i = 0; i < 128; ++i) data[i] = static_cast<char>((block * 131 + i * 7) & 0xFF);
    return data;
}

std::string Blocks(unsigned count) {
    std::string all;
    for (unsigned b = 0; b < count; ++b) all += BlockData(b);
    return all;
}

std::string DebugBox(const std::string& sequence) {
    return "LOAMER : Debug Error Message:\n\nAn error occurred while writing\ndebug information to file.\n\n"
           "The error occured at \n\nSequence Number: " + sequence + "\nTQ4 Memory Type: External";
}

class MemoryDumpTest : public LinkTest {
protected:
    MemoryDumpTest() {
        backend.onWrite = [this](const std::string& req) {
            if (req == "?\r\n" && awake) backend.SendLater("A\r\n", 2);
            if (req == "F\r\n") backend.SendLater("H1202403051407" "09\r\n", 5);
            if (req[0] != 'E') return;
            wire.push_back(req.substr(0, req.size() - 2));
            const unsigned block = static_cast<unsigned>(std::stoul(req.substr(2, 5)));
            if (onBlock) onBlock(block);
            const auto it = replies.find(block);
            const std::string reply = it != replies.end() ? it->second : "G" + req.substr(1, 6) + BlockData(block) + "\r\n";
            if (!reply.empty()) backend.SendLater(reply, 4);
        };
    }
    bool awake = true;
    std::map<unsigned, std::string> replies;  // "" is silence
    std::function<void(unsigned)> onBlock;
    std::vector<std::string> wire;
    MemoryFile file;
};

TEST_F(MemoryDumpTest, ACompleteDumpIs256BlocksOf128Bytes) {
    ASSERT_EQ(DumpMemory(file), ERR_NONE);
    EXPECT_EQ(file.content.size(), 32768u);
    EXPECT_EQ(file.content, Blocks(256));
    EXPECT_EQ(file.writes, 256);
    ASSERT_EQ(wire.size(), 256u);
    EXPECT_EQ(wire.front(), "E200000");
    EXPECT_EQ(wire[37], "E200037");
    EXPECT_EQ(wire.back(), "E200255");
    EXPECT_EQ(std::count(ui.progress.begin(), ui.progress.end(), "+"), 85);
    EXPECT_EQ(std::vector<std::string>(ui.progress.begin(), ui.progress.begin() + 3),
              (std::vector<std::string>{"step=1", "pos=0", "show"}));
    EXPECT_EQ(ui.progress.back(), "hide");
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.cursorDepth, 0);
}

// Every ending keeps the blocks before it and hides the bar once shown.
TEST_F(MemoryDumpTest, EndingsKeepTheBlocksBeforeThem) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        ErrorCode code;
        unsigned blocks;
        std::vector<RecordedBox> boxes;
    };
    const Case cases[] = {
        {"reply 'H' at block 10", [this] { replies[10] = "H200010" + BlockData(10) + "\r\n"; },
         ERR_FILE_WRITE, 10, {{DebugBox("00010"), BoxStyle::Plain}}},
        {"broken frame at block 5", [this] { replies[5] = "G200005" + BlockData(5) + "\n\r"; },
         ERR_FILE_WRITE, 5, {{DebugBox("00005"), BoxStyle::Plain}}},
        {"nothing at block 10", [this] { replies[10] = ""; }, ERR_FILE_WRITE, 10,
         {{DebugBox(""), BoxStyle::Plain}}},
        {"four bytes at block 10", [this] { replies[10] = "G200"; }, ERR_FILE_WRITE, 10,
         {{DebugBox("00"), BoxStyle::Plain}}},
        {"port write fails at block 5: the echo of block 4",
         [this] {
             onBlock = [this](unsigned b) {
                 if (b == 4) backend.failStep = FakeStep::Write;
             };
         },
         ERR_FILE_WRITE, 5, {{DebugBox("00004"), BoxStyle::Plain}}},
        {"Escape at block 7",
         [this] {
             replies[7] = "";
             ui.abortWhen = [this](int) { return wire.size() == 8; };
         },
         ERR_ABORTED, 7, {}},
        {"full disk at block 3", [this] { file.failAt = 4; }, ERR_FILE_WRITE, 3,
         {{"No space left on device", BoxStyle::Exclamation}}},
        {"meter asleep", [this] { awake = false; }, ERR_TIMEOUT, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        awake = true;
        replies.clear();
        onBlock = nullptr;
        wire.clear();
        file = MemoryFile{};
        ui.boxes.clear();
        ui.progress.clear();
        ui.abortWhen = nullptr;
        backend.failStep = FakeStep::None;
        CloseCommPort();
        c.arrange();
        EXPECT_EQ(DumpMemory(file), c.code);
        EXPECT_EQ(file.content, Blocks(c.blocks));
        ASSERT_EQ(ui.boxes.size(), c.boxes.size());
        for (std::size_t i = 0; i < c.boxes.size(); ++i) {
            EXPECT_EQ(ui.boxes[i].text, c.boxes[i].text);
            EXPECT_EQ(ui.boxes[i].style, c.boxes[i].style);
        }
        // The bar is shown only once the meter has answered, and always hidden again.
        EXPECT_EQ(ui.progress.empty(), c.code == ERR_TIMEOUT);
        if (!ui.progress.empty()) {
            EXPECT_EQ(ui.progress.back(), "hide");
        }
        EXPECT_EQ(ui.cursorDepth, 0);
    }
}

TEST_F(MemoryDumpTest, DebugCommandSavesReportsAndRefreshes) {
    struct Case {
        const char* what;
        std::function<void(const std::string&)> arrange;
        CommandResult result;
        std::vector<BoxStyle> styles;
        std::size_t bytes;  // in the file afterwards
    };
    const Case cases[] = {
        {"saved", [this](const std::string& dir) { ui.chosenFiles = {dir + "/TQ4 DEBUG.BIN"}; },
         {CommandEnd::Succeeded, 0}, {BoxStyle::Information}, 32768},
        {"cancelled", [this](const std::string&) { ui.chosenFiles = {""}; }, {CommandEnd::Cancelled, 0},
         {}, 0},
        {"file cannot be opened",
         [this](const std::string& dir) { ui.chosenFiles = {dir + "/no/such/TQ4 DEBUG.BIN"}; },
         {CommandEnd::Reported, ERR_FILE_OPEN}, {BoxStyle::Exclamation, BoxStyle::Exclamation}, 0},
        {"reply 'H' at block 0",
         [this](const std::string& dir) {
             ui.chosenFiles = {dir + "/TQ4 DEBUG.BIN"};
             replies[0] = "H";
         },
         {CommandEnd::Reported, ERR_FILE_WRITE}, {BoxStyle::Plain, BoxStyle::Exclamation}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        loamer::testing::ScratchDir dir;
        replies.clear();
        ui.boxes.clear();
        backend.written.clear();
        NullDisplay display;
        c.arrange(dir.Path());
        const CommandResult result = SaveDebugReport(display);
        EXPECT_EQ(result.end, c.result.end);
        EXPECT_EQ(result.code, c.result.code);
        ASSERT_EQ(ui.boxes.size(), c.styles.size());
        for (std::size_t i = 0; i < c.styles.size(); ++i) EXPECT_EQ(ui.boxes[i].style, c.styles[i]);
        if (c.result.code != ERR_NONE) {
            EXPECT_EQ(ui.boxes.back().text, FormatErrorReport(c.result.code));
        }
        if (c.result.end == CommandEnd::Succeeded) {
            EXPECT_EQ(ui.boxes[0].text,
                      "TQ4 DEBUG Report:\n\nA Debug Report named TQ4 DEBUG.BIN\nwas saved to file.\n\n"
                      "If Norvane Technical Support requested \nthis file please send it to us.\n\n"
                      "Our e-mail address is:\nsupport@norvane.example");
        }
        EXPECT_EQ(loamer::testing::ReadFile(dir / "TQ4 DEBUG.BIN").size(), c.bytes);
        EXPECT_EQ(display.shows, c.result.end == CommandEnd::Succeeded ? 1 : 0);
        // A file that cannot be opened costs no meter time.
        EXPECT_EQ(backend.written.empty(), c.result.end == CommandEnd::Cancelled || c.result.code == ERR_FILE_OPEN);
    }
    EXPECT_EQ(ui.fileDialogs.front(), "save TQ4 DEBUG.BIN");
}

}  // namespace
