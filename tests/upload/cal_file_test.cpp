// Calibration files: which line each value comes from, the 12-character number form, the name.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "loamer/upload/cal_file.h"
#include "tests/support/child_process.h"

using namespace loamer;
using loamer::testing::ScratchDir;

namespace {

constexpr bool IsValueLine(int n) { return (n >= 7 && n <= 21) || n == 24 || n == 25; }

// A file that reads: headings on lines 1 to 6, 22 and 23, "Value k: k" on the value lines.
std::vector<std::string> GoodLines() {
    std::vector<std::string> lines;
    int value = 0;
    for (int n = 1; n <= 25; ++n) {
        const std::string number = std::to_string(IsValueLine(n) ? ++value : n);
        lines.push_back(IsValueLine(n) ? "Value " + number + ": " + number : "Note " + number + ": heading");
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines, const char* end = "\n") {
    std::string text;
    for (const std::string& line : lines) text += line + end;
    return text;
}

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The C library reading the same file: fgets into 50 bytes for a heading, fscanf with the value
// pattern for a value.
ErrorCode LibraryRead(const std::string& path, double (&values)[17], std::int32_t& line) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return kCalFileOpenFailed;
    char heading[50];
    std::size_t next = 0;
    ErrorCode rc = ERR_NONE;
    for (line = 1; line <= 25 && rc == ERR_NONE; ++line) {
        const bool ok = IsValueLine(line) ? std::fscanf(f, "%*[^:]:%lE \n", &values[next++]) == 1
                                          : std::fgets(heading, sizeof heading, f) != nullptr;
        if (!ok) rc = kCalFileLineFailed;
    }
    std::fclose(f);
    --line;
    return rc;
}

struct PatternCase {
    const char* what;
    std::function<void(std::vector<std::string>&)> edit;
    ErrorCode rc;
    std::int32_t line;
    std::vector<std::pair<int, double>> values;  // value number and what it reads as
};

// Each case is also read by the C library from a file, which must agree line for line.
TEST(CalFile, ValuePatternLineByLine) {
    const PatternCase cases[] = {
        {"a complete file", [](auto&) {}, ERR_NONE, 25, {{1, 1}, {15, 15}, {16, 16}, {17, 17}}},
        {"a file of only 20 lines", [](auto& l) { l.resize(20); }, kCalFileLineFailed, 21, {}},
        {"a blank line between two values is skipped", [](auto& l) { l.insert(l.begin() + 9, ""); }, ERR_NONE, 25,
         {{3, 3}, {4, 4}, {17, 17}}},
        {"a blank line 22 makes line 25 value 16 and fails at 25", [](auto& l) { l[21] = ""; }, kCalFileLineFailed,
         25, {}},
        {"a blank line 22 with a 26th line", [](auto& l) {
             l[21] = "";
             l.push_back("Extra: 99");
         }, ERR_NONE, 25,
         {{15, 15}, {16, 17}, {17, 99}}},
        {"a value line without a colon joins the next label", [](auto& l) { l[7] = "Value 2 2"; },
         kCalFileLineFailed, 21, {}},
        {"negative values and 0", [](auto& l) {
             l[6] = "A: -2.5";
             l[7] = "B: 0";
         }, ERR_NONE, 25,
         {{1, -2.5}, {2, 0}}},
        {"a label of blanks after a heading", [](auto& l) { l[6] = "   : 1.25"; }, ERR_NONE, 25, {{1, 1.25}}},
        {"a label of blanks after a value", [](auto& l) { l[7] = "   : 2"; }, kCalFileLineFailed, 8, {}},
        {"an empty label", [](auto& l) { l[6] = ": 1"; }, kCalFileLineFailed, 7, {}},
        {"no number after the colon", [](auto& l) { l[9] = "Value 4: four"; }, kCalFileLineFailed, 10, {}},
        {"the number on the next line", [](auto& l) { l[9] = "Value 4:\n\n  4.5"; }, ERR_NONE, 25, {{4, 4.5}}},
        {"text after a number joins the next label", [](auto& l) { l[9] = "Value 4: 4 units"; }, ERR_NONE, 25,
         {{4, 4}, {5, 5}}},
        {"a number the C library also reads", [](auto& l) {
             l[6] = "A: 0x1p3";
             l[7] = "B: +.5e+1x";
         }, ERR_NONE, 25,
         {{1, 8}, {2, 5}}},
        {"a colon right after a number leaves the next label empty", [](auto& l) { l[6] = "A: 1.5:2"; },
         kCalFileLineFailed, 8, {}},
        {"a heading of 48 characters is one line", [](auto& l) { l[0] = std::string(48, 'x'); }, ERR_NONE, 25, {}},
        // With its line feed it needs a second read, which takes the line feed alone.
        {"a heading of 49 characters is two lines", [](auto& l) { l[0] = std::string(49, 'x'); },
         kCalFileLineFailed, 7, {}},
    };
    ScratchDir dir;
    for (const PatternCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> lines = GoodLines();
        c.edit(lines);
        const std::string text = Join(lines);
        double values[17] = {};
        std::int32_t line = -1;
        EXPECT_EQ(ParseCalText(text, values, line), c.rc);
        EXPECT_EQ(line, c.line);
        for (const auto& [number, value] : c.values) EXPECT_EQ(values[number - 1], value) << "value " << number;

        WriteFile(dir / "c.cal", text);
        double library[17] = {};
        std::int32_t libraryLine = -1;
        EXPECT_EQ(LibraryRead(dir / "c.cal", library, libraryLine), c.rc);
        EXPECT_EQ(libraryLine, c.line);
        if (c.rc == ERR_NONE) {
            EXPECT_EQ(std::memcmp(values, library, sizeof values), 0);
        }
    }
}

TEST(CalFile, CarriageReturnsBeforeLineFeedsAreDropped) {
    std::vector<std::string> lines = GoodLines();
    lines[0] = std::string(48, 'x');  // one line only when its CR is not counted
    lines[7] = "Value 2:\r\r2";         // a lone CR is white space before the number
    double values[17] = {};
    std::int32_t line = 0;
    EXPECT_EQ(ParseCalText(Join(lines, "\r\n"), values, line), ERR_NONE);
    EXPECT_EQ(values[1], 2);
    EXPECT_EQ(values[16], 17);
}

TEST(CalFile, NameIsTheBaseNameCutTo12AndFilledWithBlanks) {
    const std::pair<const char*, const char*> cases[] = {
        {"/data/ABCDEFGHIJKLMNO.cal", "ABCDEFGHIJKL"},
        {"/data/abc.cal", "abc         "},
        {"/data/two.dots.cal", "two.dots    "},
        {"/data.d/noext", "noext       "},
        {"/data/.cal", "            "},
    };
    for (const auto& [path, expected] : cases) {
        char name[12];
        std::memset(name, '#', sizeof name);
        CalNameFromPath(path, name);
        EXPECT_EQ(std::string(name, sizeof name), expected) << path;
    }
}

TEST(CalFile, NumberForm) {
    const std::pair<double, const char*> fits[] = {
        {1.5, "+15000000+00"},        {-0.00123, "-12300000-03"}, {0.0, "+00000000+00"},
        {123456789.0, "+12345679+08"}, {1e99, "+10000000+99"},   {-9.9999999e99, "-99999999+99"},
        {1e-99, "+10000000-99"},
        // Rounded to 8 digits first: just below 1E-99 still fits.
        {9.99999999e-100, "+10000000-99"},
    };
    for (const auto& [value, expected] : fits) {
        char out[12];
        ASSERT_TRUE(FormatCalNumber(value, out)) << value;
        EXPECT_EQ(std::string(out, sizeof out), expected);
    }
    const double unfit[] = {9.99999996e99, 1e100, -1e300, 1e-100, 5e-324, std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(), std::nan("")};
    for (double value : unfit) {
        char out[12];
        std::memset(out, '#', sizeof out);
        EXPECT_FALSE(FormatCalNumber(value, out)) << value;
        EXPECT_EQ(std::string(out, sizeof out), std::string(12, '#'));
    }
    CalRecord record{};
    EXPECT_EQ(UnsendableCalValue(record), 0);
    record.values[13] = 1e-200;
    record.values[16] = std::nan("");
    EXPECT_EQ(UnsendableCalValue(record), 14);
}

}  // namespace
