// The kernel's RS-485 mode of a serial driver, used here for its RTS-on-send toggle. Alone in its
// own file so that <linux/serial.h> and its kernel types stay away from glibc's <termios.h>.
#pragma once

#include <cstddef>

#include "loamer/link/serial_backend.h"

namespace loamer {

// A driver's RS-485 record as the kernel reported it, kept opaque outside rs485.cpp.
struct Rs485State {
    static constexpr std::size_t kCapacity = 32;
    unsigned char bytes[kCapacity] = {};
};

// Reads the driver's RS-485 record. Unsupported when the driver has no RS-485 mode (every
// pseudo-terminal and most PC UARTs).
BackendResult GetRs485(int fd, Rs485State& state);
// Writes back a record read by GetRs485.
BackendResult SetRs485(int fd, const Rs485State& state);
// Turns on RS-485 mode with RTS raised while sending and dropped after, starting from the record
// found. Unsupported when the driver refuses the mode; the caller toggles RTS itself then.
BackendResult EnableRtsOnSend(int fd, const Rs485State& found);

}  // namespace loamer
