// The termios serial backend, for tests that reach past the process-wide instance.
#pragma once

#include <memory>
#include <string>

#include "loamer/link/serial_backend.h"

namespace loamer {

// The device a port name opens: "COMn" (any case, n >= 1) is /dev/ttyS(n-1), a name that starts
// with '/' is a path used as it is, any other name is looked up in /dev.
std::string DevicePathForPortName(const std::string& name);

// A termios backend of its own, independent of PosixSerialBackend().
std::unique_ptr<SerialBackend> MakePosixSerialBackend();

}  // namespace loamer
