// The table upload ('B'): three messages laid out like the three answers of a table read
// (table_reply). The header carries the slot id, the state and the table's name and row count;
// each rows message ten points of a 4-digit milliVolt text, a comma and a 7-character value.
#pragma once

#include <cstddef>

#include "loamer/link/meter_commands.h"

namespace loamer::table_upload {

inline constexpr std::size_t kPart = 1;             // '1' header, '2' rows 1-10, '3' rows 11-20
inline constexpr char kReadyState = '2';            // the state a table read shows as ready
inline constexpr RecordField kPointMilliVolts{0, 4};  // within a point
inline constexpr std::size_t kPointComma = 4;
inline constexpr RecordField kPointValue{5, 7};
inline constexpr char kPaddingPoint[] = "0000,000.000";  // a row beyond the table's row count

static_assert(kPointValue.offset + kPointValue.width == table_reply::kPointWidth);
static_assert(sizeof kPaddingPoint - 1 == table_reply::kPointWidth);
static_assert(table_reply::kCount.offset + table_reply::kCount.width + 2 == kTableHeaderUpload.request);
static_assert(table_reply::kPointsStart + table_reply::kPointsPerPart * table_reply::kPointWidth + 2 ==
              kTablePointsUpload.request);

}  // namespace loamer::table_upload
