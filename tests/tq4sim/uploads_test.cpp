// Table uploads ('B', three messages) and calibrations ('W') on the line: what the meter
// answers, what the tables status shows afterwards, and the transcript's notes.
#include "tests/tq4sim/emulator_fixture.h"

namespace tq4sim::testing {
namespace {

using UploadsTest = EmulatorTest;

constexpr const char* kAllSlots = LOAMER_EXAMPLES_DIR "/all-slots.json";
constexpr const char* kAck = "A\r\n";
constexpr const char* kNo = "!\r\n";

std::string Header(char code, std::string title, std::string count) {
    title.resize(10, '\0');
    count.resize(2, '\0');
    return std::string("B1") + code + "2" + title + count + "\r\n";
}

// Rows message of a table of `count` rows: rising milliVolts and values, then padding rows.
std::string Rows(char part, char code, std::size_t count) {
    std::string message = std::string("B") + part + code;
    for (std::size_t n = part == '2' ? 1 : 11, last = n + 9; n <= last; ++n) {
        char row[16];
        std::snprintf(row, sizeof row, "%04zu,%07.3f", n <= count ? 100 * n : 0, n <= count ? 2.5 * static_cast<double>(n) : 0.0);
        message += row;
    }
    return message + "\r\n";
}

std::vector<std::string> Upload(char code, const std::string& title, const std::string& count, std::size_t rows) {
    return {Header(code, title, count), Rows('2', code, rows), Rows('3', code, rows)};
}

std::string Status(char part, char code) { return std::string("T") + part + code + "\r\n"; }

TEST_F(UploadsTest, EachMessageIsAcknowledgedAndTheTableShowsInItsSlot) {
    EmulatorOptions options;
    options.memoryFile = kAllSlots;
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    for (const std::vector<std::string>& messages :
         {Upload('1', "Clay 1", "3", 3), Upload('F', "KR6S Peat", "12", 12), Upload('G', "KR7 Gravel", "20", 20)}) {
        SCOPED_TRACE(messages[0][2]);
        for (const std::string& m : messages) EXPECT_EQ(line_.Ask(m, 3), kAck);
        // The three parts of the tables status are the three messages, byte for byte.
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(line_.Ask(Status(static_cast<char>('1' + i), messages[0][2]), messages[i].size()), messages[i]);
        }
    }
    EXPECT_EQ(line_.Ask(Status('1', '2'), 18), std::string("B122KR6 Std\0\0\0" "04\r\n", 18));  // untouched
    std::vector<std::string> lines = Lines(Path("transcript.txt"));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[3], "# table installed in slot 1: name \"Clay 1\\x00\\x00\\x00\\x00\", count \"3\\x00\", status \"2\"");
}

TEST_F(UploadsTest, MessagesTheMeterCannotTakeAreRefusedWithAReason) {
    EmulatorOptions options;
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));  // slots 1 and 4 only
    const std::string outOfTurn = " refused: it does not follow its header and the rows before it";
    for (auto [message, reply, note] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {Header('2', "KR6", "05"), kNo, "table message 1 for slot \"2\" refused: the meter has no such slot"},
             {Header('X', "KR6", "05"), kNo, "table message 1 for slot \"X\" refused: the meter has no such slot"},
             {Rows('2', '1', 5), kNo, "table message 2 for slot 1" + outOfTurn},
             {Header('1', "New", "05"), kAck, ""},
             {Rows('3', '1', 5), kNo, "table message 3 for slot 1" + outOfTurn},
             {Rows('2', '4', 5), kNo, "table message 2 for slot 4" + outOfTurn},
             {"B4" + Rows('2', '1', 5).substr(2), kNo, ""},  // no part 4: taken up to its line end
             {"B\r\n", kNo, ""}}) {
        SCOPED_TRACE(EscapeBytes(message));
        EXPECT_EQ(line_.Ask(message, 3), reply);
        EXPECT_EQ(Lines(Path("transcript.txt")).back(), note.empty() ? EscapeBytes(message) : "# " + note);
    }
    // The header was taken, its rows never came: the slot is not ready and keeps its old rows.
    EXPECT_EQ(line_.Ask(Status('1', '1'), 18), std::string("B111New\0\0\0\0\0\0\0" "05\r\n", 18));
    EXPECT_EQ(line_.Ask(Status('2', '1'), 125).substr(3, 12), "0100,005.200");
}

TEST_F(UploadsTest, FaultsAtTheNthTableMessage) {
    std::vector<std::string> messages = Upload('1', "First", "04", 4);
    for (const std::string& m : Upload('9', "Second", "15", 15)) messages.push_back(m);
    struct Case {
        unsigned message;
        UploadFault fault;
        std::vector<std::string> replies;  // of the six messages; "?" for garbage of 3 bytes
        std::string firstName;             // the first slot's name and status afterwards
        char firstStatus;
        char secondStatus;
    };
    for (const Case& c : std::vector<Case>{
             {1, UploadFault::Busy, {"K\r\n", kNo, kNo, kAck, kAck, kAck}, "KR5 Std", '2', '2'},
             {2, UploadFault::Refused, {kAck, kNo, kNo, kAck, kAck, kAck}, "First", '1', '2'},
             {3, UploadFault::Garbage, {kAck, kAck, "?", kAck, kAck, kAck}, "First", '2', '2'},
             {4, UploadFault::Busy, {kAck, kAck, kAck, "K\r\n", kNo, kNo}, "First", '2', '2'},
             {6, UploadFault::Refused, {kAck, kAck, kAck, kAck, kAck, kNo}, "First", '2', '1'},
         }) {
        SCOPED_TRACE(c.message);
        MeterEmulator meter;
        EmulatorOptions options;
        options.memoryFile = kAllSlots;
        options.faults.tableFaults[c.message] = c.fault;
        std::string slave, error;
        ASSERT_TRUE(meter.Start(options, &slave, &error)) << error;
        PtyLine line(slave);
        for (std::size_t i = 0; i < messages.size(); ++i) {
            std::string reply = line.Ask(messages[i], 3);
            if (c.replies[i] == "?") {
                EXPECT_TRUE(reply.size() == 3 && reply != kAck) << EscapeBytes(reply);
            } else {
                EXPECT_EQ(reply, c.replies[i]) << "message " << i + 1;
            }
        }
        MeterState after = meter.Snapshot();
        EXPECT_EQ(after.tables[0].name.c_str(), c.firstName);
        EXPECT_EQ(after.tables[0].status, c.firstStatus);
        EXPECT_EQ(after.tables[static_cast<std::size_t>(SlotIndex('9'))].status, c.secondStatus);
    }
}

std::string Calibration(char probe, const std::string& lastNumber = "+27000000+17") {
    std::string message = std::string("W") + probe + "flx\xB0        ";
    for (int k = 1; k < 17; ++k) {
        char number[16];
        std::snprintf(number, sizeof number, "%c%02d000000%c%02d", k % 2 ? '+' : '-', 10 + k, k % 3 ? '+' : '-', k);
        message += number;
    }
    return message + lastNumber + "\r\n";
}

TEST_F(UploadsTest, CalibrationIsDecodedIntoTheTranscriptAndAcknowledged) {
    EmulatorOptions options;
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    const std::string message = Calibration('3');
    ASSERT_EQ(message.size(), 220u);
    EXPECT_EQ(line_.Ask(message, 3), kAck);
    std::vector<std::string> lines = Lines(Path("transcript.txt"));
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines[0], EscapeBytes(message));
    EXPECT_EQ(lines[1], "# calibration for the FLX sensor (3), name \"flx\\xB0        \"");
    EXPECT_EQ(lines[2], "# value 1: +11000000+01 = +1.1000000E+01");
    EXPECT_EQ(lines[3], "# value 2: -12000000+02 = -1.2000000E+02");
    EXPECT_EQ(lines[4], "# value 3: +13000000-03 = +1.3000000E-03");
    EXPECT_EQ(lines[18], "# value 17: +27000000+17 = +2.7000000E+17");
}

TEST_F(UploadsTest, CalibrationRefusals) {
    const std::string orbis = Calibration('2');
    int run = 0;
    struct Case {
        unsigned busy;
        unsigned refused;
        std::vector<std::pair<std::string, std::string>> exchanges;  // message, reply
        std::string lastNote;                                       // "" when none
    };
    for (const Case& c : std::vector<Case>{
             {0, kEveryTime, {{orbis, kNo}, {orbis, kNo}}, ""},
             {1, 1, {{orbis, "K\r\n"}, {orbis, kNo}, {orbis, kAck}}, "# value 17: +27000000+17 = +2.7000000E+17"},
             {0, 0, {{Calibration('1'), kNo}},
              "# calibration refused: probe kind code \"1\" is neither \"2\" (Orbis probe) nor \"3\" (FLX sensor)"},
             {0, 0, {{Calibration('2', "+1.500000E+0"), kNo}},
              "# calibration refused: value 17: \"+1.500000E+0\" is not a number of the form +12345678+00"},
         }) {
        SCOPED_TRACE(c.lastNote);
        MeterEmulator meter;
        EmulatorOptions options;
        options.memoryFile = kExampleMeter;
        options.transcriptFile = Path("t" + std::to_string(++run) + ".txt");
        options.faults.busyCalibrations = c.busy;
        options.faults.refusedCalibrations = c.refused;
        std::string slave, error;
        ASSERT_TRUE(meter.Start(options, &slave, &error)) << error;
        PtyLine line(slave);
        for (const auto& [message, reply] : c.exchanges) EXPECT_EQ(line.Ask(message, 3), reply);
        EXPECT_EQ(Lines(options.transcriptFile).back(),
                  c.lastNote.empty() ? EscapeBytes(c.exchanges.back().first) : c.lastNote);
    }
}

}  // namespace
}  // namespace tq4sim::testing
