// The meter's status queries: version, battery, memory, clock and the table slots.
#pragma once

#include <cstddef>
#include <cstdint>

#include "loamer/link/error_codes.h"
#include "loamer/link/meter_commands.h"

namespace loamer {

inline constexpr std::size_t kStatusReplySize = kStatus.reply;
inline constexpr std::size_t kClockRecordSize = kClockRead.reply;
inline constexpr unsigned kMaxMemoryUnits = 30000;

struct MeterMemoryStatus {
    std::uint32_t freeUnits;
    std::uint32_t usedUnits;
    std::uint32_t readingsStored;
};

// Every answer of a table read at its fixed place: part 1 at 18 x slot, part 2 at
// 180 + 125 x slot, part 3 at 1430 + 125 x slot, "\r\n" at 2680.
inline constexpr std::size_t kTablePart1Offset = 0;
inline constexpr std::size_t kTablePart2Offset = kTablePart1Offset + table_reply::kSlots * kTableRead.reply;
inline constexpr std::size_t kTablePart3Offset = kTablePart2Offset + table_reply::kSlots * kTablePointsReply;
inline constexpr std::size_t kTablesImageLineEnd = kTablePart3Offset + table_reply::kSlots * kTablePointsReply;
inline constexpr std::size_t kMeterTablesImageSize = kTablesImageLineEnd + 2;
static_assert(kTablePart2Offset == 180 && kTablePart3Offset == 1430 && kMeterTablesImageSize == 2682);

struct MeterTablesImage {
    unsigned char bytes[kMeterTablesImageSize];
};

// Where the answer of a part (1 to 3) of a slot (0 to 9) stands in the image.
constexpr std::size_t TablePartOffset(int part, std::size_t slot) {
    switch (part) {
    case 1: return kTablePart1Offset + kTableRead.reply * slot;
    case 2: return kTablePart2Offset + kTablePointsReply * slot;
    default: return kTablePart3Offset + kTablePointsReply * slot;
    }
}

struct TablesStatus {
    char names[table_reply::kSlots][table_reply::kName.width + 1];
    std::int32_t pointCounts[table_reply::kSlots];
    // Entries 0-9: part 2, 10-19: part 3, 20 stays empty.
    char points[table_reply::kSlots][table_reply::kMaxPoints + 1][table_reply::kPointWidth + 1];
    char statusWords[table_reply::kSlots][7];
};

// The version field and its terminating zero.
using MeterVersion = char[status_reply::kVersion.width + 1];

// Checks of a status reply read whole, pure: frame, then 'N', then the query's own field.
[[nodiscard]] ErrorCode CheckStatusFrame(const unsigned char (&reply)[kStatusReplySize]);
[[nodiscard]] ErrorCode DecodeBattery(const unsigned char (&reply)[kStatusReplySize], float& level);
[[nodiscard]] ErrorCode DecodeVersion(const unsigned char (&reply)[kStatusReplySize], MeterVersion& text);
[[nodiscard]] ErrorCode DecodeMemory(const unsigned char (&reply)[kStatusReplySize], MeterMemoryStatus& status);
// Frame and 'H' of a clock reply.
[[nodiscard]] ErrorCode CheckClockReply(const unsigned char (&reply)[kClockRecordSize]);
// Judges the three answers of one slot (index 0 to 9) already in the image: ERR_NONE or ERR_BAD_REPLY.
[[nodiscard]] ErrorCode JudgeTableSlot(const MeterTablesImage& image, int slot);

[[nodiscard]] ErrorCode GetMeterBattery(float& level);
[[nodiscard]] ErrorCode GetMeterVersion(MeterVersion& text);
[[nodiscard]] ErrorCode GetMeterMemory(MeterMemoryStatus& status);
// Does not wake the meter: its caller has just done so.
[[nodiscard]] ErrorCode GetMeterClock(unsigned char (&reply)[kClockRecordSize]);
[[nodiscard]] ErrorCode ReadMeterTables(MeterTablesImage& image);
[[nodiscard]] ErrorCode ParseTablesStatus(TablesStatus& status, const MeterTablesImage& image);
// 0 when the meter holds no readings, ERR_READINGS_STORED when it does.
[[nodiscard]] ErrorCode CheckNoReadingsStored();

}  // namespace loamer
