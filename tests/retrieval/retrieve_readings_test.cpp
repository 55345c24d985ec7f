// A whole retrieval against a scripted meter: the file, the wire, and every way it can end.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "loamer/retrieval/retrieve_readings.h"
#include "tests/support/memory_file.h"
#include "tests/retrieval/records.h"
#include "tests/support/child_process.h"
#include "tests/support/link_fixture.h"

using namespace loamer;
using loamer::testing::MemoryFile;
using loamer::testing::ProfileBody;
using loamer::testing::ReadingBody;

namespace {

const std::string kReading2 = ReadingBody("00002", "0003", 'A', "  0.345   1.234E  9.999   9.999 ");
const std::string kReading3 = ReadingBody("00003", "0004", 'B', "  0.400   0.500   9.999   9.999 ", "20160305150000");

class RetrieveTest : public LinkTest {
public:
    RetrieveTest() {
        backend.onWrite = [this](const std::string& req) {
            wire.push_back(req.substr(0, req.size() - 2));
            if (req == "?\r\n") backend.SendLater("A\r\n", 2);
            else if (req == "F\r\n") backend.SendLater("H1202403051407" "09\r\n", 5);
            else if (req == "I\r\n") backend.SendLater("NV2.13 0872900001000" + stored + "\r\n", 5);
            else if (req[0] == 'T') backend.SendLater("!\r\n", 2);
            else if (req[0] == 'R') Answer(static_cast<unsigned>(std::stoul(req.substr(1, 5))));
        };
    }
    void Answer(unsigned number) {
        if (silentTries[number] > 0) {
            --silentTries[number];
            return;
        }
        if (number == hangUpAt) {
            backend.HangUpLater(1);
            return;
        }
        const auto it = records.find(number);
        backend.SendLater(it == records.end() ? "Z0\r\n" : it->second, 3);
    }
    // The records 1 to n of a profile set: a header, then readings alike but for their number.
    void ProfileSet(unsigned n) {
        records[1] = "Z1\r\n" + ProfileBody('2', '2', '0');
        for (unsigned i = 2; i <= n; ++i) {
            char number[6];
            std::snprintf(number, sizeof number, "%05u", i);
            records[i] = "Z3\r\n" + ReadingBody(number, "0003", 'A', "  0.345   1.234E  9.999   9.999 ");
        }
    }
    std::size_t Lines(const std::string& text) {
        std::size_t n = 0;
        for (std::size_t at = text.find("0003,A,B12"); at != std::string::npos; at = text.find("0003,A,B12", at + 1)) ++n;
        return n;
    }

    std::map<unsigned, std::string> records;
    std::map<unsigned, int> silentTries;
    unsigned hangUpAt = 0;
    std::string stored = "000002";
    std::vector<std::string> wire;
    MemoryFile file;
};

TEST_F(RetrieveTest, FileAndWireOfAProfileSet) {
    records = {{1, "Z1\r\n" + ProfileBody('2', '2', '0')}, {2, "Z3\r\n" + kReading2}, {3, "Z3\r\n" + kReading3}};
    ASSERT_EQ(RetrieveReadings(file, "1.0.0"), ERR_NONE);
    EXPECT_EQ(file.content, loamer::testing::ReadFile(loamer::testing::TestDataPath("retrieval/profile_set.csv")));

    std::vector<std::string> expected = {"?", "F", "?", "I", "?"};
    for (const char* slot : {"1", "2", "4", "6", "9", "C", "D", "E", "G", "F"}) {
        for (const char* part : {"1", "2", "3"}) expected.push_back(std::string("T") + part + slot);
    }
    for (const char* tail : {"?", "I", "R00001", "R00002", "R00003", "R00004"}) expected.push_back(tail);
    EXPECT_EQ(wire, expected);
    // One write each: banner, two tables chunks, the header block and two lines.
    EXPECT_EQ(file.writes, 6);
    EXPECT_EQ(ui.progress, (std::vector<std::string>{"step=1", "pos=0", "show", "+", "+", "+", "+", "hide"}));
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(RetrieveTest, ProgressStepsAboutOncePerHundredth) {
    ProfileSet(250);
    stored = "000250";  // a step every 3 records
    ASSERT_EQ(RetrieveReadings(file, "1.0.0"), ERR_NONE);
    EXPECT_EQ(std::count(ui.progress.begin(), ui.progress.end(), "+"), 251 / 3);
    EXPECT_EQ(Lines(file.content), 249u);
}

// Every ending keeps what came before the failing record, and hides the progress bar.
TEST_F(RetrieveTest, EndingsKeepEveryRecordBeforeTheFailure) {
    struct Case {
        const char* what;
        std::function<void(RetrieveTest&)> arrange;
        ErrorCode code;
        std::size_t lines;
    };
    const Case cases[] = {
        {"corrupt memory at 40", [](RetrieveTest& t) { t.records[40] = "Z9\r\n"; }, ERR_MEMORY_CORRUPT, 38},
        {"unknown kind at 40", [](RetrieveTest& t) { t.records[40] = "Z8\r\n"; }, ERR_BAD_REPLY, 38},
        {"wrong prefix at 40", [](RetrieveTest& t) { t.records[40] = "Y1\r\n"; }, ERR_BAD_REPLY, 38},
        {"broken frame at 40", [](RetrieveTest& t) { t.records[40] = "Z1\r\r"; }, ERR_BAD_FRAME, 38},
        {"refusal at 40", [](RetrieveTest& t) { t.records[40] = "!\r\n"; }, ERR_BAD_FRAME, 38},
        {"wrong reading kind at 40", [](RetrieveTest& t) { t.records[40] = "Z2\r\n" + kReading2; }, ERR_BAD_REPLY, 38},
        {"two silent tries at 40", [](RetrieveTest& t) { t.silentTries[40] = 2; }, ERR_NONE, 49},
        {"three silent tries at 40", [](RetrieveTest& t) { t.silentTries[40] = 3; }, ERR_TIMEOUT, 38},
        {"hang-up at 40", [](RetrieveTest& t) { t.hangUpAt = 40; }, ERR_RECEIVE, 38},
        {"full disk at record 40", [](RetrieveTest& t) { t.file.failAt = 3 + 39 + 1; }, ERR_FILE_WRITE, 38},
        {"reading before any header", [](RetrieveTest& t) { t.records[1] = "Z3\r\n" + kReading2; }, ERR_BAD_REPLY, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        records.clear();
        silentTries.clear();
        hangUpAt = 0;
        file = MemoryFile{};
        ui.progress.clear();
        ui.boxes.clear();
        CloseCommPort();
        ProfileSet(50);
        c.arrange(*this);
        EXPECT_EQ(RetrieveReadings(file, "1.0.0"), c.code);
        EXPECT_EQ(Lines(file.content), c.lines);
        ASSERT_FALSE(ui.progress.empty());
        EXPECT_EQ(ui.progress.back(), "hide");
        EXPECT_EQ(ui.cursorDepth, 0);
        // Only a failed write shows a box of its own (the system's message); reports are the caller's.
        EXPECT_EQ(ui.boxes.size(), c.code == ERR_FILE_WRITE ? 1u : 0u);
    }
}

TEST_F(RetrieveTest, TheTimeOutCounterStartsAgainForEachRecord) {
    ProfileSet(5);
    for (unsigned n = 1; n <= 6; ++n) silentTries[n] = 2;
    EXPECT_EQ(RetrieveReadings(file, "1.0.0"), ERR_NONE);
    EXPECT_EQ(std::count(wire.begin(), wire.end(), "R00003"), 3);
    EXPECT_EQ(Lines(file.content), 4u);
}

TEST_F(RetrieveTest, AnEmptyMeterGivesBannerAndTablesOnly) {
    stored = "000000";
    ASSERT_EQ(RetrieveReadings(file, "1.0.0"), ERR_NONE);
    const std::string whole = loamer::testing::ReadFile(loamer::testing::TestDataPath("retrieval/profile_set.csv"));
    EXPECT_EQ(file.content, whole.substr(0, whole.find("\r\nSoil   >>")));
    EXPECT_EQ(wire.back(), "R00001");
}

}  // namespace

namespace {

// The file the programs write: a full disk is seen at the write that failed, with the system's words.
TEST(OutputFileTest, FullDiskAndMissingFolderAreReportedWithTheSystemsWords) {
    std::string problem;
    auto full = OpenOutputFile("/dev/full", problem);
    ASSERT_NE(full, nullptr) << problem;
    EXPECT_FALSE(full->Write("chunk", 5, problem));
    EXPECT_NE(problem.find("No space left on device"), std::string::npos) << problem;

    EXPECT_EQ(OpenOutputFile("/nonexistent-loamer-folder/READINGS.CSV", problem), nullptr);
    EXPECT_NE(problem.find("No such file or directory"), std::string::npos) << problem;

    loamer::testing::ScratchDir dir;
    auto file = OpenOutputFile(dir / "R.CSV", problem);
    ASSERT_NE(file, nullptr) << problem;
    EXPECT_TRUE(file->Write("a\r\n", 3, problem));
    EXPECT_TRUE(file->Close(problem)) << problem;
    EXPECT_EQ(loamer::testing::ReadFile(dir / "R.CSV"), "a\r\n");
}

}  // namespace
