// The stored records as the meter sends them: the kinds a record fetch answers with, and the
// field layout of each kind's body. Offsets count from 0 within the body; every body ends in
// "\r\n". Beside meter_commands.h, which holds the fetch exchange's own lengths.
#pragma once

#include <cstddef>

#include "loamer/link/meter_commands.h"

namespace loamer {

// The kind character of a fetch reply "Z<kind>\r\n".
inline constexpr char kKindEnd = '0';
inline constexpr char kKindProfileHeader = '1';
inline constexpr char kKindSensorHeader = 'A';
inline constexpr char kKindCorrupt = '9';

// How many value slots a reading kind carries; 0 for a character that is no reading kind.
constexpr std::size_t ReadingSlots(char kind) {
    switch (kind) {
    case '2': return 1;
    case '3': return 4;
    case '4': return 6;
    case '5': return 2;
    case '6': return 8;
    case '7': return 12;
    case 'E': return 5;
    default: return 0;
    }
}

namespace profile_header {
inline constexpr std::size_t kSize = 130;
inline constexpr RecordField kNumber{0, 5};
inline constexpr std::size_t kDevice = 5;
inline constexpr std::size_t kDepthCount = 6;
inline constexpr std::size_t kFirstQuantity = 7;
inline constexpr std::size_t kSecondQuantity = 8;
inline constexpr RecordField kRootDepth{10, 4};
inline constexpr std::size_t kSoils = 14;  // one code per depth
inline constexpr std::size_t kDepths = 20;  // four digits per depth
inline constexpr std::size_t kDepthWidth = 4;
inline constexpr std::size_t kMaxDepths = 6;
// Seven soil calibration groups of 12: one unused character, A0, A1, field capacity.
inline constexpr std::size_t kGroups = 44;
inline constexpr std::size_t kGroupCount = 7;
inline constexpr std::size_t kGroupWidth = 12;
inline constexpr RecordField kGroupA0{1, 3};
inline constexpr RecordField kGroupA1{4, 3};
inline constexpr RecordField kGroupFieldCapacity{7, 5};
static_assert(kGroups + kGroupCount * kGroupWidth + 2 == kSize);
}  // namespace profile_header

namespace sensor_header {
inline constexpr std::size_t kSize = 42;
inline constexpr RecordField kNumber{0, 5};
inline constexpr std::size_t kDevice = 5;
inline constexpr RecordField kChannels{6, 5};
inline constexpr std::size_t kVwcUnits = 11;
inline constexpr std::size_t kEcUnits = 12;
inline constexpr RecordField kRootDepth{13, 4};
inline constexpr RecordField kSensorDepth{17, 4};
inline constexpr std::size_t kSoil = 21;
inline constexpr RecordField kB0{22, 3};
inline constexpr RecordField kB1{25, 3};
inline constexpr RecordField kFieldCapacity{28, 5};
inline constexpr RecordField kSoilParameter{33, 3};
inline constexpr std::size_t kEcCompensation = 36;
inline constexpr RecordField kPercent{37, 3};
static_assert(kPercent.offset + kPercent.width + 2 == kSize);
}  // namespace sensor_header

namespace reading_record {
inline constexpr RecordField kNumber{0, 5};
inline constexpr RecordField kSample{5, 4};
inline constexpr std::size_t kPlot = 9;
inline constexpr RecordField kDevice{10, 3};
inline constexpr RecordField kYear{13, 4};
inline constexpr RecordField kMonth{17, 2};
inline constexpr RecordField kDay{19, 2};
inline constexpr RecordField kHour{21, 2};
inline constexpr RecordField kMinute{23, 2};
inline constexpr RecordField kSecond{25, 2};
inline constexpr std::size_t kSlotsStart = 27;
inline constexpr std::size_t kSlotWidth = 8;  // seven characters of value text, one flag
inline constexpr std::size_t kValueWidth = 7;
inline constexpr std::size_t kMaxSlots = 12;
constexpr std::size_t BodySize(std::size_t slots) { return kSlotsStart + kSlotWidth * slots + 2; }
}  // namespace reading_record

// The longest body of any kind.
inline constexpr std::size_t kMaxRecordBody = profile_header::kSize;
static_assert(reading_record::BodySize(reading_record::kMaxSlots) <= kMaxRecordBody);

}  // namespace loamer
