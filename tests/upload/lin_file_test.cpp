// The table file reader: every field's rules with the code and the line it stops at, the order
// rules, text mode, and the open file's life through the file seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "loamer/upload/lin_file.h"
#include "tests/support/child_process.h"

using namespace loamer;
using namespace std::string_literals;

namespace {

struct Case {
    const char* what;
    std::string text;
    ErrorCode code;
    std::int32_t stopLine;
};

void ExpectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::int32_t stopLine = -7;
        LinTable table{};
        EXPECT_EQ(ParseLinText(c.text, stopLine, table), c.code);
        EXPECT_EQ(stopLine, c.stopLine);
    }
}

const std::string kRow = "0100,010.500\n";

TEST(LinFileTitle, LengthCharactersAndLineEnd) {
    ExpectCases({
        {"one character, one row", "T\n1\n" + kRow, ERR_NONE, 0},
        {"ten characters with inner spaces", "Clay  soil\n1\n" + kRow, ERR_NONE, 0},
        {"eleven characters", "Clay  soils\n1\n" + kRow, ERR_LIN_LINE_TOO_LONG, 1},
        {"100 characters before trimming", std::string(99, ' ') + "T\n1\n" + kRow, ERR_NONE, 0},
        {"101 characters before trimming", std::string(100, ' ') + "T\n1\n" + kRow, ERR_LIN_LINE_TOO_LONG, 1},
        {"empty file", "", ERR_LIN_UNEXPECTED_EOF, 1},
        {"only a line feed", "\n", ERR_LIN_NO_TITLE, 1},
        {"only blanks", " \t \n1\n" + kRow, ERR_LIN_NO_TITLE, 1},
        {"title without line feed", "Clay", ERR_LIN_UNEXPECTED_EOF, 1},
        {"comma", "Clay,1\n1\n" + kRow, ERR_LIN_UNEXPECTED_COMMA, 1},
        {"inner tab", "Clay\t1\n1\n" + kRow, ERR_LIN_TITLE_CHARS, 1},
        {"delete character", "Clay\x7f\n1\n" + kRow, ERR_LIN_TITLE_CHARS, 1},
        {"byte above 127", "Caf\xe9\n1\n" + kRow, ERR_LIN_TITLE_CHARS, 1},
        {"zero byte", "Cl\0ay\n1\n"s + kRow, ERR_LIN_TITLE_CHARS, 1},
    });
}

TEST(LinFileCount, DigitsAndRange) {
    const std::string rows5 = "0100,001.000\n0200,002.000\n0300,003.000\n0400,004.000\n0500,005.000\n";
    ExpectCases({
        {"one digit with blanks", "T\n 5 \n" + rows5, ERR_NONE, 0},
        {"zero", "T\n0\n" + kRow, ERR_LIN_BAD_NUMBER, 2},
        {"21", "T\n21\n" + kRow, ERR_LIN_BAD_NUMBER, 2},
        {"three digits", "T\n020\n" + kRow, ERR_LIN_LINE_TOO_LONG, 2},
        {"a letter", "T\n1a\n" + kRow, ERR_LIN_BAD_NUMBER, 2},
        {"a sign", "T\n+1\n" + kRow, ERR_LIN_BAD_NUMBER, 2},
        {"empty", "T\n\n" + kRow, ERR_LIN_MISSING_VALUE, 2},
        {"comma", "T\n1,\n" + kRow, ERR_LIN_UNEXPECTED_COMMA, 2},
        {"end of file in the count", "T\n1", ERR_LIN_UNEXPECTED_EOF, 2},
        {"no rows after the count", "T\n2\n", ERR_LIN_MISSING_COMMA, 3},
    });

    std::int32_t stopLine = -1;
    LinTable table{};
    ASSERT_EQ(ParseLinText("T\n07\n0100,001.000\n0200,002.000\n0300,003.000\n0400,004.000\n0500,005.000\n"
                           "0600,006.000\n0700,007.000\n",
                           stopLine, table),
              ERR_NONE);
    EXPECT_STREQ(table.rowCountText, "07");
    EXPECT_EQ(table.rowCount, 7);
}

TEST(LinFileMilliVolts, FourDigitsUpTo3000) {
    ExpectCases({
        {"four digits", "T\n1\n0250,010.000\n", ERR_NONE, 0},
        {"3000", "T\n1\n3000,010.000\n", ERR_NONE, 0},
        {"blanks around", "T\n1\n \t0250  ,010.000\n", ERR_NONE, 0},
        {"three digits", "T\n1\n250,010.000\n", ERR_LIN_FLOAT_FORMAT, 3},
        {"3001", "T\n1\n3001,010.000\n", ERR_LIN_BAD_MV, 3},
        {"minus sign", "T\n1\n-250,010.000\n", ERR_LIN_BAD_FLOAT, 3},
        {"point", "T\n1\n02.5,010.000\n", ERR_LIN_FLOAT_FORMAT, 3},
        {"five digits", "T\n1\n02500,010.000\n", ERR_LIN_LINE_TOO_LONG, 3},
        {"empty", "T\n1\n ,010.000\n", ERR_LIN_MISSING_MV, 3},
        {"no comma", "T\n1\n0250 010.000\n", ERR_LIN_UNEXPECTED_EOL, 3},
        {"empty line among the rows", "T\n2\n0100,010.000\n\n0200,020.000\n", ERR_LIN_UNEXPECTED_EOL, 4},
        {"end of file in the field", "T\n1\n025", ERR_LIN_MISSING_COMMA, 3},
        {"field of 101 characters", "T\n1\n" + std::string(101, ' ') + ",010.000\n", ERR_LIN_LINE_TOO_LONG, 3},
    });
}

TEST(LinFileValues, ThreeDigitsPointThreeDigitsUpTo999) {
    ExpectCases({
        {"999.000", "T\n1\n0100,999.000\n", ERR_NONE, 0},
        {"999.001", "T\n1\n0100,999.001\n", ERR_LIN_BAD_VALUE, 3},
        {"two integer digits", "T\n1\n0100,10.500\n", ERR_LIN_FLOAT_FORMAT, 3},
        {"one fraction digit", "T\n1\n0100,010.5\n", ERR_LIN_FLOAT_FORMAT, 3},
        {"no point", "T\n1\n0100,0105000\n", ERR_LIN_FLOAT_FORMAT, 3},
        {"second point", "T\n1\n0100,010.5.0\n", ERR_LIN_BAD_FLOAT, 3},
        {"decimal comma", "T\n1\n0100,010,500\n", ERR_LIN_UNEXPECTED_COMMA, 3},
        {"sign", "T\n1\n0100,+10.500\n", ERR_LIN_BAD_FLOAT, 3},
        {"exponent", "T\n1\n0100,1e2.000\n", ERR_LIN_BAD_FLOAT, 3},
        {"eight characters", "T\n1\n0100,0010.500\n", ERR_LIN_LINE_TOO_LONG, 3},
        {"empty", "T\n1\n0100,  \n", ERR_LIN_MISSING_VALUE, 3},
        {"file ends after a row that is not the last", "T\n2\n0100,010.000", ERR_LIN_UNEXPECTED_EOF, 3},
    });
}

// A locale whose decimal mark is a comma changes nothing: the point stays the point.
TEST(LinFileValues, ReadAlikeUnderAGermanLocale) {
    loamer::testing::ScopedLocale german(LC_ALL, "de_DE.UTF-8");
    ASSERT_TRUE(german.Ok()) << "the de_DE.UTF-8 locale is missing (./run setup generates it)";
    std::int32_t stopLine = -1;
    LinTable table{};
    ASSERT_EQ(ParseLinText("T\n2\n0100,010.500\n0200,020.250\n", stopLine, table), ERR_NONE);
    EXPECT_DOUBLE_EQ(table.values[1], 20.25);
    EXPECT_EQ(ParseLinText("T\n1\n0100,010,500\n", stopLine, table), ERR_LIN_UNEXPECTED_COMMA);
}

TEST(LinFileTrailingText, OnlyBlanksAndLineFeedsAfterTheLastRow) {
    ExpectCases({
        {"last row without line feed", "T\n1\n0100,010.500", ERR_NONE, 0},
        {"blank lines, spaces and tabs", "T\n1\n" + kRow + "\n  \t\n\n", ERR_NONE, 0},
        {"text right after the last row", "T\n1\n" + kRow + "X", ERR_LIN_BAD_CHAR, 3},
        {"an extra row after a blank line", "T\n1\n" + kRow + "\n0200,020.000\n", ERR_LIN_BAD_CHAR, 4},
        {"vertical tab", "T\n1\n" + kRow + "\v", ERR_LIN_BAD_CHAR, 3},
    });
}

TEST(LinFileOrder, MilliVoltsAscendValuesAscendOrDescend) {
    ExpectCases({
        {"same milliVolts", "T\n2\n0100,010.000\n0100,020.000\n", ERR_LIN_MV_ORDER, 0},
        {"falling milliVolts", "T\n2\n0500,010.000\n0100,020.000\n", ERR_LIN_MV_ORDER, 0},
        {"0 mV after 500 mV", "T\n2\n0500,010.000\n0000,020.000\n", ERR_NONE, 0},
        {"10 20 20", "T\n3\n0100,010.000\n0200,020.000\n0300,020.000\n", ERR_NONE, 0},
        {"10 10", "T\n2\n0100,010.000\n0200,010.000\n", ERR_LIN_VALUE_ORDER, 0},
        {"30 20 25", "T\n3\n0100,030.000\n0200,020.000\n0300,025.000\n", ERR_LIN_VALUE_ORDER, 0},
        {"30 20 0", "T\n3\n0100,030.000\n0200,020.000\n0300,000.000\n", ERR_NONE, 0},
        {"10 20 0", "T\n3\n0100,010.000\n0200,020.000\n0300,000.000\n", ERR_NONE, 0},
        {"10 20 15", "T\n3\n0100,010.000\n0200,020.000\n0300,015.000\n", ERR_LIN_VALUE_ORDER, 0},
        {"one row", "T\n1\n" + kRow, ERR_NONE, 0},
    });
}

// Text mode: a CR right before an LF is dropped, any other CR is a character; offsets count
// the file's real bytes.
TEST(LinFileTextMode, CrLfReadsAsLfAndOffsetsStayReal) {
    std::unique_ptr<TableFileSource> source = MemoryTableFile("a\r\nb\rc\r");
    LinTextReader reader(*source);
    const std::vector<std::pair<int, std::uint64_t>> expected = {
        {'a', 1}, {'\n', 3}, {'b', 4}, {'\r', 5}, {'c', 6}, {'\r', 7}, {LinTextReader::kEnd, 7}};
    for (const auto& [c, offset] : expected) {
        EXPECT_EQ(reader.Get(), c);
        EXPECT_EQ(reader.Offset(), offset);
    }
    EXPECT_FALSE(reader.Failed());

    ExpectCases({
        {"CR LF everywhere", "Clay 1\r\n3\r\n0100,010.500\r\n0500,020.000\r\n1200,045.250\r\n\r\n", ERR_NONE, 0},
        {"CR CR LF ends the title with a blank", "T\r\r\n1\r\n" + kRow, ERR_NONE, 0},
        {"lone CR inside the title", "T\rX\n1\n" + kRow, ERR_LIN_TITLE_CHARS, 1},
        {"lone CR after the last row", "T\n1\n" + kRow + "\r", ERR_LIN_BAD_CHAR, 3},
    });
}

// Files through the system: the same table from both line ends, a CR LF pair split by the
// reader's buffer, and the faults of opening.
TEST(LinFileSystem, RealFilesOpenReadAndClose) {
    using loamer::testing::TestDataPath;
    LinTable lf{};
    LinTable crlf{};
    for (auto [name, table] : {std::pair{"upload/CLAY1.LIN", &lf}, std::pair{"upload/CLAY1-CRLF.LIN", &crlf}}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(OpenLinFile(TestDataPath(name)), ERR_NONE);
        std::int32_t stopLine = -1;
        EXPECT_EQ(ReadLinTable(stopLine, *table), ERR_NONE);
        EXPECT_EQ(stopLine, 0);
        EXPECT_EQ(CloseLinFile(), ERR_NONE);
    }
    // The texts as written after trimming; rows beyond the count stay empty.
    for (const LinTable* table : {&lf, &crlf}) {
        EXPECT_STREQ(table->title, "Clay 1");
        EXPECT_STREQ(table->rowCountText, "3");
        EXPECT_EQ(table->rowCount, 3);
        const char* mv[] = {"0100", "0500", "1200", ""};
        const char* values[] = {"010.500", "020.000", "045.250", ""};
        const double numbers[][2] = {{100, 10.5}, {500, 20.0}, {1200, 45.25}, {0, 0}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_STREQ(table->milliVoltTexts[i], mv[i]);
            EXPECT_STREQ(table->valueTexts[i], values[i]);
            EXPECT_DOUBLE_EQ(table->milliVolts[i], numbers[i][0]);
            EXPECT_DOUBLE_EQ(table->values[i], numbers[i][1]);
        }
    }

    loamer::testing::ScratchDir dir;
    {
        // 5000 blank CR LF lines put a pair across the 4096-byte buffer; the X stands after them.
        std::ofstream out(dir / "LONG.LIN", std::ios::binary);
        out << "T\r\n1\r\n0100,010.500\r\n";
        for (int i = 0; i < 5000; ++i) out << "\r\n";
        out << "X";
    }
    ASSERT_EQ(OpenLinFile(dir / "LONG.LIN"), ERR_NONE);
    std::int32_t stopLine = -1;
    LinTable table{};
    EXPECT_EQ(ReadLinTable(stopLine, table), ERR_LIN_BAD_CHAR);
    EXPECT_EQ(stopLine, 3 + 5000);
    EXPECT_EQ(CloseLinFile(), ERR_NONE);

    // The system's reason stays for a front end to show.
    EXPECT_EQ(OpenLinFile(dir / "MISSING.LIN"), ERR_LIN_OPEN);
    EXPECT_EQ(LastTableFileSystemError(), ENOENT);
    EXPECT_EQ(OpenLinFile(dir.Path()), ERR_LIN_OPEN);
    EXPECT_EQ(LastTableFileSystemError(), EISDIR);
    // Nothing open: nothing to read, nothing to close.
    EXPECT_EQ(ReadLinTable(stopLine, table), ERR_LIN_READ);
    EXPECT_EQ(stopLine, 1);
    EXPECT_EQ(CloseLinFile(), ERR_NONE);
}

// A file whose reads fail after some bytes, or whose close fails.
class FaultyFiles final : public TableFileOpener {
public:
    class Source final : public TableFileSource {
    public:
        Source(std::string text, std::size_t failAfter, bool closeFails, int& closes)
            : text_(std::move(text)), failAfter_(failAfter), closeFails_(closeFails), closes_(closes) {}
        bool Read(unsigned char* buffer, std::size_t max, std::size_t& got) override {
            if (at_ >= failAfter_) return false;
            got = std::min({max, text_.size() - at_, failAfter_ - at_});
            std::memcpy(buffer, text_.data() + at_, got);
            at_ += got;
            return true;
        }
        bool Close() override {
            ++closes_;
            return !closeFails_;
        }

    private:
        std::string text_;
        std::size_t at_ = 0;
        std::size_t failAfter_;
        bool closeFails_;
        int& closes_;
    };
    std::unique_ptr<TableFileSource> OpenForReading(const std::string& path) override {
        return std::make_unique<Source>(path, failAfter, closeFails, closes);
    }
    std::size_t failAfter = std::string::npos;
    bool closeFails = false;
    int closes = 0;
};

TEST(LinFileSystem, ReadAndCloseFailures) {
    FaultyFiles files;
    ScopedTableFiles scope(&files);
    struct FaultCase {
        const char* what;
        std::string text;  // the "path" is the file's text
        std::size_t failAfter;
        ErrorCode code;
        std::int32_t stopLine;
    };
    const FaultCase cases[] = {
        {"in the title", "Clay 1\n1\n" + kRow, 3, ERR_LIN_READ, 1},
        {"in the second row's value", "T\n2\n0100,010.000\n0200,020.000\n", 23, ERR_LIN_READ, 4},
        {"after the last row", "T\n1\n" + kRow + "\n\n\n", 18, ERR_LIN_READ, 4},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.what);
        files.failAfter = c.failAfter;
        ASSERT_EQ(OpenLinFile(c.text), ERR_NONE);
        std::int32_t stopLine = -1;
        LinTable table{};
        EXPECT_EQ(ReadLinTable(stopLine, table), c.code);
        EXPECT_EQ(stopLine, c.stopLine);
        EXPECT_EQ(CloseLinFile(), ERR_NONE);
    }

    files.failAfter = std::string::npos;
    files.closeFails = true;
    files.closes = 0;
    ASSERT_EQ(OpenLinFile("T\n1\n" + kRow), ERR_NONE);
    // A second open releases the first file.
    ASSERT_EQ(OpenLinFile("T\n1\n" + kRow), ERR_NONE);
    EXPECT_EQ(files.closes, 1);
    EXPECT_EQ(CloseLinFile(), ERR_LIN_CLOSE);
    EXPECT_EQ(CloseLinFile(), ERR_NONE);
    EXPECT_EQ(files.closes, 2);
}

}  // namespace
