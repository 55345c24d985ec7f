// Sensor calibration files (.cal): 17 numbers for an Orbis probe or an FLX sensor, read into
// the record that the calibration upload sends.
//
// The file, line by line: lines 1 to 6 any text; lines 7 to 21 values 1 to 15; lines 22 and 23
// any text; lines 24 and 25 values 16 and 17; nothing after is read. A text line is read as at
// most 49 characters, its line feed counted, so a longer line counts as two lines or more. A
// value is a label (one character or more, no colon, line ends allowed), a colon, a number in
// the C locale, then every white space that follows, line ends and blank lines included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "loamer/link/cal_message_layout.h"
#include "loamer/link/error_codes.h"
#include "loamer/upload/lin_text_source.h"

namespace loamer {

inline constexpr std::uint8_t kOrbisProbe = 0;
inline constexpr std::uint8_t kFlxSensor = 1;  // as is any kind other than 0

// Laid out as the block that another program sends for an install.
struct CalRecord {
    std::uint8_t probeKind = kOrbisProbe;
    char name[cal_message::kName.width];  // no terminator; blanks after a short name
    double values[cal_message::kValues];
};
static_assert(offsetof(CalRecord, name) == 1 && offsetof(CalRecord, values) == 16 && sizeof(CalRecord) == 152);

// ReadCalFile's results besides 0; they are not report codes.
inline constexpr ErrorCode kCalFileOpenFailed = 101;
inline constexpr ErrorCode kCalFileLineFailed = 102;

// Reads the file's name (the base name without folder and extension, cut to 12 characters and
// filled up with blanks) and its values into record; the probe kind is the caller's. line is 0
// after an open failure, otherwise the number of the line being read when the reader stopped
// (25 after the last value). record is written only on success.
[[nodiscard]] ErrorCode ReadCalFile(const std::string& path, CalRecord& record, std::int32_t& line);
// The file is opened through the seam of lin_text_source.h, which the table files share.
//
// The values of an open text, as ReadCalFile reads them: 0 or kCalFileLineFailed, line as above.
// values is written as far as the reading went.
[[nodiscard]] ErrorCode ReadCalValues(LinTextReader& text, double (&values)[cal_message::kValues], std::int32_t& line);
// The same over text in memory (tests, fuzzing).
[[nodiscard]] ErrorCode ParseCalText(std::string_view text, double (&values)[cal_message::kValues], std::int32_t& line);
// The name field for a path: its base name cut to 12 characters, filled up with blanks.
void CalNameFromPath(const std::string& path, char (&name)[cal_message::kName.width]);

// The 12-character number form: sign, 8 mantissa digits, exponent sign, 2 exponent digits
// (1.5 is +15000000+00). False, with out untouched, for a number that does not fit: an
// exponent outside -99 to 99 once rounded to 8 digits, an infinity or a NaN.
[[nodiscard]] bool FormatCalNumber(double value, char (&out)[cal_message::kValueWidth]);
// The number (1 to 17) of the first value that does not fit the form, 0 when all do.
int UnsendableCalValue(const CalRecord& record);

}  // namespace loamer
