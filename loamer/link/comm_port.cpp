#include "loamer/link/comm_port.h"

#include <algorithm>
#include <cstring>

#include "loamer/link/clock.h"
#include "loamer/link/serial_backend.h"
#include "loamer/link/ui.h"
#include "loamer/product.h"

namespace loamer {

namespace {

constexpr std::size_t kQueueSize = 4096;
constexpr std::size_t kStagingSize = 255;
// Upper bound of one wait in the read loop: the interface is pumped at least this often, so
// Escape and Ctrl-C take effect quickly while a byte still wakes the loop at once.
constexpr int kPumpSliceMs = 25;

constexpr LinkTimeouts kMeterTimeouts{5000, 2, 10000, 2, 5000};

// The link's state, one instance for the whole process.
struct LinkState {
    bool open = false;
    LineSettings savedSettings;
    bool settingsSaved = false;
    LinkTimeouts savedTimeouts;
    bool timeoutsSaved = false;
    int lastSystemError = 0;
};

LinkState g_link;
std::string g_portName = kDefaultPortName;
SerialBackend* g_backend = nullptr;

// Fails a configuration step of OpenCommPort: restores what was changed and closes.
ErrorCode FailOpen(const BackendResult& r) {
    g_link.lastSystemError = r.err;
    CloseCommPort();
    return ERR_PORT_OPEN;
}

// The device is gone (an adapter pulled, the other end of a pseudo-terminal closed): drop
// the dead descriptor so that the next command opens the port afresh.
void DropDeadPort(int systemError) {
    g_link.lastSystemError = systemError;
    g_link.settingsSaved = false;
    g_link.timeoutsSaved = false;
    Backend().Close();
    g_link.open = false;
}

// Text semantics of the refusal check, bounded by the buffer: "!\r\n" then a zero or the end.
bool IsRefusal(const unsigned char* buf, std::size_t count) {
    return count >= 3 && buf[0] == '!' && buf[1] == '\r' && buf[2] == '\n' &&
           (count == 3 || buf[3] == 0);
}

}  // namespace

SerialBackend& Backend() { return g_backend ? *g_backend : PosixSerialBackend(); }

SerialBackend* SetBackend(SerialBackend* backend) {
    SerialBackend* previous = g_backend;
    g_backend = backend;
    return previous;
}

void SetCommPortName(std::string_view name) { g_portName.assign(name); }
const std::string& CommPortName() { return g_portName; }
bool CommPortIsOpen() { return g_link.open; }
int LastCommPortSystemError() { return g_link.lastSystemError; }

ErrorCode OpenCommPort() {
    if (g_link.open) return ERR_NONE;
    SerialBackend& b = Backend();
    if (BackendResult r = b.Open(g_portName); !r.ok()) {
        g_link.lastSystemError = r.err;
        return ERR_PORT_OPEN;
    }
    g_link.open = true;
    g_link.lastSystemError = 0;
    (void)b.Purge();

    LineSettings found;
    if (BackendResult r = b.GetLineSettings(found); !r.ok()) return FailOpen(r);
    g_link.savedSettings = found;
    // Flagged before the change so that a step failing half-way is still undone by close.
    g_link.settingsSaved = true;
    if (BackendResult r = b.SetMeterLineSettings(found); !r.ok()) return FailOpen(r);

    if (BackendResult r = b.GetTimeouts(g_link.savedTimeouts); !r.ok()) return FailOpen(r);
    g_link.timeoutsSaved = true;
    if (BackendResult r = b.SetTimeouts(kMeterTimeouts); !r.ok()) return FailOpen(r);

    if (BackendResult r = b.GetCapabilities(); !r.ok()) return FailOpen(r);
    if (BackendResult r = b.SetQueueSizes(kQueueSize, kQueueSize); !r.ok()) return FailOpen(r);
    return ERR_NONE;
}

void CloseCommPort() {
    if (!g_link.open) return;
    SerialBackend& b = Backend();
    (void)b.Purge();
    if (g_link.settingsSaved) {
        (void)b.SetLineSettings(g_link.savedSettings);
        g_link.settingsSaved = false;
    }
    if (g_link.timeoutsSaved) {
        (void)b.SetTimeouts(g_link.savedTimeouts);
        g_link.timeoutsSaved = false;
    }
    b.Close();
    g_link.open = false;
}

ErrorCode WriteCommPort(const void* bytes, std::size_t count) {
    if (!g_link.open) return ERR_SEND;
    std::size_t written = 0;
    BackendResult r = Backend().Write(static_cast<const unsigned char*>(bytes), count, written);
    if (!r.ok()) {
        if (r.gone()) {
            DropDeadPort(r.err);
        } else {
            g_link.lastSystemError = r.err;
        }
        return ERR_SEND;
    }
    return written == count ? ERR_NONE : ERR_SEND;
}

ErrorCode ReadCommPort(void* buffer, std::size_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    if (count > 0) std::memset(out, 0, count);
    if (!g_link.open) return ERR_RECEIVE;

    unsigned char staging[kStagingSize];
    SerialBackend& b = Backend();
    Clock& clock = LinkClock();
    WaitCursorScope cursor;

    std::uint64_t lastActivity = clock.NowMs();
    const std::uint64_t limitMs = 1000ull * ReadIdleLimitSeconds(count);
    std::uint64_t idle = 0;  // whole seconds, as the limit
    std::size_t total = 0;
    bool refused = false;

    while (total < count && idle < limitMs / 1000) {
        Ui().RestoreWaitCursor();

        const std::uint64_t quiet = clock.NowMs() - lastActivity;
        const std::uint64_t left = quiet < limitMs ? limitMs - quiet : 0;
        const int waitMs = static_cast<int>(std::min<std::uint64_t>(left, kPumpSliceMs));
        const WaitResult waited = b.WaitReadable(waitMs);
        if (waited == WaitResult::HungUp) {
            DropDeadPort(0);
            return ERR_RECEIVE;
        }
        // Bytes that come only once the limit has passed are left for the next read.
        if (waited == WaitResult::TimedOut && clock.NowMs() - lastActivity >= limitMs) break;

        std::size_t waiting = 0;
        if (BackendResult r = b.BytesWaiting(waiting); !r.ok()) {
            if (r.gone()) {
                DropDeadPort(r.err);
                return ERR_RECEIVE;
            }
            // A passing line error: the read goes on, and --verbose can still tell it.
            g_link.lastSystemError = r.err;
            waiting = 0;
        }
        const std::size_t chunk = std::min({waiting, kStagingSize, count - total});
        if (chunk != 0) {
            lastActivity = clock.NowMs();
            std::size_t got = 0;
            if (BackendResult r = b.Read(staging, chunk, got); !r.ok()) {
                if (r.gone()) {
                    DropDeadPort(r.err);
                    return ERR_RECEIVE;
                }
                g_link.lastSystemError = r.err;
                got = 0;
            }
            got = std::min(got, chunk);
            std::memcpy(out + total, staging, got);
            total += got;
        }

        idle = (clock.NowMs() - lastActivity) / 1000;

        if (Ui().PumpMessages()) return ERR_ABORTED;
        if (IsRefusal(out, count)) {
            refused = true;
            break;
        }
    }
    return total >= count || refused ? ERR_NONE : ERR_TIMEOUT;
}

}  // namespace loamer
