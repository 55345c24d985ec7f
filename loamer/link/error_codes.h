// Error codes of every meter, file and table operation, and the report shown for them.
#pragma once

#include <cstdint>
#include <string>

namespace loamer {

using ErrorCode = std::uint32_t;

inline constexpr ErrorCode ERR_NONE = 0;
inline constexpr ErrorCode ERR_CONNECT = 1;
inline constexpr ErrorCode ERR_PORT_OPEN = 2;
inline constexpr ErrorCode ERR_PORT_CLOSE = 3;
inline constexpr ErrorCode ERR_SEND = 4;
inline constexpr ErrorCode ERR_RECEIVE = 5;
inline constexpr ErrorCode ERR_BAD_REPLY = 6;
inline constexpr ErrorCode ERR_BAD_FRAME = 7;
inline constexpr ErrorCode ERR_METER_BUSY = 8;
inline constexpr ErrorCode ERR_METER_REFUSED = 9;
inline constexpr ErrorCode ERR_BAD_REPLY_10 = 10;
inline constexpr ErrorCode ERR_FILE_NAME = 11;
inline constexpr ErrorCode ERR_FILE_OPEN = 12;
inline constexpr ErrorCode ERR_FILE_WRITE = 21;
inline constexpr ErrorCode ERR_BAD_REPLY_22 = 22;
inline constexpr ErrorCode ERR_BAD_REPLY_24 = 24;
inline constexpr ErrorCode ERR_TIMEOUT = 26;
inline constexpr ErrorCode ERR_ABORTED = 27;
inline constexpr ErrorCode ERR_MEMORY_CORRUPT = 28;
inline constexpr ErrorCode ERR_LIN_NO_TITLE = 29;
inline constexpr ErrorCode ERR_LIN_OPEN = 30;
inline constexpr ErrorCode ERR_LIN_READ = 31;
inline constexpr ErrorCode ERR_LIN_CLOSE = 32;
inline constexpr ErrorCode ERR_LIN_UNEXPECTED_EOL = 33;
inline constexpr ErrorCode ERR_LIN_UNEXPECTED_COMMA = 34;
inline constexpr ErrorCode ERR_LIN_LINE_TOO_LONG = 35;
inline constexpr ErrorCode ERR_LIN_UNEXPECTED_EOF = 36;
inline constexpr ErrorCode ERR_LIN_TITLE_CHARS = 37;
inline constexpr ErrorCode ERR_LIN_MISSING_COMMA = 38;
inline constexpr ErrorCode ERR_LIN_BAD_NUMBER = 39;
inline constexpr ErrorCode ERR_LIN_MISSING_VALUE = 40;
inline constexpr ErrorCode ERR_LIN_MISSING_MV = 41;
inline constexpr ErrorCode ERR_LIN_MV_ORDER = 42;
inline constexpr ErrorCode ERR_LIN_BAD_FLOAT = 43;
inline constexpr ErrorCode ERR_LIN_BAD_MV = 44;
inline constexpr ErrorCode ERR_LIN_BAD_VALUE = 45;
inline constexpr ErrorCode ERR_LIN_FLOAT_FORMAT = 46;
inline constexpr ErrorCode ERR_LIN_VALUE_ORDER = 47;
inline constexpr ErrorCode ERR_LIN_BAD_CHAR = 48;
inline constexpr ErrorCode ERR_BAD_REPLY_49 = 49;
inline constexpr ErrorCode ERR_READINGS_STORED = 50;

enum class ReportGroup { None, Communications, File, LinTable, Unrecognised, Aborted };

// The code's constant name ("ERR_TIMEOUT"), or nullptr for numbers that have none.
const char* ErrorName(ErrorCode code);
ReportGroup ErrorGroup(ErrorCode code);
// The report body that follows the heading; empty for ERR_NONE.
const char* ErrorBody(ErrorCode code);
// Heading and body exactly as the report box shows them; empty for ERR_NONE.
std::string FormatErrorReport(ErrorCode code);

// Shows the report for a non-zero code as one exclamation box through the user interface.
void ShowErrorReport(ErrorCode code);

}  // namespace loamer
