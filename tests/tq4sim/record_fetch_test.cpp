// Stored records on the line: the fetch "R" + 5 digits + "\r\n", its "Z<kind>\r\n" prefix and
// the body after it, and the faults at a record.
#include "tests/tq4sim/emulator_fixture.h"
#include "tools/tq4sim/command_table.h"

namespace tq4sim::testing {
namespace {

using RecordFetchTest = EmulatorTest;

constexpr const char* kTime = R"("time": "2024-06-18 09:02:14")";

// A memory of one entry a kind (each reading with `slots` values "1", "2", ...), a record of
// corrupted memory, and nothing after it.
MeterState MemoryOfEveryKind(const std::vector<std::pair<char, std::size_t>>& kinds) {
    std::string json = R"({"records": [)";
    for (auto [kind, slots] : kinds) {
        json += std::string(R"({"kind": ")") + kind + "\"";
        if (slots > 0) {
            json += std::string(", ") + kTime + R"(, "slots": [)";
            for (std::size_t i = 0; i < slots; ++i) json += (i ? ", \"" : "\"") + std::to_string(i + 1) + "\"";
            json += "]";
        }
        json += "},\n";
    }
    json += R"({"kind": "9"}]})";
    MeterState state;
    std::string error;
    EXPECT_TRUE(LoadMeterState(json, CivilTime{}, SteadyTime{}, &state, &error)) << error;
    return state;
}

MeterState ShortSet() {
    return MemoryOfEveryKind({{'1', 0}, {'2', 1}, {'2', 1}});
}

std::string Request(unsigned number) {
    char text[16];
    std::snprintf(text, sizeof text, "R%05u\r\n", number);
    return text;
}

TEST_F(RecordFetchTest, EachKindAnswersItsPrefixThenItsBody) {
    struct Kind {
        char kind;
        std::size_t slots;
        std::size_t bodySize;
    };
    const std::vector<Kind> kinds = {{'1', 0, 130}, {'A', 0, 42}, {'2', 1, 37},  {'3', 4, 61}, {'4', 6, 77},
                                     {'5', 2, 45},  {'6', 8, 93}, {'7', 12, 125}, {'E', 5, 69}};
    std::vector<std::pair<char, std::size_t>> memory;
    for (const Kind& k : kinds) memory.emplace_back(k.kind, k.slots);
    EmulatorOptions options;
    options.state = MemoryOfEveryKind(memory);
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));

    std::vector<std::string> expectedLines;
    for (unsigned n = 1; n <= kinds.size(); ++n) {
        const Kind& k = kinds[n - 1];
        // As the program reads: the prefix, then the body as a read of its own.
        EXPECT_EQ(line_.Ask(Request(n), 4), std::string("Z") + k.kind + "\r\n") << k.kind;
        std::string body = line_.Read(k.bodySize);
        EXPECT_EQ(body.size(), k.bodySize) << k.kind;
        EXPECT_EQ(body.substr(0, 5), Request(n).substr(1, 5)) << k.kind;
        EXPECT_EQ(body.substr(body.size() - 2), "\r\n") << k.kind;
        EXPECT_EQ(line_.Read(1, 30), "") << k.kind;
        expectedLines.push_back(EscapeBytes(Request(n)));
    }
    // Corrupted memory, the end, and no record 0, all without a body; digits only.
    for (auto [request, reply] : std::vector<std::pair<std::string, std::string>>{
             {"R00010\r\n", "Z9\r\n"}, {"R00011\r\n", "Z0\r\n"}, {"R99999\r\n", "Z0\r\n"},
             {"R00000\r\n", "Z0\r\n"}, {"R0001x\r\n", "!\r\n"}, {"R 0001\r\n", "!\r\n"}}) {
        EXPECT_EQ(line_.Ask(request, reply.size()), reply) << request;
        EXPECT_EQ(line_.Read(1, 30), "") << request;
        expectedLines.push_back(EscapeBytes(request));
    }
    EXPECT_EQ(Lines(Path("transcript.txt")), expectedLines);
}

TEST_F(RecordFetchTest, BodyFollowsItsPrefixAfterTheGap) {
    EmulatorOptions options;
    options.state = ShortSet();
    options.faults.recordGapMs = 150;
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    auto start = Now();
    EXPECT_EQ(line_.Ask("R00002\r\n", 4), "Z2\r\n");
    EXPECT_EQ(line_.Read(1, 60), "");
    EXPECT_EQ(line_.Read(37).size(), 37u);
    EXPECT_GE(MsSince(start), 150);
    // No gap where there is no body.
    start = Now();
    EXPECT_EQ(line_.Ask("R00005\r\n", 4), "Z0\r\n");
    EXPECT_LT(MsSince(start), 150);
}

TEST_F(RecordFetchTest, FaultsAtARecord) {
    const MeterState memory = ShortSet();
    auto normal = [&](unsigned n) { return RecordReply(memory, n); };
    auto withKind = [&](unsigned n, char kind) {
        std::string reply = normal(n);
        reply[1] = kind;
        return reply;
    };
    struct Case {
        const char* name;
        void (*set)(FaultOptions&);
        std::vector<std::pair<unsigned, std::string>> fetches;  // "": no answer
    };
    for (const Case& c : std::vector<Case>{
             {"silent twice", [](FaultOptions& f) { f.silentRecords[2] = 2; },
              {{2, ""}, {2, ""}, {1, normal(1)}, {2, normal(2)}, {2, normal(2)}}},
             {"silent always", [](FaultOptions& f) { f.silentRecords[2] = kEveryTime; },
              {{2, ""}, {2, ""}, {2, ""}, {3, normal(3)}}},
             {"wrong kind", [](FaultOptions& f) { f.recordKinds[2] = '3'; f.recordKinds[5] = 'E'; },
              {{1, normal(1)}, {2, withKind(2, '3')}, {3, normal(3)}, {5, "ZE\r\n"}}},
             {"corrupted", [](FaultOptions& f) { f.corruptAt = 2; },
              {{1, normal(1)}, {2, "Z9\r\n"}, {3, normal(3)}}},
         }) {
        SCOPED_TRACE(c.name);
        MeterEmulator meter;
        EmulatorOptions options;
        options.state = memory;
        c.set(options.faults);
        std::string slave, error;
        ASSERT_TRUE(meter.Start(options, &slave, &error)) << error;
        PtyLine line(slave);
        for (const auto& [number, reply] : c.fetches) {
            if (reply.empty()) {
                EXPECT_EQ(line.Ask(Request(number), 1, 150), "") << number;
            } else {
                EXPECT_EQ(line.Ask(Request(number), reply.size()), reply) << number;
            }
        }
        EXPECT_EQ(line.Read(1, 30), "");
    }
}

TEST_F(RecordFetchTest, HangUpAtARecordClosesTheLineUnanswered) {
    EmulatorOptions options;
    options.state = ShortSet();
    options.faults.hangupAtRecord = 2;
    options.transcriptFile = Path("transcript.txt");
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));
    EXPECT_EQ(line_.Ask("R00001\r\n", 4), "Z1\r\n");
    EXPECT_EQ(line_.Read(130).size(), 130u);
    EXPECT_FALSE(line_.HungUp(50));
    ASSERT_TRUE(line_.Write("R00002\r\n"));
    EXPECT_TRUE(line_.HungUp());
    meter_.Wait();
    EXPECT_TRUE(meter_.HungUp());
    EXPECT_EQ(Lines(Path("transcript.txt")),
              (std::vector<std::string>{"R00001\\r\\n", "R00002\\r\\n", "# hung up after 2 requests"}));
}

}  // namespace
}  // namespace tq4sim::testing
