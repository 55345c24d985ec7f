// The machine's serial devices as the kernel lists them under /sys/class/tty.
#pragma once

#include <string>
#include <vector>

#include "loamer/link/serial_backend.h"

namespace loamer {

// Replaces out with the serial devices found: "COMn" for each ttyS(n-1) whose UART answers,
// devDir paths of USB adapters (ttyUSB*, ttyACM*), and every link in byIdDir as it is. Reads
// attributes only and never opens a device. Ordered by kind, then by name with numbers compared
// as numbers (COM2 before COM10). A missing directory lists nothing.
BackendResult ListLinuxSerialDevices(const std::string& sysClassTty, const std::string& devDir,
                                     const std::string& byIdDir, std::vector<SerialDeviceName>& out);

}  // namespace loamer
