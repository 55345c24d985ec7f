// The calibration upload ('W'): probe letter, name, 17 numbers of 12 characters, "\r\n".
#pragma once

#include <cstddef>

#include "loamer/link/meter_commands.h"

namespace loamer::cal_message {

inline constexpr std::size_t kProbe = 1;  // '2' Orbis probe, '3' FLX sensor
inline constexpr RecordField kName{2, 12};
inline constexpr std::size_t kValuesStart = kName.offset + kName.width;
inline constexpr std::size_t kValueWidth = 12;
inline constexpr std::size_t kValues = 17;
inline constexpr std::size_t kLineEnd = kValuesStart + kValues * kValueWidth;
static_assert(kLineEnd == 218 && kLineEnd + 2 == kCalibrationUpload.request);

}  // namespace loamer::cal_message
