// Stored records as a memory file describes them: the bodies they make, the entries refused,
// and the example meters a retrieval can read from end to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "tools/tq4sim/command_table.h"
#include "tools/tq4sim/meter_state.h"
#include "tools/tq4sim/session.h"
#include "tools/tq4sim/stored_records.h"

namespace tq4sim {
namespace {

const CivilTime kWallNow{2024, 3, 5, 14, 7, 9};

bool Load(const std::string& json, MeterState* state, std::string* error) {
    return LoadMeterState(json, kWallNow, SteadyTime{}, state, error);
}

std::string LoadError(const std::string& json) {
    MeterState state;
    std::string error;
    return Load(json, &state, &error) ? "" : error;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(RecordEntries, EachFormMakesItsFixedWidthBody) {
    struct Case {
        std::string entry;
        char kind;
        std::string body;
    };
    const std::string kUnusedGroup = " 000000000.0";
    std::string groups;
    for (int i = 0; i < 6; ++i) groups += kUnusedGroup;
    const std::vector<Case> cases = {
        {R"({"kind": "1", "device": "6", "quantities": ["8", "2"], "root_depth": 300, "soils": "MO1",
             "sensor_depths": [100, 200, "0300"],
             "calibration": [{"a0": "1.3", "a1": "7.7", "field_capacity": "055.0"}]})",
         '1', "00001" "6382 " "0300" "MO1   " "010002000300000000000000" " 1.37.7055.0" + groups + "\r\n"},
        {R"({"kind": "1", "sensor_depths": [100, 200]})",  // the depth count follows the depths
         '1', "00002" "6220 " "0000" "      " "010002000000000000000000" + kUnusedGroup + groups + "\r\n"},
        {R"({"kind": "A", "number": 7, "device": "9", "channels": "WBT", "vwc_units": "2", "ec_units": "4",
             "root_depth": 300, "sensor_depth": "0150", "soil": "3", "b0": "123", "b1": "051",
             "field_capacity": "045.0", "soil_parameter": "1.5", "ec_compensation": "1", "percent": "020"})",
         'A', "00007" "9" "WBT  " "24" "0300" "0150" "3" "123051045.01.5" "1" "020" "\r\n"},
        {R"({"kind": "3", "sample": 12, "plot": "B", "device": "T1", "time": "2016-03-05 14:07:09",
             "slots": ["0.25", {"value": "*******", "flag": "1"}, {"value": "1.5   "}, ""]})",
         '3', "00004" "0012" "B" "T1 " "20160305140709" "   0.25 " "*******1" " 1.5    " "        " "\r\n"},
        {R"({"kind": "E", "sample": "ab", "number": "0001x", "time": "2024-02-29 23:59:59",
             "slots": ["1", "2", "3", "4", {"flag": "R"}]})",
         'E', "0001x" "ab  " "1" "   " "20240229235959" "      1       2       3       4        R" "\r\n"},
        {R"({"kind": "3", "body": "00006 short"})", '3', "00006 short\r\n"},
        {R"({"kind": "9", "comment": "the memory fails here"})", '9', ""},
        {R"({"kind": "Q"})", 'Q', ""},
    };
    std::string json = R"({"records": [)";
    for (std::size_t i = 0; i < cases.size(); ++i) json += (i ? ",\n" : "\n") + cases[i].entry;
    json += "]}";
    MeterState state;
    std::string error;
    ASSERT_TRUE(Load(json, &state, &error)) << error;
    ASSERT_EQ(state.records.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(state.records[i].kind, cases[i].kind) << cases[i].entry;
        EXPECT_EQ(state.records[i].body, cases[i].body) << cases[i].entry;
    }
}

TEST(RecordEntries, AnEntryThatDoesNotFitIsRefusedWithItsPlace) {
    struct Case {
        std::string json;
        std::string start;  // of the error
    };
    for (const Case& c : std::vector<Case>{
             {"{\"records\": [\n  {\"kind\": \"3\", \"time\": \"2024-01-01 00:00:00\",\n"
              "   \"slots\": [\"0.1\", \"0.2\", \"0.12345678\", \"0.4\"]}]}",
              "line 3, column 28: a value must be a string of up to 7 bytes"},
             {"{\"records\": [{\"kind\": \"A\",\n \"b0\": \"1234\"}]}", "line 2, column 8: \"b0\" must be a string of 3"},
             {"{\"records\": [{\"kind\": \"2\", \"time\": \"2024-01-01 00:00:00\", \"sample\": \"12345\", \"slots\": [\"1\"]}]}",
              "line 1, column 69: \"sample\" must be"},
             {"{\"records\": [\n{\"kind\": \"3\", \"time\": \"2024-01-01 00:00:00\", \"slots\": [\"1\", \"2\", \"3\"]}]}",
              "line 2, column 55: \"slots\" must be an array of 4 slots for kind \"3\""},
             {"{\"records\": [{\"kind\": \"1\"},\n  {\"kind\": \"2\", \"slots\": [\"1\"]}]}",
              "line 2, column 3: a reading needs a \"time\""},
             {"{\"records\": [{\"kind\": \"E\", \"time\": \"2024-01-01 00:00:00\"}]}",
              "line 1, column 14: a reading of kind \"E\" needs \"slots\", 5 of them"},
             {"{\"records\": [{\"kind\": \"1\", \"number\": 100000}]}", "line 1, column 38: \"number\" must be"},
             {"{\"records\": [{\"kind\": \"1\", \"soil\": \"M\"}]}",
              "line 1, column 36: unknown member \"soil\" in a profile header"},
             {"{\"records\": [{\"kind\": \"1\", \"sensor_depths\": [1, 2, 3, 4, 5, 6, 7]}]}",
              "line 1, column 45: \"sensor_depths\" must be an array of at most 6 depths"},
             {"{\"records\": [{\"kind\": \"1\", \"calibration\": [{\"a0\": \"1.3\", \"a1\": \"7.7\", \"fc\": \"0\"}]}]}",
              "line 1, column 77: unknown member \"fc\" in a calibration group"},
             {"{\"records\": [{\"kind\": \"1\", \"quantities\": []}]}",
              "line 1, column 42: \"quantities\" must be an array of 1 or 2 quantity codes"},
             {"{\"records\": [{\"kind\": \"9\", \"number\": 3}]}", "line 1, column 38: unknown member \"number\""},
             {"{\"records\": [{\"body\": \"00001\"}]}", "line 1, column 14: a record needs a \"kind\""},
         }) {
        EXPECT_EQ(LoadError(c.json).substr(0, c.start.size()), c.start) << c.json;
    }
}

TEST(RecordEntries, ReadingsStoredCountTheReadingsUnlessTheFileGivesThem) {
    const std::string records = R"("records": [{"kind": "1"},
        {"kind": "2", "time": "2024-01-01 00:00:00", "slots": ["1"]},
        {"kind": "2", "body": "odd"}, {"kind": "A"}, {"kind": "9"}])";
    for (auto [json, readings] : std::vector<std::pair<std::string, std::string>>{
             {"{" + records + "}", "000002"},
             {R"({"readings": 7, )" + records + "}", "000007"},
             {"{" + records + R"(, "readings": "  12  "})", "  12  "},
             {"{}", "000000"},
         }) {
        MeterState state;
        std::string error;
        ASSERT_TRUE(Load(json, &state, &error)) << error;
        EXPECT_EQ(StatusReply(state).substr(20, 6), readings) << json;
    }
}

// What a retrieval holds every record to: its kind's body length, its own number first, a
// reading of the kind its data set's header announces, and a number in every valid value the
// header selects. "" when all hold.
std::string RetrievalFault(const std::vector<StoredRecord>& records) {
    static const std::map<char, std::size_t> kLength = {{'1', 130}, {'A', 42}, {'2', 37}, {'3', 61}, {'4', 77},
                                                        {'5', 45},  {'6', 93}, {'7', 125}, {'E', 69}};
    char expected = '0';
    std::vector<std::size_t> selected;  // slots the current header's readings carry
    for (std::size_t i = 0; i < records.size(); ++i) {
        const StoredRecord& r = records[i];
        const std::string& b = r.body;
        const std::string where = "record " + std::to_string(i + 1) + ": ";
        auto length = kLength.find(r.kind);
        if (length == kLength.end()) return where + "kind " + r.kind;
        if (b.size() != length->second) return where + "length " + std::to_string(b.size());
        char number[24];
        std::snprintf(number, sizeof number, "%05zu", i + 1);
        if (b.compare(0, 5, number) != 0 || b.compare(b.size() - 2, 2, "\r\n") != 0) return where + b;
        if (r.kind == '1') {
            const std::size_t n = static_cast<std::size_t>(b[6] - '0');
            const bool two = b[8] != '0';
            expected = two ? (n == 1 ? '5' : n <= 4 ? '6' : '7') : (n == 1 ? '2' : n <= 4 ? '3' : '4');
            selected.clear();
            for (std::size_t d = 0; d < n; ++d) {
                if (d == 0 || b[7] != '8') selected.push_back(two ? 2 * d : d);
                if (two) selected.push_back(2 * d + 1);
            }
        } else if (r.kind == 'A') {
            expected = 'E';
            selected.clear();
            for (std::size_t c = 0; c < 5 && b[6 + c] != ' '; ++c) selected.push_back(c);
        } else if (r.kind != expected) {
            return where + "kind " + r.kind + " in a set of " + expected;
        } else {
            for (std::size_t slot : selected) {
                const std::string value = b.substr(27 + 8 * slot, 7);
                char* end = nullptr;
                std::strtod(value.c_str(), &end);
                if (b[34 + 8 * slot] == ' ' && (end != value.c_str() + 7)) return where + "value \"" + value + "\"";
            }
        }
    }
    return "";
}

TEST(ExampleMeters, LoadAndHoldRetrievableSetsOfEveryForm) {
    std::set<std::string> seen;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(LOAMER_EXAMPLES_DIR)) {
        if (entry.path().extension() != ".json") continue;
        ++files;
        MeterState state;
        std::string error;
        ASSERT_TRUE(Load(ReadFile(entry.path()), &state, &error)) << entry.path() << ": " << error;
        EXPECT_EQ(RetrievalFault(state.records), "") << entry.path();
        for (const StoredRecord& r : state.records) {
            seen.insert(std::string("kind ") + r.kind);
            if (r.kind == '1' && r.body[7] == '8') seen.insert("deficit first");
            if (r.kind == 'A') {
                seen.insert(std::string("sensor device ") + r.body[5]);
                seen.insert(std::string("EC compensation ") + r.body[36]);
                if (r.body[5] == 'A') seen.insert(r.body[21] < 'N' ? "device A soil" : "device A substrate");
            }
            if (IsReadingKind(r.kind)) {
                for (std::size_t flag = 34; flag < r.body.size(); flag += 8) {
                    if (r.body[flag] != ' ') seen.insert("flagged value");
                }
            }
        }
    }
    EXPECT_GE(files, 4u);
    for (const char* wanted : {"kind 1", "kind A", "kind 2", "kind 3", "kind 4", "kind 5", "kind 6", "kind 7",
                               "kind E", "deficit first", "sensor device A", "sensor device 9", "device A soil",
                               "device A substrate", "EC compensation 0", "EC compensation 1",
                               "EC compensation 2", "flagged value"}) {
        EXPECT_EQ(seen.count(wanted), 1u) << wanted;
    }
}

TEST(GeneratedReadings, AreRetrievableAndCounted) {
    MeterState state = DefaultMeterState(kWallNow, SteadyTime{});
    AppendGeneratedReadings(&state, 2000);
    EXPECT_EQ(CountReadings(state.records), 2000u);
    EXPECT_EQ(state.records.size(), 2020u);  // a header before every 100
    EXPECT_EQ(state.readings, "002000");
    EXPECT_EQ(RetrievalFault(state.records), "");

    // After a memory's own records, numbered on from them; a readings field of odd bytes stays.
    MeterState odd;
    std::string error;
    ASSERT_TRUE(Load(R"({"readings": "x    x", "records": [{"kind": "9"}]})", &odd, &error)) << error;
    AppendGeneratedReadings(&odd, 5);
    ASSERT_EQ(odd.records.size(), 7u);
    EXPECT_EQ(odd.records[1].body.substr(0, 5), "00002");
    EXPECT_EQ(odd.readings, "x    x");
}

TEST(ReplyPieces, PauseAfterThePrefixWithinSplitPieces) {
    struct Case {
        ReplyPlan plan;
        std::vector<std::size_t> sizes;
        std::vector<unsigned> gaps;
    };
    auto plan = [](std::size_t size, unsigned delay, std::size_t piece, unsigned gap, std::size_t pauseAfter,
                   unsigned pause) {
        ReplyPlan p;
        p.bytes.assign(size, 'x');
        p.delayMs = delay;
        p.pieceBytes = piece;
        p.pieceGapMs = gap;
        p.pauseAfter = pauseAfter;
        p.pauseMs = pause;
        return p;
    };
    for (const Case& c : std::vector<Case>{
             {plan(45, 0, 0, 0, 4, 10), {4, 41}, {0, 10}},
             {plan(45, 7, 10, 3, 4, 10), {4, 10, 10, 10, 10, 1}, {7, 10, 3, 3, 3, 3}},
             {plan(4, 0, 0, 0, 4, 10), {4}, {0}},
             {plan(12, 5, 5, 2, 0, 0), {5, 5, 2}, {5, 2, 2}},
         }) {
        std::vector<std::size_t> sizes;
        std::vector<unsigned> gaps;
        std::size_t next = 0;
        for (const ReplyPiece& piece : SplitReply(c.plan)) {
            EXPECT_EQ(piece.offset, next);
            next += piece.size;
            sizes.push_back(piece.size);
            gaps.push_back(piece.gapBeforeMs);
        }
        EXPECT_EQ(sizes, c.sizes);
        EXPECT_EQ(gaps, c.gaps);
    }
}

}  // namespace
}  // namespace tq4sim
