// The Install Sensor Calibration commands against a scripted meter: the message on the wire and
// the boxes of every ending.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "loamer/upload/cal_install.h"
#include "loamer/upload/path_names.h"
#include "tests/support/child_process.h"
#include "tests/support/link_fixture.h"

using namespace loamer;

namespace {

class RecordingDisplay final : public ClockDisplay {
public:
    void ShowClock(const ClockReading& reading) override { last = reading; ++shows; }
    const ClockReading& ShownClock() const override { return last; }
    bool ClockTimerRunning() const override { return timers > 0; }
    void StartClockTimer() override { ++timers; }
    ClockReading last;
    int shows = 0;
    int timers = 0;
};

// The values of orbis_probe.cal, each in the 12-character form, worked out by hand.
const std::string kOrbisValues =
    "+15000000+00" "-12300000-03" "+00000000+00" "+15000000+00" "+15000000+00" "+27500000+02"
    "-31415927+00" "+10000000+02" "+10000000-05" "+60221408+23" "-50000000-01" "+00000000+00"
    "+42000000+01" "+75000000+00" "-12250000+01" "+18500000-02" "-25000000-03";

class CalInstallTest : public LinkTest {
protected:
    CalInstallTest() {
        backend.onWrite = [this](const std::string& req) {
            if (req == "?\r\n") backend.SendLater("A\r\n", 2);
            else if (req == "I\r\n") backend.SendLater("NV2.13 0872900001000" + readings + "\r\n", 5);
            else if (req == "F\r\n") backend.SendLater("H1202403051407" "09\r\n", 5);
            else if (req[0] == 'W') {
                sent.push_back(req);
                backend.SendLater(ack, 5);
            }
        };
    }
    // The sample file with one line replaced (or cut after line `keep`), in the scratch folder.
    std::string SampleFile(const std::string& name, const std::string& from, const std::string& to, std::size_t keep = 99) {
        std::ifstream in(loamer::testing::TestDataPath("upload/orbis_probe.cal"));
        std::string text;
        std::size_t n = 0;
        for (std::string line; std::getline(in, line) && n++ < keep;) text += (line == from ? to : line) + "\n";
        std::ofstream(dir / name, std::ios::binary) << text;
        return dir / name;
    }

    std::string readings = "000000";
    std::string ack = "A\r\n";
    std::vector<std::string> sent;
    RecordingDisplay display;
    loamer::testing::ScratchDir dir;
};

TEST_F(CalInstallTest, OrbisAndFlxSendTheFileWithTheirLetter) {
    for (const auto& [kind, letter] : {std::pair{kOrbisProbe, '2'}, std::pair{kFlxSensor, '3'}}) {
        SCOPED_TRACE(letter);
        sent.clear();
        ui.boxes.clear();
        ui.chosenFiles = {loamer::testing::TestDataPath("upload/orbis_probe.cal")};
        const CommandResult result = InstallCalibration(kind, display);
        EXPECT_EQ(result.end, CommandEnd::Succeeded);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0], std::string("W") + letter + "orbis_probe " + kOrbisValues + "\r\n");
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, "Orbis/FLX calibration file 'orbis_probe.cal' installed\nin the TQ4, ok.");
        EXPECT_EQ(ui.boxes[0].style, BoxStyle::Information);
    }
    EXPECT_EQ(ui.fileDialogs, (std::vector<std::string>{"open .cal", "open .cal"}));
    EXPECT_EQ(display.shows, 2);
    EXPECT_EQ(display.timers, 1);
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(CalInstallTest, EveryEndingShowsItsBoxes) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        CommandResult result;
        std::vector<RecordedBox> boxes;
        bool sends;
        bool refreshes;
    };
    const char* kBusy = "Sorry : Your TQ4 meter reports it is busy.\n\nTry again later.";
    const char* kFit = "\ndoes not fit the TQ4's number form: it must be a finite number\nwith a decimal exponent from -99 to 99.";
    const Case cases[] = {
        {"readings stored", [this] { readings = "000002"; }, {CommandEnd::Reported, ERR_READINGS_STORED},
         {{FormatErrorReport(ERR_READINGS_STORED), BoxStyle::Exclamation}}, false, false},
        {"dialog cancelled", [this] { ui.chosenFiles = {""}; }, {CommandEnd::Cancelled, 0}, {}, false, false},
        {"file missing", [this] { ui.chosenFiles = {dir / "gone.cal"}; }, {CommandEnd::OwnMessage, 0},
         {{"Error opening calibration file 'gone.cal'", BoxStyle::Error}}, false, false},
        {"a folder", [this] { ui.chosenFiles = {dir.Path()}; }, {CommandEnd::OwnMessage, 0},
         {{"Error opening calibration file '" + FileNameOfPath(dir.Path()) + "'", BoxStyle::Error}}, false, false},
        {"file of 20 lines", [this] { ui.chosenFiles = {SampleFile("short.cal", "", "", 20)}; },
         {CommandEnd::OwnMessage, 0}, {{"Error in line 21 of calibration file 'short.cal'", BoxStyle::Error}}, false, false},
        {"meter busy", [this] { ack = "K\r\n"; }, {CommandEnd::Reported, ERR_METER_BUSY},
         {{kBusy, BoxStyle::Plain}, {FormatErrorReport(ERR_METER_BUSY), BoxStyle::Exclamation}}, true, true},
        {"exponent 100 in value 3", [this] { ui.chosenFiles = {SampleFile("big.cal", "A2: 0", "A2: 1e100")}; },
         {CommandEnd::Reported, ERR_BAD_FRAME},
         {{std::string("Value 3 of calibration file 'big.cal'") + kFit, BoxStyle::Error},
          {FormatErrorReport(ERR_BAD_FRAME), BoxStyle::Exclamation}},
         false, true},
        {"infinity in value 17", [this] { ui.chosenFiles = {SampleFile("inf.cal", "T1: -2.5e-3", "T1: -inf")}; },
         {CommandEnd::Reported, ERR_BAD_FRAME},
         {{std::string("Value 17 of calibration file 'inf.cal'") + kFit, BoxStyle::Error},
          {FormatErrorReport(ERR_BAD_FRAME), BoxStyle::Exclamation}},
         false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        readings = "000000";
        ack = "A\r\n";
        sent.clear();
        ui.boxes.clear();
        ui.fileDialogs.clear();
        ui.chosenFiles = {loamer::testing::TestDataPath("upload/orbis_probe.cal")};
        display = RecordingDisplay{};
        c.arrange();
        const CommandResult result = InstallCalibration(kFlxSensor, display);
        EXPECT_EQ(result.end, c.result.end);
        EXPECT_EQ(result.code, c.result.code);
        ASSERT_EQ(ui.boxes.size(), c.boxes.size());
        for (std::size_t i = 0; i < c.boxes.size(); ++i) {
            EXPECT_EQ(ui.boxes[i].text, c.boxes[i].text);
            EXPECT_EQ(ui.boxes[i].style, c.boxes[i].style);
        }
        // Stored readings stop the command before the file is asked for.
        EXPECT_EQ(ui.fileDialogs.empty(), c.result.code == ERR_READINGS_STORED);
        EXPECT_EQ(sent.size(), c.sends ? 1u : 0u);
        EXPECT_EQ(display.shows, c.refreshes ? 1 : 0);
        EXPECT_EQ(ui.cursorDepth, 0);
    }
}

}  // namespace
