// Installing a linearisation table: the command behind the Install, Linearisation Table menu
// and `install-table`, and the upload of a table in three messages.
#pragma once

#include <string>

#include "loamer/link/error_codes.h"
#include "loamer/link/meter_commands.h"
#include "loamer/upload/command_result.h"
#include "loamer/upload/lin_file.h"
#include "loamer/upload/lin_sensors.h"
#include "loamer/upload/meter_clock.h"

namespace loamer {

inline constexpr char kLinFileFilter[] = "LIN Files (*.LIN)|*.LIN|All Files (*.*) |*.*||";
inline constexpr char kLinFileExtension[] = "LIN";
inline constexpr char kLinReadFaultText[] =
    "Sorry - an error occurred while reading\nthe Linearisatation Table.\n\n"
    "Please check your Table for errors\n\nCorrect them and try again.";
inline constexpr char kLinSentText[] = "This Linearisation Table was sent to TQ4.";

// "This TQ4 does not support the <stem> Linearisatation Table.\n"
std::string LinNotSupportedText(const char* stem);

// The three upload messages, without terminating zeros.
struct LinUploadMessages {
    unsigned char header[kTableHeaderUpload.request];
    unsigned char rows[2][kTablePointsUpload.request];
};

// Builds the messages of a table for a slot: rows beyond the row count go as "0000,000.000".
// ERR_BAD_FRAME when the row count text does not scan ("%2u%n") as 2 to 20.
[[nodiscard]] ErrorCode BuildLinUploadMessages(const LinTable& table, char sensorCode, LinUploadMessages& messages);
// Wakes the meter and sends the three messages, each answered by an acknowledgement (a refused,
// busy or garbled one shows its box). A table of fewer than 2 rows: ERR_BAD_FRAME without
// contacting the meter. The meter may hold part of the table after a failure.
[[nodiscard]] ErrorCode SendLinTable(const LinTable& table, char sensorCode);

// The install command for one sensor code: refuses while readings are stored, checks that the
// meter has the table's slot, asks for the file (Ui().ChooseOpenFile), reads and checks it, sends
// it, and shows every outcome itself: Succeeded after its sent box and the clock refresh,
// OwnMessage when the meter has no slot for the sensor, Cancelled when the file choice was.
CommandResult InstallLinTable(char sensorCode, ClockDisplay& display);

}  // namespace loamer
