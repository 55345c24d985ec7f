#include "loamer/upload/cal_file.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "loamer/upload/path_names.h"

namespace loamer {

namespace {

// What each of the 25 lines holds, in file order.
enum class CalLine { Ignored, Value };

constexpr CalLine kCalLines[] = {
    CalLine::Ignored, CalLine::Ignored, CalLine::Ignored, CalLine::Ignored, CalLine::Ignored,
    CalLine::Ignored, CalLine::Value,   CalLine::Value,   CalLine::Value,   CalLine::Value,
    CalLine::Value,   CalLine::Value,   CalLine::Value,   CalLine::Value,   CalLine::Value,
    CalLine::Value,   CalLine::Value,   CalLine::Value,   CalLine::Value,   CalLine::Value,
    CalLine::Value,   CalLine::Ignored, CalLine::Ignored, CalLine::Value,   CalLine::Value,
};
static_assert(sizeof kCalLines / sizeof kCalLines[0] == 25);

constexpr std::size_t kIgnoredLineChars = 49;
// A number longer than this (far beyond any digits a double keeps) fails its line, so that a
// file of any size is read in bounded memory.
constexpr std::size_t kMaxNumberChars = 4096;

// The characters of a calibration file with the look-ahead that its scans need: the next
// character seen before it is taken, and the unread rest of a number put back.
class CalText {
public:
    explicit CalText(LinTextReader& reader) : reader_(reader) {}
    int Peek() {
        if (ahead_.empty()) {
            const int c = reader_.Get();
            if (c == LinTextReader::kEnd) return c;
            ahead_.push_back(static_cast<char>(c));
        }
        return static_cast<unsigned char>(ahead_.back());
    }
    int Get() {
        const int c = Peek();
        if (c != LinTextReader::kEnd) ahead_.pop_back();
        return c;
    }
    void PutBack(std::string_view chars) { ahead_.append(chars.rbegin(), chars.rend()); }
    // As the C library's fgets with a buffer of maxChars + 1: up to maxChars characters, ending
    // after a line feed. False when the text had ended before any character, or a read failed.
    bool SkipLine(std::size_t maxChars) {
        std::size_t taken = 0;
        while (taken < maxChars) {
            const int c = Get();
            if (c == LinTextReader::kEnd) break;
            ++taken;
            if (c == '\n') break;
        }
        return taken > 0 && !reader_.Failed();
    }

private:
    LinTextReader& reader_;
    std::string ahead_;  // in reverse: the next character last
};

// White space of the C locale, line ends included.
bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// A value line: label, colon, number, then every white space that follows.
bool ScanValue(CalText& text, double& value) {
    int c = text.Peek();
    if (c < 0 || c == ':') return false;  // the label is at least one character
    while ((c = text.Peek()) >= 0 && c != ':') text.Get();
    if (text.Get() != ':') return false;
    while (IsSpace(text.Peek())) text.Get();

    // The number's characters end at the latest at white space, a zero byte or the end, where
    // the scan of a file would stop too; what the scan leaves goes back to the text.
    std::string field;
    while ((c = text.Peek()) > 0 && !IsSpace(c)) {
        if (field.size() == kMaxNumberChars) return false;
        field.push_back(static_cast<char>(text.Get()));
    }
    int used = 0;
    if (std::sscanf(field.c_str(), "%lE%n", &value, &used) != 1) return false;
    text.PutBack(std::string_view(field).substr(static_cast<std::size_t>(used)));
    while (IsSpace(text.Peek())) text.Get();
    return true;
}

}  // namespace

ErrorCode ReadCalValues(LinTextReader& reader, double (&values)[cal_message::kValues], std::int32_t& line) {
    CalText text(reader);
    std::size_t next = 0;
    line = 1;
    for (const CalLine kind : kCalLines) {
        if (kind == CalLine::Ignored) {
            if (!text.SkipLine(kIgnoredLineChars)) return kCalFileLineFailed;
        } else if (!ScanValue(text, values[next++])) {
            return kCalFileLineFailed;
        }
        if (line < 25) ++line;
    }
    return ERR_NONE;
}

void CalNameFromPath(const std::string& path, char (&name)[cal_message::kName.width]) {
    const std::string base = BaseNameOfPath(path);
    std::memset(name, ' ', sizeof name);
    std::memcpy(name, base.data(), base.size() < sizeof name ? base.size() : sizeof name);
}

ErrorCode ParseCalText(std::string_view text, double (&values)[cal_message::kValues], std::int32_t& line) {
    const std::unique_ptr<TableFileSource> source = MemoryTableFile(std::string(text));
    LinTextReader reader(*source);
    return ReadCalValues(reader, values, line);
}

ErrorCode ReadCalFile(const std::string& path, CalRecord& record, std::int32_t& line) {
    line = 0;
    // A reason kept from an earlier file must not be told for this one.
    NoteTableFileSystemError(0);
    const std::unique_ptr<TableFileSource> source = TableFiles().OpenForReading(path);
    if (!source) return kCalFileOpenFailed;
    CalRecord read = record;
    CalNameFromPath(path, read.name);
    LinTextReader reader(*source);
    const ErrorCode rc = ReadCalValues(reader, read.values, line);
    // Everything needed was read: a failing close loses nothing.
    (void)source->Close();
    if (rc == ERR_NONE) record = read;
    return rc;
}

bool FormatCalNumber(double value, char (&out)[cal_message::kValueWidth]) {
    // "%+.7E": sign, digit, point, 7 digits, 'E', exponent sign, two digits (or more).
    char text[32];
    if (std::snprintf(text, sizeof text, "%+.*E", 7, value) != 14 || text[2] != '.' || text[10] != 'E') return false;
    out[0] = text[0];
    out[1] = text[1];
    std::memcpy(out + 2, text + 3, 7);
    std::memcpy(out + 9, text + 11, 3);
    return true;
}

int UnsendableCalValue(const CalRecord& record) {
    char field[cal_message::kValueWidth];
    for (std::size_t k = 0; k < cal_message::kValues; ++k) {
        if (!FormatCalNumber(record.values[k], field)) return static_cast<int>(k) + 1;
    }
    return 0;
}

}  // namespace loamer
