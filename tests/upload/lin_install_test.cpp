// The table install against a scripted meter: the checks before the file, the file's outcomes,
// and the three upload messages byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "loamer/upload/lin_install.h"
#include "tests/support/link_fixture.h"

using namespace loamer;
using namespace std::string_literals;

namespace {

class RecordingDisplay final : public ClockDisplay {
public:
    void ShowClock(const ClockReading& reading) override {
        last = reading;
        ++shows;
    }
    const ClockReading& ShownClock() const override { return last; }
    bool ClockTimerRunning() const override { return timers > 0; }
    void StartClockTimer() override { ++timers; }
    ClockReading last;
    int shows = 0;
    int timers = 0;
};

// Table files in memory by path; closing fails when asked.
class MemoryFiles final : public TableFileOpener {
public:
    class Source final : public TableFileSource {
    public:
        Source(std::string text, bool closeFails) : inner_(MemoryTableFile(std::move(text))), closeFails_(closeFails) {}
        bool Read(unsigned char* buffer, std::size_t max, std::size_t& got) override {
            return inner_->Read(buffer, max, got);
        }
        bool Close() override { return inner_->Close() && !closeFails_; }

    private:
        std::unique_ptr<TableFileSource> inner_;
        bool closeFails_;
    };
    std::unique_ptr<TableFileSource> OpenForReading(const std::string& path) override {
        const auto it = files.find(path);
        if (it == files.end()) return nullptr;
        return std::make_unique<Source>(it->second, closeFails);
    }
    std::map<std::string, std::string> files;
    bool closeFails = false;
};

std::string Pad(int rows) {
    std::string text;
    for (int i = 0; i < rows; ++i) text += "0000,000.000";
    return text;
}

// Twenty rows as the meter receives them.
const char* const kRows[20] = {
    "0100,001.000", "0200,002.500", "0300,004.000", "0400,005.500", "0500,007.000",
    "0600,008.500", "0700,010.000", "0800,011.500", "0900,013.000", "1000,014.500",
    "1100,016.000", "1200,017.500", "1300,019.000", "1400,020.500", "1500,022.000",
    "1600,023.500", "1700,025.000", "1800,026.500", "1900,028.000", "2000,029.500",
};

// A file of the first n rows, each written with a blank after its comma.
std::string TableFile(const std::string& title, const std::string& count, int n) {
    std::string text = title + "\n" + count + "\n";
    for (int i = 0; i < n; ++i) text += std::string(kRows[i]).insert(5, " ") + "\n";
    return text;
}

std::string Rows(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i) text += kRows[i - 1];
    return text;
}

std::vector<std::string> TableReads() {
    std::vector<std::string> reads;
    for (const char* slot : {"1", "2", "4", "6", "9", "C", "D", "E", "G", "F"}) {
        for (const char* part : {"1", "2", "3"}) reads.push_back(std::string("T") + part + slot);
    }
    return reads;
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class LinInstallTest : public LinkTest {
public:
    LinInstallTest() {
        backend.onWrite = [this](const std::string& req) {
            wire.push_back(req);
            switch (req[0]) {
            case '?': backend.SendLater("A\r\n", 2); break;
            case 'I': backend.SendLater("NV2.13 0872900001000" + stored + "\r\n", 5); break;
            case 'T': backend.SendLater(SlotAnswer(req[1], req[2]), 3); break;
            case 'F': backend.SendLater("H1202403051407" "09\r\n", 5); break;
            case 'B':
                backend.SendLater(acks.empty() ? "A\r\n" : acks.front(), 3);
                if (!acks.empty()) acks.erase(acks.begin());
                break;
            default: break;
            }
        };
    }
    std::string SlotAnswer(char part, char slot) const {
        if (slots.find(slot) == std::string::npos) return "!\r\n";
        if (part == '1') return "B1"s + slot + "2" + "Old table " + "05\r\n";
        return "B"s + part + slot + Pad(10) + "\r\n";
    }
    // The requests, "\r\n" dropped; an upload as its first three bytes ("B1F").
    std::vector<std::string> Requests() const {
        std::vector<std::string> out;
        for (const std::string& req : wire) out.push_back(req[0] == 'B' ? req.substr(0, 3) : req.substr(0, req.size() - 2));
        return out;
    }
    std::vector<std::string> Uploads() const {
        std::vector<std::string> out;
        for (const std::string& req : wire) {
            if (req[0] == 'B') out.push_back(req);
        }
        return out;
    }
    CommandResult Install(char code, const std::string& text) {
        files.files["/tables/T.LIN"] = text;
        ui.chosenFiles = {"/tables/T.LIN"};
        return InstallLinTable(code, display);
    }
    void ExpectReport(std::size_t index, ErrorCode code) {
        ASSERT_GT(ui.boxes.size(), index);
        EXPECT_EQ(ui.boxes[index].text, FormatErrorReport(code));
        EXPECT_EQ(ui.boxes[index].style, BoxStyle::Exclamation);
    }

    std::string stored = "000000";
    std::string slots = "12469CDEGF";
    std::vector<std::string> acks;
    std::vector<std::string> wire;
    MemoryFiles files;
    ScopedTableFiles filesScope{&files};
    RecordingDisplay display;
};

TEST_F(LinInstallTest, SendsTheTableThenShowsItsBoxAndRefreshesTheClock) {
    const CommandResult result = Install('1', TableFile("Clay 1", "5", 5));
    EXPECT_EQ(result.end, CommandEnd::Succeeded);
    EXPECT_EQ(result.code, ERR_NONE);
    EXPECT_EQ(Requests(), Join(Join({"?", "I", "?"}, TableReads()), {"?", "B11", "B21", "B31", "F"}));
    EXPECT_EQ(ui.fileDialogs, std::vector<std::string>{"open KR5.LIN"});
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "This Linearisation Table was sent to TQ4.");
    EXPECT_EQ(ui.boxes[0].style, BoxStyle::Plain);
    EXPECT_EQ(display.shows, 1);
    EXPECT_EQ(display.timers, 1);
    EXPECT_EQ(ui.cursorDepth, 0);
}

// Rows within the count come from the file, trimmed; the others are padding rows. A short title
// and a one-digit count go with zero bytes behind them. KR6 Special offers the KR6 file but
// sends its own code.
TEST_F(LinInstallTest, UploadMessagesOf5And12And20Rows) {
    struct Case {
        char code;
        const char* title;
        const char* count;
        int rows;
        const char* dialog;
        std::vector<std::string> uploads;
    };
    const Case cases[] = {
        {'1', "Clay 1", "5", 5, "open KR5.LIN",
         {"B112Clay 1\0\0\0\0"s + "5\0\r\n"s, "B21" + Rows(1, 5) + Pad(5) + "\r\n", "B31" + Pad(10) + "\r\n"}},
        {'1', "Silt 12345", "12", 12, "open KR5.LIN",
         {"B112Silt 1234512\r\n", "B21" + Rows(1, 10) + "\r\n", "B31" + Rows(11, 12) + Pad(8) + "\r\n"}},
        {'1', "Sand", "20", 20, "open KR5.LIN",
         {"B112Sand\0\0\0\0\0\0"s + "20\r\n", "B21" + Rows(1, 10) + "\r\n", "B31" + Rows(11, 20) + "\r\n"}},
        {'F', "Clay 1", "12", 12, "open KR6.LIN",
         {"B1F2Clay 1\0\0\0\0"s + "12\r\n", "B2F" + Rows(1, 10) + "\r\n", "B3F" + Rows(11, 12) + Pad(8) + "\r\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows);
        wire.clear();
        ui.fileDialogs.clear();
        slots = std::string(1, c.code);
        ASSERT_EQ(Install(c.code, TableFile(c.title, c.count, c.rows)).end, CommandEnd::Succeeded);
        EXPECT_EQ(ui.fileDialogs, std::vector<std::string>{c.dialog});
        EXPECT_EQ(Uploads(), c.uploads);
        EXPECT_EQ(Uploads().at(0).size(), 18u);
    }
}

// What stops the command before the file dialog.
TEST_F(LinInstallTest, ChecksBeforeTheFile) {
    struct Case {
        const char* what;
        char code;
        std::string stored;
        std::string slots;
        bool silentStatus;
        CommandResult result;
        std::string box;  // the message, or empty for the report of result.code
        std::size_t requests;
    };
    const Case cases[] = {
        {"readings stored", '1', "000003", "12469CDEGF", false, {CommandEnd::Reported, ERR_READINGS_STORED}, "", 2},
        {"silent status query", '1', "000000", "12469CDEGF", true, {CommandEnd::Reported, ERR_TIMEOUT}, "", 2},
        {"no VP4 Special slot", '6', "000000", "1249CDEGF", false, {CommandEnd::OwnMessage, ERR_NONE},
         "This TQ4 does not support the  Linearisatation Table.\n", 33},
        {"no KR5 slot", '1', "000000", "2469CDEGF", false, {CommandEnd::OwnMessage, ERR_NONE},
         "This TQ4 does not support the KR5 Linearisatation Table.\n", 33},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wire.clear();
        ui.boxes.clear();
        ui.fileDialogs.clear();
        CloseCommPort();
        stored = c.stored;
        slots = c.slots;
        if (c.silentStatus) stored = "";  // a reply too short to end: the read times out
        const CommandResult result = Install(c.code, TableFile("Clay 1", "5", 5));
        EXPECT_EQ(result.end, c.result.end);
        EXPECT_EQ(result.code, c.result.code);
        EXPECT_TRUE(ui.fileDialogs.empty());
        EXPECT_EQ(Requests().size(), c.requests);
        ASSERT_EQ(ui.boxes.size(), 1u);
        if (c.box.empty()) {
            ExpectReport(0, c.result.code);
        } else {
            EXPECT_EQ(ui.boxes[0].text, c.box);
            EXPECT_EQ(ui.boxes[0].style, BoxStyle::Plain);
        }
        EXPECT_EQ(ui.cursorDepth, 0);
    }
}

// From the file dialog on: what the user sees and how far the wire gets.
TEST_F(LinInstallTest, FileAndUploadOutcomes) {
    const std::string good = TableFile("Clay 1", "5", 5);
    struct Case {
        const char* what;
        std::string file;  // empty: the dialog is cancelled
        bool missing;
        bool closeFails;
        std::vector<std::string> acks;
        CommandResult result;
        const char* firstBox;  // a box before the report, or nullptr
        std::size_t uploads;
    };
    const Case cases[] = {
        {"cancelled", "", false, false, {}, {CommandEnd::Cancelled, ERR_NONE}, nullptr, 0},
        {"missing file", good, true, false, {}, {CommandEnd::Reported, ERR_LIN_OPEN}, nullptr, 0},
        {"faulty row", "T\n2\n0100,010.000\n0200,20.000\n", false, false, {},
         {CommandEnd::Reported, ERR_LIN_READ}, kLinReadFaultText, 0},
        {"empty file", "\n", false, false, {}, {CommandEnd::Reported, ERR_LIN_READ}, kLinReadFaultText, 0},
        {"milliVolt order", "T\n2\n0200,010.000\n0100,020.000\n", false, false, {},
         {CommandEnd::Reported, ERR_LIN_MV_ORDER}, nullptr, 0},
        {"value order", "T\n3\n0100,030.000\n0200,020.000\n0300,025.000\n", false, false, {},
         {CommandEnd::Reported, ERR_LIN_VALUE_ORDER}, nullptr, 0},
        {"close fails", good, false, true, {}, {CommandEnd::Reported, ERR_LIN_CLOSE}, nullptr, 0},
        {"one row", "T\n1\n0100,010.000\n", false, false, {}, {CommandEnd::Reported, ERR_BAD_FRAME}, nullptr, 0},
        {"busy after the header", good, false, false, {"K\r\n"}, {CommandEnd::Reported, ERR_METER_BUSY},
         "Sorry : Your TQ4 meter reports it is busy.\n\nTry again later.", 1},
        {"refused after the first rows", good, false, false, {"A\r\n", "!\r\n"},
         {CommandEnd::Reported, ERR_METER_REFUSED},
         "Sorry - a problem occurred:\n\nYour TQ4 meter received an invalid signal from this computer.\n"
         "Check your serial port and cable connection",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wire.clear();
        ui.boxes.clear();
        files.files.clear();
        CloseCommPort();
        files.closeFails = c.closeFails;
        acks = c.acks;
        if (!c.missing) files.files["/tables/T.LIN"] = c.file;
        ui.chosenFiles = {c.file.empty() ? "" : "/tables/T.LIN"};
        const CommandResult result = InstallLinTable('1', display);
        EXPECT_EQ(result.end, c.result.end);
        EXPECT_EQ(result.code, c.result.code);
        EXPECT_EQ(Uploads().size(), c.uploads);
        // Without an upload the meter is not woken a third time.
        EXPECT_EQ(Requests().size(), c.uploads == 0 ? 33u : 34u + c.uploads);
        std::size_t report = 0;
        if (c.firstBox) {
            ASSERT_GE(ui.boxes.size(), 1u);
            EXPECT_EQ(ui.boxes[0].text, c.firstBox);
            EXPECT_EQ(ui.boxes[0].style, BoxStyle::Plain);
            report = 1;
        }
        if (c.result.end == CommandEnd::Reported) {
            ExpectReport(report, c.result.code);
            EXPECT_EQ(ui.boxes.size(), report + 1);
        } else {
            EXPECT_TRUE(ui.boxes.empty());
        }
        EXPECT_EQ(display.shows, 0);
        EXPECT_EQ(ui.cursorDepth, 0);
    }
}

TEST(LinSensors, CodesStemsAndCommandLineNames) {
    EXPECT_STREQ(LinSensorStem('F'), "KR6");
    EXPECT_STREQ(LinSensorStem('6'), "");
    EXPECT_STREQ(LinSensorStem('x'), "");
    ASSERT_NE(FindLinSensorByName("kr6-special"), nullptr);
    EXPECT_EQ(FindLinSensorByName("kr6-special")->code, 'F');
    EXPECT_EQ(FindLinSensorByName("KR6 Special"), nullptr);
    std::string codes;
    for (const char* name : {"KR5", "KR6", "KR6-Special", "KR7", "VP4", "VP4-Special", "VP5", "GX420", "GX630", "GX310"}) {
        const LinSensor* sensor = FindLinSensorByName(name);
        ASSERT_NE(sensor, nullptr) << name;
        codes += sensor->code;
    }
    EXPECT_EQ(codes, "12FG469CDE");
}

}  // namespace
