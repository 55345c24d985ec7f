// The meter's wire format in one place: each command's request and reply lengths, and the field
// layout of the replies that the status queries and the clock read. Everything that reads or
// builds a meter record takes its lengths and offsets from here. The emulator keeps lengths of
// its own, so that a wrong number here shows up in the end-to-end tests.
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

// "A\r\n", "K\r\n", "!\r\n" and the like.
inline constexpr std::size_t kShortAnswer = 3;

// A field of a fixed-width record: where it starts and how many characters it holds.
struct RecordField {
    std::size_t offset;
    std::size_t width;
};

// The status reply: 'N', version, battery, free and used memory units, readings, "\r\n".
namespace status_reply {
inline constexpr RecordField kVersion{1, 6};
inline constexpr RecordField kBattery{7, 3};
inline constexpr RecordField kFreeUnits{10, 5};
inline constexpr RecordField kUsedUnits{15, 5};
inline constexpr RecordField kReadings{20, 6};
inline constexpr std::size_t kLineEnd = 26;
static_assert(kLineEnd + 2 == kStatus.reply);
}  // namespace status_reply

// The clock record, read ('F' answered with 'H') and set ('H'): letter, date order, then
// "%Y%m%d%H%M%S" and "\r\n".
namespace clock_record {
inline constexpr std::size_t kOrder = 1;
inline constexpr RecordField kYear{2, 4};
inline constexpr RecordField kMonth{6, 2};
inline constexpr RecordField kDay{8, 2};
inline constexpr RecordField kHour{10, 2};
inline constexpr RecordField kMinute{12, 2};
inline constexpr RecordField kSecond{14, 2};
inline constexpr std::size_t kLineEnd = 16;
static_assert(kLineEnd + 2 == kClockRead.reply && kClockRead.reply == kClockSet.request);
}  // namespace clock_record

// The three answers of a table slot: part 1 is the header ('B', '1', slot id, state, name,
// point count, "\r\n"); parts 2 and 3 hold up to ten points each after 'B', part and slot id.
namespace table_reply {
inline constexpr std::size_t kSlots = 10;
inline constexpr std::size_t kParts = 3;
inline constexpr std::size_t kSlotId = 2;
inline constexpr std::size_t kState = 3;
inline constexpr RecordField kName{4, 10};
inline constexpr RecordField kCount{14, 2};
inline constexpr std::size_t kPointsStart = 3;
inline constexpr std::size_t kPointWidth = 12;
inline constexpr std::size_t kPointsPerPart = 10;
inline constexpr std::size_t kMaxPoints = 2 * kPointsPerPart;
static_assert(kPointsStart + kPointsPerPart * kPointWidth + 2 == kTablePointsReply);
static_assert(kCount.offset + kCount.width + 2 == kTableRead.reply);
}  // namespace table_reply

// The ten table slots in the order they are always read.
inline constexpr char kTableSlotIds[table_reply::kSlots] = {'1', '2', '4', '6', '9', 'C', 'D', 'E', 'G', 'F'};

}  // namespace loamer
