// The meter's status queries: version, battery, memory, clock and the table slots.
#pragma once

#include <cstddef>
#include <cstdint>

#include "loamer/link/error_codes.h"

namespace loamer {

inline constexpr std::size_t kStatusReplySize = 28;
inline constexpr std::size_t kClockRecordSize = 18;
inline constexpr std::size_t kMeterTablesImageSize = 2682;
inline constexpr unsigned kMaxMemoryUnits = 30000;

struct MeterMemoryStatus {
    std::uint32_t freeUnits;
    std::uint32_t usedUnits;
    std::uint32_t readingsStored;
};

// Every answer of a table read at its fixed place: part 1 at 18 x slot, part 2 at
// 180 + 125 x slot, part 3 at 1430 + 125 x slot, "\r\n" at 2680.
struct MeterTablesImage {
    unsigned char bytes[kMeterTablesImageSize];
};

inline constexpr std::size_t kTablePart1Offset = 0;
inline constexpr std::size_t kTablePart2Offset = 180;
inline constexpr std::size_t kTablePart3Offset = 1430;

struct TablesStatus {
    char names[10][11];
    std::int32_t pointCounts[10];
    char points[10][21][13];  // entries 0-9: part 2, 10-19: part 3, 20 stays empty
    char statusWords[10][7];
};

// Checks of a status reply read whole, pure: frame, then 'N', then the query's own field.
[[nodiscard]] ErrorCode CheckStatusFrame(const unsigned char (&reply)[kStatusReplySize]);
[[nodiscard]] ErrorCode DecodeBattery(const unsigned char (&reply)[kStatusReplySize], float& level);
[[nodiscard]] ErrorCode DecodeVersion(const unsigned char (&reply)[kStatusReplySize], char (&text)[7]);
[[nodiscard]] ErrorCode DecodeMemory(const unsigned char (&reply)[kStatusReplySize], MeterMemoryStatus& status);
// Frame and 'H' of a clock reply.
[[nodiscard]] ErrorCode CheckClockReply(const unsigned char (&reply)[kClockRecordSize]);
// Judges the three answers of one slot (index 0 to 9) already in the image: ERR_NONE or ERR_BAD_REPLY.
[[nodiscard]] ErrorCode JudgeTableSlot(const MeterTablesImage& image, int slot);

[[nodiscard]] ErrorCode GetMeterBattery(float& level);
[[nodiscard]] ErrorCode GetMeterVersion(char (&text)[7]);
[[nodiscard]] ErrorCode GetMeterMemory(MeterMemoryStatus& status);
// Does not wake the meter: its caller has just done so.
[[nodiscard]] ErrorCode GetMeterClock(unsigned char (&reply)[kClockRecordSize]);
[[nodiscard]] ErrorCode ReadMeterTables(MeterTablesImage& image);
[[nodiscard]] ErrorCode ParseTablesStatus(TablesStatus& status, const MeterTablesImage& image);
// 0 when the meter holds no readings, ERR_READINGS_STORED when it does.
[[nodiscard]] ErrorCode CheckNoReadingsStored();

}  // namespace loamer
