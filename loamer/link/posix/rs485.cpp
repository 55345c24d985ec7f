#include "loamer/link/posix/rs485.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace loamer {

static_assert(sizeof(serial_rs485) <= Rs485State::kCapacity, "Rs485State too small for serial_rs485");

namespace {

// The kernel's internal "no such ioctl" code; some drivers have let it reach user space.
constexpr int kNoIoctlCommand = 515;

bool IsUnsupported(int err) {
    return err == ENOTTY || err == EINVAL || err == EOPNOTSUPP || err == ENOSYS ||
           err == kNoIoctlCommand;
}

BackendResult FromIoctl(int rc) {
    if (rc == 0) return BackendResult::Success();
    const int err = errno;
    return IsUnsupported(err) ? BackendResult::NotSupported() : BackendResult::Failure(err);
}

}  // namespace

BackendResult GetRs485(int fd, Rs485State& state) {
    serial_rs485 rs485{};
    const BackendResult result = FromIoctl(ioctl(fd, TIOCGRS485, &rs485));
    if (result.status == BackendStatus::Ok) std::memcpy(state.bytes, &rs485, sizeof rs485);
    return result;
}

BackendResult SetRs485(int fd, const Rs485State& state) {
    serial_rs485 rs485{};
    std::memcpy(&rs485, state.bytes, sizeof rs485);
    return FromIoctl(ioctl(fd, TIOCSRS485, &rs485));
}

BackendResult EnableRtsOnSend(int fd, const Rs485State& found) {
    constexpr __u32 kWanted = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    serial_rs485 rs485{};
    std::memcpy(&rs485, found.bytes, sizeof rs485);
    rs485.flags |= kWanted;
    rs485.flags &= ~static_cast<__u32>(SER_RS485_RTS_AFTER_SEND);
    if (const BackendResult result = FromIoctl(ioctl(fd, TIOCSRS485, &rs485));
        result.status != BackendStatus::Ok)
        return result;
    // The driver hands back what it accepted. A mode without RTS-on-send is no toggle, and left
    // on it would keep the caller from driving RTS itself: put the record found back.
    if ((rs485.flags & kWanted) != kWanted) {
        (void)SetRs485(fd, found);
        return BackendResult::NotSupported();
    }
    return BackendResult::Success();
}

}  // namespace loamer
