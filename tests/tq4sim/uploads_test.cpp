// Table uploads ('B', three messages) and calibrations ('W') on the line: what the meter
// answers, what the tables status shows afterwards, and the transcript's notes.
#include "tests/tq4sim/emulator_fixture.h"

namespace tq4sim::testing {
namespace {

using UploadsTest = EmulatorTest;

constexpr const char* kAllSlots = LOAMER_EXAMPLES_DIR "/all-slots.json";
constexpr const char* kAck = "A\r\n";

std::string Header(char code, const std::string& title, const std::string& count) {
    std::string message = std::string("B1") + code + "2" + title;
    message.resize(14, '\0');
    message += count;
    message.resize(16, '\0');
    return message + "\r\n";
}

// Row n (from 1) of a table: rising milliVolts and values; "0000,000.000" past the count.
std::string Row(std::size_t n, std::size_t count) {
    if (n > count) return "0000,000.000";
    char text[16];
    std::snprintf(text, sizeof text, "%04zu,%07.3f", 100 * n, 2.5 * static_cast<double>(n));
    return text;
}

std::string Rows(char part, char code, std::size_t count) {
    std::string message = std::string("B") + part + code;
    std::size_t first = part == '2' ? 1 : 11;
    for (std::size_t n = first; n < first + 10; ++n) message += Row(n, count);
    return message + "\r\n";
}

std::string TableRequest(char part, char code) { return std::string("T") + part + code + "\r\n"; }

struct Upload {
    char code;
    std::string title;
    std::string count;  // as sent: one digit and a zero byte, or two digits
    std::size_t rows;

    std::vector<std::string> Messages() const {
        return {Header(code, title, count), Rows('2', code, rows), Rows('3', code, rows)};
    }
};

TEST_F(UploadsTest, EachMessageIsAcknowledgedAndTheTableShowsInItsSlot) {
    EmulatorOptions options;
    options.memoryFile = kAllSlots;
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    std::vector<std::string> expectedLines;
    for (const Upload& upload : std::vector<Upload>{{'1', "Clay 1", std::string("3\0", 2), 3},
                                                    {'F', "KR6S Peat", "12", 12},
                                                    {'G', "KR7 Gravel", "20", 20},
                                                    {'C', "G", "02", 2}}) {
        SCOPED_TRACE(upload.code);
        std::vector<std::string> messages = upload.Messages();
        EXPECT_EQ(line_.Ask(messages[0], 3), kAck);
        // While the rows are on their way the slot shows the new header as not ready.
        std::string pending = messages[0];
        pending[3] = '1';
        EXPECT_EQ(line_.Ask(TableRequest('1', upload.code), 18), pending);
        EXPECT_EQ(line_.Ask(messages[1], 3), kAck);
        EXPECT_EQ(line_.Ask(messages[2], 3), kAck);
        // The three parts of the tables status are the three messages, byte for byte.
        for (char part : {'1', '2', '3'}) {
            EXPECT_EQ(line_.Ask(TableRequest(part, upload.code), messages[static_cast<std::size_t>(part - '1')].size()),
                      messages[static_cast<std::size_t>(part - '1')])
                << part;
        }
        EXPECT_EQ(line_.Read(1, 30), "");
        for (const std::string& m : messages) expectedLines.push_back(EscapeBytes(m));
        expectedLines.push_back(std::string("# table installed in slot ") + upload.code + ": name \"" +
                                EscapeBytes(messages[0].substr(4, 10)) + "\", count \"" +
                                EscapeBytes(upload.count) + "\", status \"2\"");
    }
    // Transcript: each upload's messages and its note; the status requests in between.
    std::vector<std::string> uploadLines;
    for (const std::string& line : Lines(Path("transcript.txt"))) {
        if (!line.starts_with("T")) uploadLines.push_back(line);
    }
    EXPECT_EQ(uploadLines, expectedLines);
    // Slots not uploaded to keep their factory tables.
    EXPECT_EQ(line_.Ask(TableRequest('1', '2'), 18), std::string("B122KR6 Std\0\0\0" "04\r\n", 18));
}

TEST_F(UploadsTest, MessagesTheMeterCannotTakeAreRefusedWithAReason) {
    EmulatorOptions options;
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));  // slots 1 and 4 only
    const std::string kr5Before = line_.Ask(TableRequest('1', '1'), 18);
    struct Case {
        std::string message;
        std::string reply;
        std::string note;  // "" for none
    };
    for (const Case& c : std::vector<Case>{
             {Header('2', "KR6", "05"), "!\r\n", "# table message 1 for slot \"2\" refused: the meter has no such slot"},
             {Header('X', "KR6", "05"), "!\r\n", "# table message 1 for slot \"X\" refused: the meter has no such slot"},
             {Rows('2', '1', 5), "!\r\n",
              "# table message 2 for slot 1 refused: it does not follow its header and the rows before it"},
             {Header('1', "New", "05"), kAck, ""},
             {Rows('3', '1', 5), "!\r\n",
              "# table message 3 for slot 1 refused: it does not follow its header and the rows before it"},
             {Rows('2', '4', 5), "!\r\n",
              "# table message 2 for slot 4 refused: it does not follow its header and the rows before it"},
             {"B4" + Rows('2', '1', 5).substr(2), "!\r\n", ""},  // no part 4: taken up to its line end
             {"B\r\n", "!\r\n", ""},
         }) {
        SCOPED_TRACE(EscapeBytes(c.message));
        EXPECT_EQ(line_.Ask(c.message, 3), c.reply);
        std::vector<std::string> lines = Lines(Path("transcript.txt"));
        ASSERT_FALSE(lines.empty());
        if (c.note.empty()) {
            EXPECT_EQ(lines.back(), EscapeBytes(c.message));
        } else {
            EXPECT_EQ(lines.back(), c.note);
        }
    }
    // The header was taken, its rows never came: the slot is not ready and keeps its old rows.
    std::string header = line_.Ask(TableRequest('1', '1'), 18);
    EXPECT_EQ(header, std::string("B111New\0\0\0\0\0\0\0" "05\r\n", 18));
    EXPECT_NE(header, kr5Before);
    EXPECT_EQ(line_.Ask(TableRequest('2', '1'), 125).substr(3, 12), "0100,005.200");
}

TEST_F(UploadsTest, FaultsAtTheNthTableMessage) {
    const Upload first{'1', "First", "04", 4};
    const Upload second{'9', "Second", "15", 15};
    struct Case {
        const char* name;
        unsigned message;
        UploadFault fault;
        std::vector<std::string> replies;  // of the six messages; "?" for garbage of 3 bytes
        char firstStatus;                 // the first table's status afterwards
        char secondStatus;
    };
    for (const Case& c : std::vector<Case>{
             {"busy header", 1, UploadFault::Busy, {"K\r\n", "!\r\n", "!\r\n", kAck, kAck, kAck}, '2', '2'},
             {"refused rows", 2, UploadFault::Refused, {kAck, "!\r\n", "!\r\n", kAck, kAck, kAck}, '1', '2'},
             {"garbled last ack", 3, UploadFault::Garbage, {kAck, kAck, "?", kAck, kAck, kAck}, '2', '2'},
             {"busy second header", 4, UploadFault::Busy, {kAck, kAck, kAck, "K\r\n", "!\r\n", "!\r\n"}, '2', '2'},
             {"refused second rows", 6, UploadFault::Refused, {kAck, kAck, kAck, kAck, kAck, "!\r\n"}, '2', '1'},
         }) {
        SCOPED_TRACE(c.name);
        MeterEmulator meter;
        EmulatorOptions options;
        options.memoryFile = kAllSlots;
        options.faults.tableFaults[c.message] = c.fault;
        std::string slave, error;
        ASSERT_TRUE(meter.Start(options, &slave, &error)) << error;
        PtyLine line(slave);
        std::vector<std::string> messages = first.Messages();
        for (const std::string& m : second.Messages()) messages.push_back(m);
        for (std::size_t i = 0; i < messages.size(); ++i) {
            std::string reply = line.Ask(messages[i], 3);
            if (c.replies[i] == "?") {
                EXPECT_EQ(reply.size(), 3u);
                EXPECT_NE(reply, kAck);
            } else {
                EXPECT_EQ(reply, c.replies[i]) << "message " << i + 1;
            }
        }
        MeterState after = meter.Snapshot();
        EXPECT_EQ(after.tables[static_cast<std::size_t>(SlotIndex('1'))].status, c.firstStatus);
        EXPECT_EQ(after.tables[static_cast<std::size_t>(SlotIndex('9'))].status, c.secondStatus);
        // A header answered busy is not taken: the factory table stays.
        if (c.message == 1 && c.fault == UploadFault::Busy) {
            EXPECT_EQ(after.tables[0].name, std::string("KR5 Std\0\0\0", 10));
        }
    }
}

// A calibration message: probe code, a name of 12 bytes, 17 numbers of 12 characters.
std::string Calibration(char probe, const std::string& name, const std::vector<std::string>& numbers) {
    std::string message = std::string("W") + probe + name;
    for (const std::string& n : numbers) message += n;
    return message + "\r\n";
}

std::vector<std::string> SeventeenNumbers() {
    std::vector<std::string> numbers;
    for (int k = 1; k <= 17; ++k) {
        char text[16];
        std::snprintf(text, sizeof text, "%c%02d000000%c%02d", k % 2 ? '+' : '-', 10 + k, k % 3 ? '+' : '-', k);
        numbers.push_back(text);
    }
    return numbers;
}

TEST_F(UploadsTest, CalibrationIsDecodedIntoTheTranscriptAndAcknowledged) {
    EmulatorOptions options;
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    const std::vector<std::string> numbers = SeventeenNumbers();
    const std::string message = Calibration('3', "flx\xB0        ", numbers);
    ASSERT_EQ(message.size(), 220u);
    EXPECT_EQ(line_.Ask(message, 3), kAck);
    std::vector<std::string> expected = {EscapeBytes(message),
                                         "# calibration for the FLX sensor (3), name \"flx\\xB0        \""};
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        const std::string& n = numbers[k];
        expected.push_back("# value " + std::to_string(k + 1) + ": " + n + " = " + n.substr(0, 2) + "." +
                           n.substr(2, 7) + "E" + n.substr(9));
    }
    EXPECT_EQ(Lines(Path("transcript.txt")), expected);
    EXPECT_EQ(expected[2], "# value 1: +11000000+01 = +1.1000000E+01");
}

TEST_F(UploadsTest, CalibrationRefusals) {
    std::vector<std::string> numbers = SeventeenNumbers();
    std::vector<std::string> badNumber = numbers;
    badNumber[16] = "+1.5000000E0";
    const std::string orbis = Calibration('2', "orbis       ", numbers);
    struct Case {
        const char* name;
        unsigned busy;
        unsigned refused;
        std::vector<std::pair<std::string, std::string>> exchanges;  // message, reply
        std::string lastNote;                                       // "" when none
    };
    for (const Case& c : std::vector<Case>{
             {"--cal-refuse", 0, kEveryTime, {{orbis, "!\r\n"}, {orbis, "!\r\n"}}, ""},
             {"--cal-busy 1 --cal-refuse 1", 1, 1, {{orbis, "K\r\n"}, {orbis, "!\r\n"}, {orbis, kAck}},
              "# value 17: +27000000+17 = +2.7000000E+17"},
             {"probe code", 0, 0, {{Calibration('1', "orbis       ", numbers), "!\r\n"}},
              "# calibration refused: probe kind code \"1\" is neither \"2\" (Orbis probe) nor \"3\" (FLX sensor)"},
             {"number form", 0, 0, {{Calibration('2', "orbis       ", badNumber), "!\r\n"}},
              "# calibration refused: value 17: \"+1.5000000E0\" is not a number of the form +12345678+00"},
         }) {
        SCOPED_TRACE(c.name);
        MeterEmulator meter;
        EmulatorOptions options;
        options.memoryFile = kExampleMeter;
        options.transcriptFile = Path(std::string(c.name) + ".txt");
        options.faults.busyCalibrations = c.busy;
        options.faults.refusedCalibrations = c.refused;
        std::string slave, error;
        ASSERT_TRUE(meter.Start(options, &slave, &error)) << error;
        PtyLine line(slave);
        for (const auto& [message, reply] : c.exchanges) EXPECT_EQ(line.Ask(message, 3), reply);
        std::vector<std::string> lines = Lines(options.transcriptFile);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.lastNote.empty() ? EscapeBytes(c.exchanges.back().first) : c.lastNote);
    }
}

}  // namespace
}  // namespace tq4sim::testing
