// What the meter takes in: a linearisation table in three messages ('B', part, slot code: the
// header, then rows 1 to 10 and rows 11 to 20) and a sensor calibration in one ('W'). Each is
// answered with the short acknowledgement, or refused.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tq4sim/meter_state.h"

namespace tq4sim {

inline constexpr std::size_t kTableHeaderRequestSize = 18;  // "B1", slot, status, name 10, count 2, "\r\n"
inline constexpr std::size_t kTableRowsRequestSize = 125;   // "B2" or "B3", slot, 10 rows of 12, "\r\n"
inline constexpr std::size_t kCalibrationRequestSize = 220;  // "W", probe, name 12, 17 numbers of 12, "\r\n"
inline constexpr std::size_t kCalibrationValues = 17;

// A length a framer cannot know: the request is taken up to its "\r\n", as an unknown one is.
inline constexpr std::size_t kUpToLineEnd = static_cast<std::size_t>(-1);

// Request length of a 'B' message from its first bytes: 0 while only the letter has come.
std::size_t TableUploadLength(std::string_view head);

// Carries out one 'B' message of the right length: the header starts an upload into the slot
// of its sensor code (the slot then shows the new name and count, status '1' while the rows
// are on their way), the rows messages follow in order, and the second sets the status the
// header gave. A slot the meter lacks, or rows that do not follow their header, are refused.
// Notes for the transcript go to `notes`.
std::string TableUploadReply(MeterState& state, std::string_view request, std::vector<std::string>& notes);

// Checks a 'W' message of the right length and puts what it carries in `notes`: the probe
// kind, the name and the 17 numbers as sent. A probe code other than '2' or '3', or a number
// not in the 12-character form (sign, 8 digits, exponent sign, 2 digits), is refused.
std::string CalibrationReply(std::string_view request, std::vector<std::string>& notes);

}  // namespace tq4sim
