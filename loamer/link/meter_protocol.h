// The rules every exchange with the meter follows: the wake-up handshake and the
// acknowledgement of an upload.
#pragma once

#include "loamer/link/error_codes.h"

namespace loamer {

// Wakes the meter: at most three handshakes, 2 s apart. Shows no message.
[[nodiscard]] ErrorCode ConnectMeter();

// Reads and judges the short answer to an upload; shows a plain box for a refused, busy or
// invalid answer before returning its code.
[[nodiscard]] ErrorCode ReadMeterAck();

// The pause between handshakes in milliseconds.
inline constexpr unsigned kHandshakePauseMs = 2000;

// Waits ms milliseconds with the interface pumped; ERR_ABORTED when the user aborts.
[[nodiscard]] ErrorCode PauseWithPump(unsigned ms);

}  // namespace loamer
