// Any bytes as a table file. The reader gives one of its own codes, with a stop line of 0 exactly
// after success and the two order faults, and never beyond the text's lines; what it accepts
// holds only fields in their ranges and reads back the same when written out again; a CR put
// before every bare LF changes nothing; and an accepted table's upload messages carry its texts.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "loamer/link/table_upload_layout.h"
#include "loamer/upload/lin_file.h"
#include "loamer/upload/lin_install.h"

using namespace loamer;

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool SameTable(const LinTable& a, const LinTable& b) {
    return std::memcmp(a.title, b.title, sizeof a.title) == 0 && a.rowCount == b.rowCount &&
           std::memcmp(a.rowCountText, b.rowCountText, sizeof a.rowCountText) == 0 &&
           std::memcmp(a.milliVoltTexts, b.milliVoltTexts, sizeof a.milliVoltTexts) == 0 &&
           std::memcmp(a.valueTexts, b.valueTexts, sizeof a.valueTexts) == 0 &&
           std::memcmp(a.milliVolts, b.milliVolts, sizeof a.milliVolts) == 0 &&
           std::memcmp(a.values, b.values, sizeof a.values) == 0;
}

bool AllOf(const char* text, std::size_t length, bool (*accept)(char)) {
    if (std::strlen(text) != length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (!accept(text[i])) return false;
    }
    return true;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }
bool ValueChar(char c) { return Digit(c) || c == '.'; }

// The fields of a table that passed the field checks (order faults included).
void CheckFields(const LinTable& t) {
    Check(t.rowCount >= 1 && t.rowCount <= static_cast<std::int32_t>(kLinMaxRows));
    const std::size_t title = std::strlen(t.title);
    Check(title >= 1 && title <= kLinTitleLength);
    for (std::size_t i = 0; i < title; ++i) Check(t.title[i] >= ' ' && t.title[i] <= '~');
    const std::size_t count = std::strlen(t.rowCountText);
    Check(AllOf(t.rowCountText, count, Digit) && count >= 1 && count <= 2);
    for (std::size_t row = 0; row < kLinMaxRows; ++row) {
        if (row < static_cast<std::size_t>(t.rowCount)) {
            Check(AllOf(t.milliVoltTexts[row], kLinMilliVoltLength, Digit));
            Check(AllOf(t.valueTexts[row], kLinValueLength, ValueChar) && t.valueTexts[row][3] == '.');
            Check(t.milliVolts[row] >= 0.0 && t.milliVolts[row] <= kLinMaxMilliVolts);
            Check(t.values[row] >= 0.0 && t.values[row] <= kLinMaxValue);
        } else {
            Check(t.milliVoltTexts[row][0] == '\0' && t.valueTexts[row][0] == '\0');
            Check(t.milliVolts[row] == 0.0 && t.values[row] == 0.0);
        }
    }
}

std::string WrittenOut(const LinTable& t) {
    std::string text = std::string(t.title) + "\n" + t.rowCountText + "\n";
    for (std::int32_t row = 0; row < t.rowCount; ++row) {
        text += std::string(t.milliVoltTexts[row]) + "," + t.valueTexts[row] + "\n";
    }
    return text;
}

void CheckUpload(const LinTable& t) {
    LinUploadMessages messages;
    const ErrorCode rc = BuildLinUploadMessages(t, 'C', messages);
    Check((rc == ERR_NONE) == (t.rowCount >= 2));
    if (rc != ERR_NONE) return;
    Check(std::memcmp(messages.header + table_reply::kName.offset, t.title, kLinTitleLength) == 0);
    for (std::size_t row = 0; row < kLinMaxRows; ++row) {
        const unsigned char* point = messages.rows[row / table_reply::kPointsPerPart] + table_reply::kPointsStart +
                                     (row % table_reply::kPointsPerPart) * table_reply::kPointWidth;
        if (row < static_cast<std::size_t>(t.rowCount)) {
            Check(std::memcmp(point, t.milliVoltTexts[row], kLinMilliVoltLength) == 0);
            Check(std::memcmp(point + table_upload::kPointValue.offset, t.valueTexts[row], kLinValueLength) == 0);
        } else {
            Check(std::memcmp(point, table_upload::kPaddingPoint, table_reply::kPointWidth) == 0);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::int32_t stopLine = -1;
    LinTable table{};
    const ErrorCode code = ParseLinText(text, stopLine, table);

    Check(code == ERR_NONE || code == ERR_LIN_NO_TITLE || (code >= ERR_LIN_UNEXPECTED_EOL && code <= ERR_LIN_BAD_CHAR));
    const bool readToTheEnd = code == ERR_NONE || code == ERR_LIN_MV_ORDER || code == ERR_LIN_VALUE_ORDER;
    Check(readToTheEnd == (stopLine == 0));
    std::int32_t lineFeeds = 0;
    for (char c : text) lineFeeds += c == '\n';
    Check(stopLine >= 0 && stopLine <= lineFeeds + 1);

    if (readToTheEnd) CheckFields(table);
    if (code == ERR_NONE) {
        LinTable again{};
        std::int32_t againLine = -1;
        Check(ParseLinText(WrittenOut(table), againLine, again) == ERR_NONE && SameTable(table, again));
        CheckUpload(table);
    }

    std::string crlf;
    crlf.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) crlf += '\r';
        crlf += text[i];
    }
    LinTable windows{};
    std::int32_t windowsLine = -1;
    Check(ParseLinText(crlf, windowsLine, windows) == code && windowsLine == stopLine);
    if (readToTheEnd) Check(SameTable(table, windows));
    return 0;
}
