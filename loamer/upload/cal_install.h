// Installing a sensor calibration: the 220-byte 'W' message with the record's probe letter,
// name and 17 numbers, and the Install Sensor Calibration commands around it.
#pragma once

#include <cstdint>

#include "loamer/link/error_codes.h"
#include "loamer/link/meter_commands.h"
#include "loamer/link/ui.h"
#include "loamer/upload/cal_file.h"
#include "loamer/upload/command_result.h"
#include "loamer/upload/meter_clock.h"

namespace loamer {

// The open dialog of the calibration commands.
inline constexpr FileDialogOptions kCalFileDialog{"cal", "", "Calibration Files (*.cal)|*.cal|All Files (*.*)|*.*||",
                                               false};

// 'W', '2' for the Orbis probe or '3' for any other kind, the name, the numbers, "\r\n". False,
// with message untouched, when a value does not fit the number form.
[[nodiscard]] bool BuildCalMessage(const CalRecord& record, char (&message)[kCalibrationUpload.request]);

// Wakes the meter, sends the message and reads its acknowledgement (whose boxes it shows). A
// value that does not fit the number form gives ERR_BAD_FRAME without contacting the meter.
[[nodiscard]] ErrorCode SendCalibration(const CalRecord& record);

// The command behind Install > Sensor Calibration (kOrbisProbe or kFlxSensor): refuses while
// readings are stored, asks for the file, reads it (its own error box when it cannot), sends it
// and shows the installed box or the report, then refreshes the clock display.
CommandResult InstallCalibration(std::uint8_t probeKind, ClockDisplay& display);

}  // namespace loamer
