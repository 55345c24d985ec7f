// The meter's commands and the fixed lengths of their requests and replies. The emulator
// shares these types only; it keeps its own lengths so that a wrong one here shows up.
#pragma once

#include <cstddef>

namespace loamer {

struct MeterCommand {
    char letter;             // first byte of the request
    std::size_t request;     // request length, "\r\n" included
    std::size_t reply;       // reply length; for 'T' part 1 (parts 2 and 3: kTablePointsReply)
    char replyLetter;        // first byte of the reply ('\0': a short answer)
};

inline constexpr MeterCommand kHandshake{'?', 3, 3, 'A'};
inline constexpr MeterCommand kStatus{'I', 3, 28, 'N'};
inline constexpr MeterCommand kClockRead{'F', 3, 18, 'H'};
inline constexpr MeterCommand kTableRead{'T', 5, 18, 'B'};
inline constexpr std::size_t kTablePointsReply = 125;
inline constexpr MeterCommand kRecordFetch{'R', 8, 4, 'Z'};
inline constexpr MeterCommand kMemoryBlock{'E', 9, 137, 'G'};
inline constexpr MeterCommand kTableHeaderUpload{'B', 18, 3, '\0'};
inline constexpr MeterCommand kTablePointsUpload{'B', 125, 3, '\0'};
inline constexpr MeterCommand kCalibrationUpload{'W', 220, 3, '\0'};
inline constexpr MeterCommand kExchange{'X', 162, 35, 'x'};
inline constexpr MeterCommand kClockSet{'H', 18, 3, '\0'};

inline constexpr std::size_t kShortAnswer = 3;

// The ten table slots in the order they are always read.
inline constexpr char kTableSlotIds[10] = {'1', '2', '4', '6', '9', 'C', 'D', 'E', 'G', 'F'};

}  // namespace loamer
