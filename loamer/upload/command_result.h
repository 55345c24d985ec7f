// How a command that shows its own messages ended, for front ends that turn it into an exit
// status (the desktop program has nothing more to show).
#pragma once

#include "loamer/link/error_codes.h"

namespace loamer {

enum class CommandEnd {
    Succeeded,   // its success box was shown
    Cancelled,   // the file dialog was cancelled; nothing was shown
    OwnMessage,  // failed with a message of its own only (a calibration file it could not read)
    Reported,    // failed; the error report for code was shown last
};

struct CommandResult {
    CommandEnd end = CommandEnd::Succeeded;
    ErrorCode code = ERR_NONE;  // the reported code; 0 unless Reported
};

}  // namespace loamer
