// The meter's memory as read from a file, its calendar, and the command line.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tools/tq4sim/command_table.h"
#include "tools/tq4sim/meter_state.h"
#include "tools/tq4sim/options.h"

namespace tq4sim {
namespace {

const CivilTime kWallNow{2024, 3, 5, 14, 7, 9};

std::string ReadExample() {
    std::ifstream file(LOAMER_EXAMPLES_DIR "/meter.json", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The load error for a document, or "" when it loads.
std::string LoadError(const std::string& json) {
    MeterState state;
    std::string error;
    return LoadMeterState(json, kWallNow, SteadyTime{}, &state, &error) ? "" : error;
}

TEST(MeterCalendar, KeepsRealDatesAndRunsAcrossMonthAndYearEnds) {
    EXPECT_TRUE(IsValidCivil({2024, 2, 29, 23, 59, 59}));
    EXPECT_FALSE(IsValidCivil({2023, 2, 29, 0, 0, 0}));
    EXPECT_FALSE(IsValidCivil({1900, 2, 29, 0, 0, 0}));
    EXPECT_FALSE(IsValidCivil({2024, 4, 31, 0, 0, 0}));
    EXPECT_FALSE(IsValidCivil({2024, 13, 1, 0, 0, 0}));
    EXPECT_FALSE(IsValidCivil({2024, 1, 1, 24, 0, 0}));
    EXPECT_FALSE(IsValidCivil({2024, 1, 1, 0, 60, 0}));

    EXPECT_EQ(CivilToSeconds({1970, 1, 1, 0, 0, 0}), 0);
    EXPECT_EQ(CivilToSeconds({2000, 3, 1, 0, 0, 0}), 951868800);

    MeterClock clock;
    SteadyTime at{};
    clock.Set('2', {2023, 12, 31, 23, 59, 30}, at);
    CivilTime later = clock.Read(at + std::chrono::seconds(61));
    EXPECT_EQ(later.year, 2024);
    EXPECT_EQ(later.month, 1);
    EXPECT_EQ(later.day, 1);
    EXPECT_EQ(later.hour, 0);
    EXPECT_EQ(later.minute, 0);
    EXPECT_EQ(later.second, 31);
    EXPECT_EQ(clock.order(), '2');

    clock.Set('0', {2024, 2, 28, 23, 59, 59}, at);
    EXPECT_EQ(clock.Read(at + std::chrono::milliseconds(1500)).day, 29);

    // Past year 9999 the four digits start again, and the reply keeps its length.
    MeterState state;
    state.clock.Set('1', {9999, 12, 31, 23, 59, 59}, at);
    EXPECT_EQ(ClockReply(state, at + std::chrono::seconds(2)), "H100000101000001\r\n");
}

TEST(MeterMemoryFile, ExampleMeterHasTwoTablesAndTheDocumentedStatus) {
    MeterState state;
    std::string error;
    ASSERT_TRUE(LoadMeterState(ReadExample(), kWallNow, SteadyTime{}, &state, &error)) << error;
    EXPECT_EQ(StatusReply(state), "NV2.13  872800002000000000\r\n");
    EXPECT_EQ(state.clock.order(), '1');
    CivilTime clock = state.clock.Read(SteadyTime{});  // "now": the computer's time at load
    EXPECT_EQ(clock.year, 2024);
    EXPECT_EQ(clock.second, 9);
    for (std::size_t i = 0; i < kSlotIds.size(); ++i) {
        bool expected = kSlotIds[i] == '1' || kSlotIds[i] == '4';
        EXPECT_EQ(state.tables[i].present, expected) << "slot " << kSlotIds[i];
    }
    const TableSlot& kr5 = state.tables[0];
    EXPECT_EQ(kr5.name, std::string("KR5 Loam\0\0", 10));
    EXPECT_EQ(kr5.count, "08");
    EXPECT_EQ(kr5.points[7], "1150,049.100");
    EXPECT_EQ(kr5.points[8], kEmptyPoint);
    EXPECT_EQ(state.tables[2].count, "12");
}

TEST(MeterMemoryFile, FieldsGivenAsTextGoOutExactly) {
    MeterState state;
    std::string error;
    ASSERT_TRUE(LoadMeterState(R"({"version": "V1.0°\u00b0", "battery": "87.", "free_units": "  120",
                                   "readings": 3, "clock": {"order": "2", "time": "1999-12-31 23:59:58"},
                                   "tables": {"F": {"status": "1", "name": "Odd", "count": "5",
                                                    "reported_id": "3", "points": ["0000,000.000"]}}})",
                               kWallNow, SteadyTime{}, &state, &error))
        << error;
    EXPECT_EQ(StatusReply(state), "NV1.0\xB0\xB0" "87.  12002000000003\r\n");
    EXPECT_EQ(ClockReply(state, SteadyTime{}), "H219991231235958\r\n");
    EXPECT_EQ(TableReply(state, '1', 'F'), std::string("B13" "1" "Odd\0\0\0\0\0\0\0" "5\0\r\n", 18));
}

TEST(MeterMemoryFile, RefusesWhatAMeterCannotHold) {
    EXPECT_NE(LoadError(R"({"version": "V2.13"})").find("6 bytes"), std::string::npos);
    EXPECT_NE(LoadError(R"({"batery": 87})").find("unknown member \"batery\""), std::string::npos);
    EXPECT_NE(LoadError(R"({"battery": 87.5})"), "");
    EXPECT_NE(LoadError(R"({"free_units": 100000})"), "");
    EXPECT_NE(LoadError(R"({"version": "V2.1\u01003"})").find("\\u00ff"), std::string::npos);
    EXPECT_NE(LoadError(R"({"tables": {"3": {}}})").find("slot id"), std::string::npos);
    EXPECT_NE(LoadError(R"({"tables": {"1": {"name": "ELEVEN CHAR"}}})"), "");
    EXPECT_NE(LoadError(R"({"tables": {"1": {"points": ["0000,00.000"]}}})"), "");
    EXPECT_NE(LoadError(R"({"clock": {"time": "2023-02-29 00:00:00"}})"), "");
    EXPECT_NE(LoadError(R"({"clock": {"order": "3"}})"), "");
    EXPECT_NE(LoadError("[]"), "");
}

TEST(MeterMemoryFile, FaultsNameTheirPlace) {
    struct Case {
        std::string json;
        std::string start;  // of the error
    };
    for (const Case& c : std::vector<Case>{
             {"{\n  \"battery\": 87,\n  \"readings\" 0\n}", "line 3, column 14: "},
             {R"({"battery": 87, "battery": 86})", "line 1, column 17: duplicate member \"battery\""},
             {R"({"version": "V2.13 "} x)", "line 1, column 23: "},
             {R"({"version": "V2.13 )", "line 1, column 20: "},  // just past the end
             {R"({"version": "V2.1\u01003"})", "line 1, column 13: a character above \\u00ff"},
             {"{\n \"readings\": 12,\n \"battery\":1000}", "line 3, column 12: \"battery\" must be"},
             {"{\"tables\": {\n  \"1\": {\"points\": [\"0100,005.200\",\n     \"0000,00.000\"]}}}",
              "line 3, column 6: \"points\" must be"},
             {"{\"clock\": {\r\n\t\"order\": \"3\"}}", "line 2, column 11: \"order\" must be"},
             {"  [1]", "line 1, column 3: the memory file must hold one object"},
         }) {
        EXPECT_EQ(LoadError(c.json).substr(0, c.start.size()), c.start) << c.json;
    }
    EXPECT_NE(LoadError(std::string(200, '[')).find("too deep"), std::string::npos);
}

TEST(CommandLine, ReadsEveryOptionAndItsValue) {
    EmulatorOptions options;
    std::string error;
    ASSERT_EQ(ParseCommandLine({"--link", "/tmp/tq4", "--memory=m.json", "--transcript", "t.txt", "--pace", "9600",
                                "--silent-handshakes", "1", "--busy", "--refuse", "2", "--broken-frame",
                                "--silent", "R", "--silent=E", "--garbage", "I", "--split", "T:10:50",
                                "--delay", "F:200", "--hangup-after", "7", "--record-silent", "3:2",
                                "--record-silent=5", "--record-kind", "4:E", "--corrupt-at", "9",
                                "--hangup-at-record=12", "--record-gap", "0", "--generate-readings", "2000",
                                "--table-busy", "1", "--table-refuse=3", "--table-garbage", "5", "--cal-busy",
                                "--cal-refuse", "2", "--block-silent", "10", "--block-silent=0:2",
                                "--block-letter", "5:H", "--x-busy", "--x-refuse=2", "--x-broken", "end:3"},
                               &options, &error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(options.linkPath, "/tmp/tq4");
    EXPECT_EQ(options.memoryFile, "m.json");
    EXPECT_EQ(options.transcriptFile, "t.txt");
    EXPECT_EQ(options.paceBaud, 9600u);
    const FaultOptions& f = options.faults;
    EXPECT_EQ(f.silentHandshakes, 1u);
    EXPECT_EQ(f.busyHandshakes, kEveryTime);
    EXPECT_EQ(f.refusedHandshakes, 2u);
    EXPECT_EQ(f.brokenHandshakes, kEveryTime);
    EXPECT_EQ(f.silentCommands, "RE");
    EXPECT_EQ(f.garbageCommands, "I");
    ASSERT_EQ(f.split.count('T'), 1u);
    EXPECT_EQ(f.split.at('T').pieceBytes, 10u);
    EXPECT_EQ(f.split.at('T').gapMs, 50u);
    EXPECT_EQ(f.delayMs.at('F'), 200u);
    EXPECT_EQ(f.hangupAfter, 7u);
    EXPECT_EQ(f.silentRecords, (std::map<unsigned, unsigned>{{3, 2}, {5, kEveryTime}}));
    EXPECT_EQ(f.recordKinds, (std::map<unsigned, char>{{4, 'E'}}));
    EXPECT_EQ(f.corruptAt, 9u);
    EXPECT_EQ(f.hangupAtRecord, 12u);
    EXPECT_EQ(f.recordGapMs, 0u);
    EXPECT_EQ(options.generateReadings, 2000u);
    EXPECT_EQ(f.tableFaults, (std::map<unsigned, UploadFault>{
                                 {1, UploadFault::Busy}, {3, UploadFault::Refused}, {5, UploadFault::Garbage}}));
    EXPECT_EQ(f.busyCalibrations, kEveryTime);
    EXPECT_EQ(f.refusedCalibrations, 2u);
    EXPECT_EQ(f.silentBlocks, (std::map<unsigned, unsigned>{{0, 2}, {10, kEveryTime}}));
    EXPECT_EQ(f.blockLetters, (std::map<unsigned, char>{{5, 'H'}}));
    EXPECT_EQ(f.busyExchanges, kEveryTime);
    EXPECT_EQ(f.refusedExchanges, 2u);
    EXPECT_EQ(f.brokenExchanges, 3u);
    EXPECT_EQ(f.exchangeBreak, ExchangeBreak::LineEnd);
    for (auto [value, how] : {std::pair{"letter", ExchangeBreak::Letter}, std::pair{"number", ExchangeBreak::Number}}) {
        EmulatorOptions other;
        ASSERT_EQ(ParseCommandLine({"--x-broken", value}, &other, &error), ParseOutcome::Run) << error;
        EXPECT_EQ(other.faults.exchangeBreak, how);
        EXPECT_EQ(other.faults.brokenExchanges, kEveryTime);
    }
}

TEST(CommandLine, RefusesMalformedOptions) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--pace"}, {"--pace", "fast"}, {"--pace", "0"}, {"--silent", "IF"}, {"--split", "T:0:5"},
             {"--split", "T:10"}, {"--delay", "F200"}, {"--hangup-after", "0"}, {"--frobnicate"},
             {"--help=yes"}, {"--record-silent", "0"}, {"--record-silent", "3:0"}, {"--record-silent", "3:"},
             {"--record-kind", "4"}, {"--record-kind", "4:EE"}, {"--corrupt-at", "100000"},
             {"--hangup-at-record", "x"}, {"--generate-readings", "100000"}, {"--table-busy", "0"},
             {"--table-refuse"}, {"--block-silent", "100000"}, {"--block-silent", "3:0"}, {"--block-letter", "5"},
             {"--block-letter", "5:GG"}, {"--x-broken"}, {"--x-broken", "Letter"}, {"--x-broken", "end:0"},
             {"--x-refuse=all"}}) {
        EmulatorOptions options;
        std::string error;
        EXPECT_EQ(ParseCommandLine(args, &options, &error), ParseOutcome::Error) << args[0];
        EXPECT_FALSE(error.empty());
    }
    EmulatorOptions options;
    std::string error;
    EXPECT_EQ(ParseCommandLine({"--busy", "--help"}, &options, &error), ParseOutcome::Help);
}

}  // namespace
}  // namespace tq4sim
