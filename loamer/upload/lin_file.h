// The reader of linearisation table files (".LIN"): a title line, a row count line, then one row
// per line, a milliVolt field and a value field joined by a comma, for example
//   Clay 1
//   3
//   0100,010.500
//   0500, 020.000
//   1200,045.250
// Every field is checked against a strict fixed-point text format, every fault has its own code,
// and each field's text is kept exactly as written after trimming, because the upload sends those
// texts, not re-formatted numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "loamer/link/error_codes.h"
#include "loamer/link/meter_commands.h"
#include "loamer/upload/lin_text_source.h"

namespace loamer {

inline constexpr std::size_t kLinTitleLength = table_reply::kName.width;
inline constexpr std::size_t kLinCountLength = table_reply::kCount.width;
inline constexpr std::size_t kLinMaxRows = table_reply::kMaxPoints;
inline constexpr std::size_t kLinMilliVoltLength = 4;
inline constexpr std::size_t kLinValueLength = 7;
// No field may be longer than this before trimming.
inline constexpr std::size_t kLinFieldLimit = 100;
inline constexpr double kLinMaxMilliVolts = 3000.0;
inline constexpr double kLinMaxValue = 999.0;

// A table as read from its file. Zero-filled, every row beyond rowCount keeps empty texts and
// values of 0; the texts are what the upload puts on the wire.
struct LinTable {
    char title[kLinTitleLength + 1];
    std::int32_t rowCount;
    char rowCountText[kLinCountLength + 1];  // "7" or "07", as written
    double milliVolts[kLinMaxRows];
    char milliVoltTexts[kLinMaxRows][kLinMilliVoltLength + 1];
    double values[kLinMaxRows];
    char valueTexts[kLinMaxRows][kLinValueLength + 1];
};

// The table file of the running install; one at a time, opened by OpenLinFile and released by
// CloseLinFile only.
//
// 0, or ERR_LIN_OPEN when the file cannot be opened. A file still open from before is closed first.
[[nodiscard]] ErrorCode OpenLinFile(const std::string& path);
// Reads the whole open file into table (zero-filled first) and checks it. stopLine: the line at
// which the reader stopped on a fault (1 title, 2 count, 2 + n the n-th row, counting on through
// line feeds after the last row), and 0 once every line was read: so 0 on success and on
// ERR_LIN_MV_ORDER and ERR_LIN_VALUE_ORDER. After a fault the table is partly filled and must not
// be sent. Without an open file: ERR_LIN_READ at line 1.
[[nodiscard]] ErrorCode ReadLinTable(std::int32_t& stopLine, LinTable& table);
// 0, or ERR_LIN_CLOSE when closing fails; 0 when no file is open.
[[nodiscard]] ErrorCode CloseLinFile();

// The reader itself, over any text: what ReadLinTable does with the open file.
[[nodiscard]] ErrorCode ReadLinText(LinTextReader& text, std::int32_t& stopLine, LinTable& table);
// The same over text in memory (tests, fuzzing).
[[nodiscard]] ErrorCode ParseLinText(std::string_view text, std::int32_t& stopLine, LinTable& table);

// The reader's steps.
//
// One field as read: its characters, a zero behind them, and its length (a zero byte read from
// the file is a character like any other, so the length is what counts).
struct LinField {
    char text[kLinFieldLimit + 1];
    std::size_t length;
    std::string_view view() const { return {text, length}; }
};
// Reads one field (at most limit characters, limit <= kLinFieldLimit) up to a line feed, a comma
// when commaEnds, or the end of the text (atEnd set). A comma when !commaEnds: 34; a line feed
// when !lineEndAllowed: 33; more than limit characters: 35; a read error: 31; the field ended by
// a line feed or the end of the text when commaEnds: 38.
[[nodiscard]] ErrorCode ReadLinField(LinTextReader& text, LinField& field, std::size_t limit, bool commaEnds,
                                     bool lineEndAllowed, bool& atEnd);
// Removes leading and trailing white space (space, \t, \n, \v, \f, \r) in place.
void TrimField(LinField& field);
// Digits-only fixed point: integerDigits digits, then, when fractionDigits > 0, a point and
// fractionDigits digits. A character other than a digit: 43; a wrong number of digits or no
// point: 46. value is left untouched on any fault.
[[nodiscard]] ErrorCode ParseFixedPoint(std::string_view text, double& value, int integerDigits, int fractionDigits);
// After the last row: spaces and tabs are skipped, each line feed adds 1 to stopLine, anything
// else gives 48 (a read error 31).
[[nodiscard]] ErrorCode SkipTrailingBlanks(LinTextReader& text, std::int32_t& stopLine);
// milliVolts strictly ascending (42), values all ascending or all descending with the first two
// different (47); a row of 0 is exempt from the check against its predecessor.
[[nodiscard]] ErrorCode CheckLinTableOrder(const LinTable& table);

}  // namespace loamer
