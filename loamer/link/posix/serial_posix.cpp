#include "loamer/link/posix/serial_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "loamer/link/clock.h"
#include "loamer/link/comm_port.h"
#include "loamer/link/posix/port_list_linux.h"
#include "loamer/link/posix/rs485.h"

namespace loamer {

namespace {

// Owns one open descriptor; closing it also drops the flock taken on it.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// Everything the line had before we touched it, stored byte for byte in a LineSettings.
struct SavedLine {
    termios tio;
    int modemBits;
    bool hasModemLines;  // false on devices without modem lines (pseudo-terminals)
    bool hasRs485;       // false when the driver has no RS-485 mode
    Rs485State rs485;
};
static_assert(sizeof(SavedLine) <= LineSettings::kCapacity, "LineSettings too small for the saved line");
static_assert(std::is_trivially_copyable_v<SavedLine>);

void Pack(const SavedLine& line, LineSettings& out) {
    out = LineSettings{};
    std::memcpy(out.bytes, &line, sizeof line);
    out.size = sizeof line;
}

bool Unpack(const LineSettings& in, SavedLine& line) {
    if (in.size != sizeof line) return false;
    std::memcpy(&line, in.bytes, sizeof line);
    return true;
}

// A failed system call; the errors of a device that has gone away are told apart, so that the
// link drops the dead descriptor instead of retrying on it.
BackendResult SystemFailure(int err) {
    if (err == EIO || err == ENXIO || err == ENODEV) return BackendResult::Vanished(err);
    return BackendResult::Failure(err);
}

// Devices without modem lines refuse their requests this way; that is no failure.
bool ModemLinesMissing(int err) { return err == ENOTTY || err == EINVAL; }

BackendResult ChangeModemLines(int fd, unsigned long request, int lines) {
    if (ioctl(fd, request, &lines) == 0) return BackendResult::Success();
    const int err = errno;
    return ModemLinesMissing(err) ? BackendResult::NotSupported() : SystemFailure(err);
}

// Raw 9600 bit/s, 8 data bits, 1 stop bit, no parity check, no flow control, receiver on and
// modem status ignored. The parity mode bits stay as found; reads never block (VMIN = VTIME = 0).
void ApplyMeterSettings(termios& tio) {
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                          IXON | IXOFF | IXANY | INPCK);
#ifdef IUCLC
    tio.c_iflag &= ~static_cast<tcflag_t>(IUCLC);
#endif
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    // No XON/XOFF characters either, so nothing is taken for flow control.
    tio.c_cc[VSTART] = 0;
    tio.c_cc[VSTOP] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
}

class PosixBackend final : public SerialBackend {
public:
    BackendResult Open(const std::string& name) override {
        Close();
        const std::string path = DevicePathForPortName(name);
        FileDescriptor fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd.valid()) return SystemFailure(errno);
        // Only a character device can be a serial line. Checked before any lock or request
        // touches it, so a mistyped path to a file or a folder is left exactly as it was.
        struct stat info {};
        if (fstat(fd.get(), &info) != 0) return SystemFailure(errno);
        if (!S_ISCHR(info.st_mode)) return BackendResult::Failure(ENOTTY);
        // Another program holding the lock has the port: report it as busy.
        if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            return SystemFailure(errno == EWOULDBLOCK ? EBUSY : errno);
        // Keeps out programs that do not lock; a character device that is no terminal
        // (/dev/null) gets as far as the line settings, which then fail.
        if (ioctl(fd.get(), TIOCEXCL) != 0 && errno != ENOTTY) return SystemFailure(errno);
        fd_ = std::move(fd);
        return BackendResult::Success();
    }

    bool IsOpen() const override { return fd_.valid(); }

    void Close() override {
        // The exclusive mode outlives our descriptor while anyone else holds the device open.
        if (fd_.valid()) (void)ioctl(fd_.get(), TIOCNXCL);
        fd_.Reset();
        rtsEmulated_ = false;
    }

    BackendResult Purge() override {
        if (!fd_.valid()) return SystemFailure(EBADF);
        if (tcflush(fd_.get(), TCIOFLUSH) != 0) return SystemFailure(errno);
        return BackendResult::Success();
    }

    BackendResult GetLineSettings(LineSettings& found) override {
        if (!fd_.valid()) return SystemFailure(EBADF);
        SavedLine line{};
        if (tcgetattr(fd_.get(), &line.tio) != 0) return SystemFailure(errno);
        if (ioctl(fd_.get(), TIOCMGET, &line.modemBits) == 0) {
            line.hasModemLines = true;
        } else if (!ModemLinesMissing(errno)) {
            return SystemFailure(errno);
        }
        const BackendResult rs485 = GetRs485(fd_.get(), line.rs485);
        if (!rs485.ok()) return rs485;
        line.hasRs485 = rs485.status == BackendStatus::Ok;
        Pack(line, found);
        return BackendResult::Success();
    }

    BackendResult SetMeterLineSettings(const LineSettings& found) override {
        if (!fd_.valid()) return SystemFailure(EBADF);
        SavedLine line;
        if (!Unpack(found, line)) return SystemFailure(EINVAL);
        const int fd = fd_.get();
        termios tio = line.tio;
        ApplyMeterSettings(tio);
        if (tcsetattr(fd, TCSANOW, &tio) != 0) return SystemFailure(errno);
        if (const BackendResult r = ChangeModemLines(fd, TIOCMBIS, TIOCM_DTR); !r.ok()) return r;

        rtsEmulated_ = false;
        if (line.hasRs485) {
            const BackendResult r = EnableRtsOnSend(fd, line.rs485);
            if (r.status != BackendStatus::Unsupported) return r;
        }
        // The driver cannot toggle RTS itself: keep it low and raise it around each write.
        if (const BackendResult r = ChangeModemLines(fd, TIOCMBIC, TIOCM_RTS); !r.ok()) return r;
        rtsEmulated_ = line.hasModemLines;
        return BackendResult::Success();
    }

    BackendResult SetLineSettings(const LineSettings& saved) override {
        if (!fd_.valid()) return SystemFailure(EBADF);
        SavedLine line;
        if (!Unpack(saved, line)) return SystemFailure(EINVAL);
        const int fd = fd_.get();
        rtsEmulated_ = false;

        // Restore as much as possible; report the first step that failed.
        BackendResult result = BackendResult::Success();
        auto note = [&result](BackendResult r) {
            if (!r.ok() && result.ok()) result = r;
        };
        if (tcsetattr(fd, TCSANOW, &line.tio) != 0) note(SystemFailure(errno));
        // RS-485 first: while its mode is on, the driver owns RTS.
        if (line.hasRs485) note(SetRs485(fd, line.rs485));
        if (line.hasModemLines) {
            constexpr int kOutputs = TIOCM_DTR | TIOCM_RTS;
            if (const int on = line.modemBits & kOutputs) note(ChangeModemLines(fd, TIOCMBIS, on));
            if (const int off = ~line.modemBits & kOutputs) note(ChangeModemLines(fd, TIOCMBIC, off));
        }
        return result;
    }

    BackendResult GetTimeouts(LinkTimeouts& out) override {
        out = timeouts_;
        return BackendResult::Success();
    }

    // Linux drivers have no time-outs: they are kept here and bound our own writes.
    BackendResult SetTimeouts(const LinkTimeouts& timeouts) override {
        timeouts_ = timeouts;
        return BackendResult::Success();
    }

    BackendResult GetCapabilities() override {
        if (!fd_.valid()) return SystemFailure(EBADF);
        termios tio;
        if (tcgetattr(fd_.get(), &tio) != 0) return SystemFailure(errno);
        return BackendResult::Success();
    }

    // The kernel's queues have fixed sizes.
    BackendResult SetQueueSizes(std::size_t, std::size_t) override { return BackendResult::Success(); }

    BackendResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written) override {
        written = 0;
        if (!fd_.valid()) return SystemFailure(EBADF);
        const int fd = fd_.get();
        if (rtsEmulated_) (void)ChangeModemLines(fd, TIOCMBIS, TIOCM_RTS);
        const BackendResult result = WriteAll(bytes, count, written);
        if (rtsEmulated_) {
            // RTS must stay up until the last stop bit has left the UART.
            while (tcdrain(fd) != 0 && errno == EINTR) {
            }
            (void)ChangeModemLines(fd, TIOCMBIC, TIOCM_RTS);
        }
        return result;
    }

    WaitResult WaitReadable(int timeoutMs) override {
        if (!fd_.valid()) return WaitResult::HungUp;
        pollfd p{fd_.get(), POLLIN, 0};
        const int rc = poll(&p, 1, timeoutMs);
        if (rc < 0) return errno == EINTR ? WaitResult::Interrupted : WaitResult::HungUp;
        if (rc == 0) return WaitResult::TimedOut;
        // A hang-up also reports POLLIN; it must win, or the reader would spin on empty reads.
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return WaitResult::HungUp;
        return WaitResult::Readable;
    }

    BackendResult BytesWaiting(std::size_t& count) override {
        count = 0;
        if (!fd_.valid()) return SystemFailure(EBADF);
        int waiting = 0;
        if (ioctl(fd_.get(), FIONREAD, &waiting) != 0) return SystemFailure(errno);
        count = static_cast<std::size_t>(std::max(waiting, 0));
        return BackendResult::Success();
    }

    BackendResult Read(unsigned char* buffer, std::size_t max, std::size_t& got) override {
        got = 0;
        if (!fd_.valid()) return SystemFailure(EBADF);
        if (max == 0) return BackendResult::Success();
        for (;;) {
            const ssize_t n = ::read(fd_.get(), buffer, max);
            if (n >= 0) {
                got = static_cast<std::size_t>(n);
                return BackendResult::Success();
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return BackendResult::Success();
            return SystemFailure(errno);
        }
    }

    BackendResult ListDevices(std::vector<SerialDeviceName>& names) override {
        return ListLinuxSerialDevices("/sys/class/tty", "/dev", "/dev/serial/by-id", names);
    }

private:
    // Writes until everything is out or the write time-out passes. Zero time-outs bound nothing,
    // as they do for a serial driver.
    BackendResult WriteAll(const unsigned char* bytes, std::size_t count, std::size_t& written) {
        const int fd = fd_.get();
        const std::uint64_t budgetMs =
            std::uint64_t{timeouts_.writeTotalMultiplier} * count + timeouts_.writeTotalConstant;
        const std::uint64_t deadline = SystemClock().NowMs() + budgetMs;
        while (written < count) {
            const ssize_t n = ::write(fd, bytes + written, count - written);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return SystemFailure(errno);

            // The output queue is full: wait for room.
            int waitMs = -1;
            if (budgetMs != 0) {
                const std::uint64_t now = SystemClock().NowMs();
                if (now >= deadline) return SystemFailure(ETIMEDOUT);
                waitMs = static_cast<int>(std::min<std::uint64_t>(deadline - now, INT_MAX));
            }
            pollfd p{fd, POLLOUT, 0};
            const int rc = poll(&p, 1, waitMs);
            if (rc < 0 && errno != EINTR) return SystemFailure(errno);
            if (rc > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return SystemFailure(EIO);
        }
        return BackendResult::Success();
    }

    PortAccessFacts CheckAccess(const std::string& name) override {
        const std::string path = DevicePathForPortName(name);
        PortAccessFacts facts;
        if (access(path.c_str(), R_OK | W_OK) == 0) return facts;
        const int err = errno;
        switch (err) {
        case EACCES:
        case EPERM: {
            facts.access = PortAccess::NoPermission;
            struct stat info {};
            if (stat(path.c_str(), &info) == 0) {
                const group* owner = getgrgid(info.st_gid);
                facts.group = owner ? owner->gr_name : std::to_string(info.st_gid);
            }
            break;
        }
        case ENOENT: facts.access = PortAccess::Missing; break;
        default:
            facts.access = PortAccess::Other;
            facts.reason = std::strerror(err);
        }
        return facts;
    }

    FileDescriptor fd_;
    LinkTimeouts timeouts_;
    bool rtsEmulated_ = false;  // RTS raised by Write itself, the driver having no RS-485 mode
};

}  // namespace

std::string DevicePathForPortName(const std::string& name) {
    if (!name.empty() && name.front() == '/') return name;
    std::string upper;
    unsigned number = 0;
    if (ParseCommPortName(name, upper, number) && number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
    return "/dev/" + name;
}

std::unique_ptr<SerialBackend> MakePosixSerialBackend() { return std::make_unique<PosixBackend>(); }

SerialBackend& PosixSerialBackend() {
    static PosixBackend backend;
    return backend;
}

}  // namespace loamer
