// The serial backend: the few primitives the link needs from the operating system. The link
// logic in comm_port.cpp maps their results to error codes; a backend never shows anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "loamer/link/port_access.h"

namespace loamer {

enum class BackendStatus {
    Ok,
    Unsupported,  // the device has no such feature (a pseudo-terminal's modem lines): not a failure
    OsError,      // failed; err holds the system's error number
    Gone,         // the device has vanished (an adapter pulled, the far end closed); err as above
};

struct BackendResult {
    BackendStatus status = BackendStatus::Ok;
    int err = 0;

    static BackendResult Success() { return {}; }
    static BackendResult NotSupported() { return {BackendStatus::Unsupported, 0}; }
    static BackendResult Failure(int e) { return {BackendStatus::OsError, e}; }
    static BackendResult Vanished(int e) { return {BackendStatus::Gone, e}; }
    // Ok or Unsupported: the step did what the device allows.
    bool ok() const { return status == BackendStatus::Ok || status == BackendStatus::Unsupported; }
    bool gone() const { return status == BackendStatus::Gone; }
};

// The port's line settings as found, opaque to the link: saved at open, written back at close.
// A backend stores whatever it needs to restore the line (termios, modem lines, RS-485 mode).
struct LineSettings {
    static constexpr std::size_t kCapacity = 256;
    unsigned char bytes[kCapacity] = {};
    std::size_t size = 0;
};

// Driver time-outs in milliseconds, as the link applies them.
struct LinkTimeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

inline bool operator==(const LinkTimeouts& a, const LinkTimeouts& b) {
    return a.readInterval == b.readInterval && a.readTotalMultiplier == b.readTotalMultiplier &&
           a.readTotalConstant == b.readTotalConstant &&
           a.writeTotalMultiplier == b.writeTotalMultiplier &&
           a.writeTotalConstant == b.writeTotalConstant;
}

enum class WaitResult {
    Readable,     // bytes wait in the input queue
    TimedOut,     // nothing arrived within the bound
    HungUp,       // the device is gone (POLLHUP, POLLERR): the port is dead
    Interrupted,  // a signal arrived (Ctrl-C); the caller pumps the interface and goes on
};

// One entry of the machine's device list.
struct SerialDeviceName {
    std::string name;
    // true: a platform port name ("COM3") that goes through the COM name rule;
    // false: a device path offered as it is ("/dev/ttyUSB0").
    bool platformName = true;
};

class SerialBackend {
public:
    virtual ~SerialBackend() = default;

    // Opens the named port for reading and writing, exclusively. The name is a platform port
    // name (COMn), a device path (starting with '/'), or a name looked up in /dev.
    virtual BackendResult Open(const std::string& name) = 0;
    virtual bool IsOpen() const = 0;
    // Closes the device; cannot fail.
    virtual void Close() = 0;

    // Discards both queues.
    virtual BackendResult Purge() = 0;

    virtual BackendResult GetLineSettings(LineSettings& found) = 0;
    // Raw 9600 bit/s, 8 data bits, 1 stop bit, parity mode as found, no parity check, no flow
    // control, DTR on, RTS toggled around transmissions; everything else as found.
    virtual BackendResult SetMeterLineSettings(const LineSettings& found) = 0;
    // Writes back a record read by GetLineSettings.
    virtual BackendResult SetLineSettings(const LineSettings& saved) = 0;

    virtual BackendResult GetTimeouts(LinkTimeouts& out) = 0;
    virtual BackendResult SetTimeouts(const LinkTimeouts& timeouts) = 0;
    // Succeeds when the device is a serial line whose properties can be read.
    virtual BackendResult GetCapabilities() = 0;
    virtual BackendResult SetQueueSizes(std::size_t input, std::size_t output) = 0;

    // Writes count bytes within the write time-outs; written tells how many went out.
    virtual BackendResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written) = 0;
    // Waits until bytes are readable, the bound passes, the line hangs up or a signal arrives.
    virtual WaitResult WaitReadable(int timeoutMs) = 0;
    // Bytes waiting in the input queue; also clears a line error state.
    virtual BackendResult BytesWaiting(std::size_t& count) = 0;
    // Reads at most max bytes that are already waiting; never blocks. got may be 0.
    virtual BackendResult Read(unsigned char* buffer, std::size_t max, std::size_t& got) = 0;

    // The machine's serial devices, for the port dialog.
    virtual BackendResult ListDevices(std::vector<SerialDeviceName>& names) = 0;
    // Whether the current user may open the named port; does not open it.
    virtual PortAccessFacts CheckAccess(const std::string& name) = 0;
};

// The process-wide backend; the POSIX termios one until another is installed.
SerialBackend& Backend();
// Installs a backend (nullptr restores the POSIX one); returns the previous one.
SerialBackend* SetBackend(SerialBackend* backend);

// Installs a backend for a scope and puts the previous one back.
class ScopedBackend {
public:
    explicit ScopedBackend(SerialBackend* backend) : previous_(SetBackend(backend)) {}
    ~ScopedBackend() { SetBackend(previous_); }
    ScopedBackend(const ScopedBackend&) = delete;
    ScopedBackend& operator=(const ScopedBackend&) = delete;

private:
    SerialBackend* previous_;
};

// The production backend over termios.
SerialBackend& PosixSerialBackend();

}  // namespace loamer
