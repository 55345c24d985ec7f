// The serial link to the meter: one port for the whole process, opened lazily by the first
// operation that needs it and kept open between commands.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "loamer/link/error_codes.h"

namespace loamer {

// The port name the link opens ("COM1", "/dev/ttyUSB0"); held by the application.
void SetCommPortName(std::string_view name);
const std::string& CommPortName();

// 0, or ERR_PORT_OPEN. Does nothing when the port is open.
[[nodiscard]] ErrorCode OpenCommPort();
// Restores the settings found at open and closes the port; harmless when not open.
void CloseCommPort();
bool CommPortIsOpen();
// The system's error number of the link's last failure, for --verbose reports (0: none). The link
// keeps it without interpreting it; the backend's status says what happened.
int LastCommPortSystemError();

// 0 or ERR_SEND. Writes exactly count bytes.
[[nodiscard]] ErrorCode WriteCommPort(const void* bytes, std::size_t count);
// 0, ERR_RECEIVE, ERR_TIMEOUT or ERR_ABORTED. The buffer is zero-filled first; a refusal
// "!\r\n" ends the read early with success.
[[nodiscard]] ErrorCode ReadCommPort(void* buffer, std::size_t count);

// Idle limit of a read of count bytes, in whole seconds.
constexpr unsigned ReadIdleLimitSeconds(std::size_t count) {
    return 5 + static_cast<unsigned>((2 * count) / 1000);
}

// Receives the port names that EnumCommPorts offers.
class PortListSink {
public:
    virtual ~PortListSink() = default;
    virtual void AddPort(const std::string& name) = 0;
};

// Offers the machine's serial ports to the list: platform names that pass the COM name rule
// (upper-cased), then device paths as they are.
void EnumCommPorts(PortListSink& list);

// The COM name rule: upper-cases raw; true when it reads as "COM<number>" or "COM<number>:",
// with the upper-case name in offered.
bool QualifyCommPortName(std::string_view raw, std::string& offered);
// The same rule, also giving the port's number: the one grammar of COM names, used for the
// port list and for the device a name opens.
bool ParseCommPortName(std::string_view raw, std::string& offered, unsigned& number);

}  // namespace loamer
