// The emulator's line: a pseudo-terminal pair, the serving thread, pacing at a real line speed,
// the transcript file and the link to the slave side.
#include "tools/tq4sim/emulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "tools/tq4sim/session.h"
#include "tools/tq4sim/stored_records.h"

namespace tq4sim {

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

CivilTime LocalNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return CivilTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// Reads a file named in a memory file; a relative name is taken from the memory file's folder.
ImageReader ImageFilesBeside(const std::string& memoryFile) {
    return [folder = std::filesystem::path(memoryFile).parent_path()](const std::string& name, std::string* bytes,
                                                                          std::string* why) {
        std::filesystem::path path = folder / name;
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            *why = SystemError("cannot read " + path.string());
            return false;
        }
        std::ostringstream text;
        text << file.rdbuf();
        *bytes = std::move(text).str();
        return true;
    };
}

bool LoadState(const EmulatorOptions& options, SteadyTime now, MeterState* state, std::string* error) {
    if (options.state) {
        *state = *options.state;
        return true;
    }
    if (options.memoryFile.empty()) {
        *state = DefaultMeterState(LocalNow(), now);
        return true;
    }
    std::ifstream file(options.memoryFile, std::ios::binary);
    if (!file) {
        *error = SystemError("cannot read " + options.memoryFile);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    std::string why;
    if (!LoadMeterState(text.str(), LocalNow(), now, state, &why, ImageFilesBeside(options.memoryFile))) {
        *error = options.memoryFile + ": " + why;
        return false;
    }
    return true;
}

bool PrepareState(const EmulatorOptions& options, SteadyTime now, MeterState* state, std::string* error) {
    if (!LoadState(options, now, state, error)) return false;
    if (options.generateReadings > 0) AppendGeneratedReadings(state, options.generateReadings);
    return true;
}

// steady_clock is CLOCK_MONOTONIC here, so its time points serve as absolute deadlines.
timespec ToTimespec(SteadyTime t) {
    auto ns = std::chrono::duration_cast<nanoseconds>(t.time_since_epoch()).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return ts;
}

void CloseFd(int* fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

}  // namespace

struct MeterEmulator::Impl {
    EmulatorOptions options;
    std::string slavePath;
    int master = -1;
    int slave = -1;  // held open so the master does not report a hang-up between program runs
    int transcript = -1;
    int stopPipe[2] = {-1, -1};
    std::atomic<int> stopWrite{-1};  // stopPipe[1], read by RequestStop (signal handlers too)
    bool linkMade = false;
    bool started = false;

    std::thread thread;
    std::atomic<bool> serving{false};
    std::atomic<bool> hungUp{false};

    mutable std::mutex mutex;  // guards session
    std::unique_ptr<Session> session;

    // Pacing: when the line in each direction is next free, and when the request now being
    // framed began to arrive.
    SteadyTime rxFreeAt{};
    SteadyTime txFreeAt{};
    SteadyTime firstByteAt{};
    SteadyTime lastByteAt{};

    bool OpenLine(std::string* error);
    bool MakeLink(std::string* error);
    void RemoveLink();
    void Cleanup();

    void Serve();
    // Polls `line` (when given) together with the stop requests: ours and the caller's
    // options.stopFd. True when a stop was asked for; *ready gets poll's result.
    bool PollStop(int timeoutMs, pollfd* line = nullptr, int* ready = nullptr) const;
    bool StopRequested() const { return PollStop(0); }
    // Waits until the deadline; false when a stop was requested meanwhile.
    bool WaitUntil(SteadyTime deadline);
    // False when a stop was requested; write failures drop the rest of the reply, as bytes
    // lost on a dead line would be.
    bool WriteAll(std::string_view bytes);
    bool SendReply(const ReplyPlan& plan, std::size_t requestSize);
    void Note(const std::string& line);
    void DrainBeforeHangUp();
    nanoseconds WireTime(std::size_t bytes) const {
        // 10 bits a byte: start, 8 data, stop.
        return nanoseconds(static_cast<long long>(bytes) * 10'000'000'000LL / options.paceBaud);
    }
};

bool MeterEmulator::Impl::OpenLine(std::string* error) {
    if (options.masterFd >= 0) {
        master = options.masterFd;
        char name[128];
        if (unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
            *error = SystemError("not a pseudo-terminal master");
            return false;
        }
        slavePath = name;
    } else {
        char name[128];
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            *error = SystemError("openpty");
            return false;
        }
        slavePath = name;
        fcntl(slave, F_SETFD, FD_CLOEXEC);
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    // Raw, as a serial port under the program will be. On Linux the termios requests on a
    // master reach its slave, so this works on a master taken over too.
    int ttyFd = slave >= 0 ? slave : master;
    termios tio{};
    if (tcgetattr(ttyFd, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tio.c_cflag |= CLOCAL | CREAD;
        tcsetattr(ttyFd, TCSANOW, &tio);
    }
    return true;
}

bool MeterEmulator::Impl::MakeLink(std::string* error) {
    if (options.linkPath.empty()) return true;
    struct stat st{};
    if (lstat(options.linkPath.c_str(), &st) == 0) {
        // Replace a link left by an earlier run, but never a real file.
        if (!S_ISLNK(st.st_mode)) {
            *error = options.linkPath + " exists and is not a symbolic link";
            return false;
        }
        if (unlink(options.linkPath.c_str()) != 0) {
            *error = SystemError("cannot replace " + options.linkPath);
            return false;
        }
    }
    if (symlink(slavePath.c_str(), options.linkPath.c_str()) != 0) {
        *error = SystemError("cannot link " + options.linkPath);
        return false;
    }
    linkMade = true;
    return true;
}

void MeterEmulator::Impl::RemoveLink() {
    if (!linkMade) return;
    linkMade = false;
    // Only our own link: another run may have taken the name over meanwhile.
    char target[256];
    ssize_t n = readlink(options.linkPath.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string_view(target, static_cast<std::size_t>(n)) == slavePath) {
        unlink(options.linkPath.c_str());
    }
}

void MeterEmulator::Impl::Cleanup() {
    if (thread.joinable()) thread.join();
    CloseFd(&master);
    CloseFd(&slave);
    CloseFd(&transcript);
    stopWrite = -1;
    CloseFd(&stopPipe[0]);
    CloseFd(&stopPipe[1]);
    RemoveLink();
}

bool MeterEmulator::Impl::PollStop(int timeoutMs, pollfd* line, int* ready) const {
    // poll() skips entries whose descriptor is -1.
    pollfd fds[3] = {{stopPipe[0], POLLIN, 0}, {options.stopFd, POLLIN, 0}, {-1, 0, 0}};
    if (line != nullptr) fds[2] = *line;
    int n = poll(fds, 3, timeoutMs);
    if (line != nullptr) *line = fds[2];
    if (ready != nullptr) *ready = n;
    // A stop descriptor that hangs up or goes bad stops serving too, rather than waking every poll.
    return n > 0 && (fds[0].revents != 0 || fds[1].revents != 0);
}

bool MeterEmulator::Impl::WaitUntil(SteadyTime deadline) {
    while (true) {
        auto left = deadline - std::chrono::steady_clock::now();
        if (left <= nanoseconds(0)) return !StopRequested();
        if (left > milliseconds(2)) {
            // Long waits watch the stop pipe; the last stretch is slept to the deadline exactly.
            auto ms = std::chrono::duration_cast<milliseconds>(left).count() - 1;
            if (PollStop(static_cast<int>(std::min<long long>(ms, 1000)))) return false;
            continue;
        }
        timespec ts = ToTimespec(deadline);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
    }
}

bool MeterEmulator::Impl::WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(master, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd line{master, POLLOUT, 0};
            if (PollStop(100, &line)) return false;
            continue;
        }
        return true;
    }
    return true;
}

void MeterEmulator::Impl::Note(const std::string& line) {
    if (transcript < 0) return;
    std::string text = line + "\n";
    // One write per line, so a reader never sees half a line.
    [[maybe_unused]] ssize_t n = write(transcript, text.data(), text.size());
}

bool MeterEmulator::Impl::SendReply(const ReplyPlan& plan, std::size_t requestSize) {
    SteadyTime start = std::chrono::steady_clock::now();
    if (options.paceBaud != 0) {
        // The reply cannot start before the whole request has come down the line.
        SteadyTime requestEnd = std::max(firstByteAt, rxFreeAt) + WireTime(requestSize);
        rxFreeAt = requestEnd;
        start = std::max(requestEnd, txFreeAt);
    }
    for (const ReplyPiece& part : SplitReply(plan)) {
        start += milliseconds(part.gapBeforeMs);
        std::string_view piece = std::string_view(plan.bytes).substr(part.offset, part.size);
        if (options.paceBaud == 0) {
            if (!WaitUntil(start) || !WriteAll(piece)) return false;
            start = std::chrono::steady_clock::now();
        } else {
            // Each byte goes out when it would have finished arriving on the real line.
            for (std::size_t i = 0; i < piece.size(); ++i) {
                if (!WaitUntil(start + WireTime(i + 1)) || !WriteAll(piece.substr(i, 1))) return false;
            }
            start += WireTime(piece.size());
            txFreeAt = start;
        }
    }
    return true;
}

void MeterEmulator::Impl::DrainBeforeHangUp() {
    // Closing the pair throws away what the program has not read yet, and a meter that
    // hangs up after answering has still put its answer on the wire. The bytes take a few
    // milliseconds to show in the slave's queue, so look only after a short pause.
    int fd = slave >= 0 ? slave : open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    SteadyTime start = std::chrono::steady_clock::now();
    SteadyTime deadline = start + milliseconds(2000);
    SteadyTime next = start + milliseconds(20);
    while (next < deadline && WaitUntil(next)) {
        int waiting = 0;
        if (fd < 0 || ioctl(fd, FIONREAD, &waiting) != 0 || waiting == 0) break;
        next += milliseconds(5);
    }
    if (fd >= 0 && fd != slave) close(fd);
}

void MeterEmulator::Impl::Serve() {
    bool open = true;
    while (open) {
        bool partial;
        {
            std::lock_guard lock(mutex);
            partial = session->HasPartial();
        }
        int timeout = -1;
        if (partial && options.partialDropMs > 0) {
            auto left = lastByteAt + milliseconds(options.partialDropMs) - std::chrono::steady_clock::now();
            timeout = static_cast<int>(std::max<long long>(0, std::chrono::ceil<milliseconds>(left).count()));
        }
        pollfd line{master, POLLIN, 0};
        int ready = 0;
        if (PollStop(timeout, &line, &ready)) break;
        if (ready < 0 && errno != EINTR) break;
        SteadyTime now = std::chrono::steady_clock::now();

        if (line.revents & POLLIN) {
            char buffer[4096];
            ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0) {
                if (!partial) firstByteAt = now;
                lastByteAt = now;
                std::lock_guard lock(mutex);
                session->Receive(std::string_view(buffer, static_cast<std::size_t>(n)));
            }
        } else if (line.revents & (POLLHUP | POLLERR)) {
            // Nobody holds the slave open (a master taken over): wait for someone to open it.
            if (PollStop(50)) break;
            continue;
        }

        std::string request;
        while (true) {
            ReplyPlan plan;
            {
                std::lock_guard lock(mutex);
                if (!session->NextRequest(&request)) break;
                plan = session->Handle(request, std::chrono::steady_clock::now());
            }
            Note(EscapeBytes(request));
            for (const std::string& note : plan.notes) Note("# " + note);
            if (!SendReply(plan, request.size())) {
                open = false;
                break;
            }
            if (plan.hangUp) {
                if (!plan.bytes.empty()) DrainBeforeHangUp();
                // Closing every descriptor of the pair is what the program's side sees as a hang-up.
                CloseFd(&master);
                CloseFd(&slave);
                hungUp = true;
                Note("# hung up after " + std::to_string(session->requestsHandled()) + " requests");
                open = false;
                break;
            }
        }
        if (!open) break;

        if (ready == 0 && partial) {
            // The line stayed quiet in the middle of a request: it will not be completed.
            std::string dropped;
            {
                std::lock_guard lock(mutex);
                dropped = session->DropPartial();
            }
            Note("# dropped an incomplete request after " + std::to_string(options.partialDropMs) +
                 " ms: " + EscapeBytes(dropped));
        }
    }
    serving = false;
}

MeterEmulator::MeterEmulator() : impl_(std::make_unique<Impl>()) {}

MeterEmulator::~MeterEmulator() { Stop(); }

bool MeterEmulator::Start(const EmulatorOptions& options, std::string* slavePath, std::string* error) {
    std::string why;
    Impl& d = *impl_;
    if (d.started) {
        if (error) *error = "the emulator was started already";
        return false;
    }
    d.started = true;
    d.options = options;
    // A master handed over is ours from here on, whatever happens.
    MeterState state;
    bool ok = PrepareState(options, std::chrono::steady_clock::now(), &state, &why);
    if (ok && !options.transcriptFile.empty()) {
        d.transcript = open(options.transcriptFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
        if (d.transcript < 0) {
            why = SystemError("cannot write " + options.transcriptFile);
            ok = false;
        }
    }
    ok = ok && d.OpenLine(&why) && d.MakeLink(&why);
    if (ok && pipe2(d.stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        why = SystemError("pipe");
        ok = false;
    }
    if (!ok) {
        if (d.master < 0 && options.masterFd >= 0) d.master = options.masterFd;
        d.Cleanup();
        if (error) *error = why;
        return false;
    }
    d.stopWrite = d.stopPipe[1];
    d.session = std::make_unique<Session>(std::move(state), options.faults);
    d.serving = true;
    d.thread = std::thread([&d] { d.Serve(); });
    if (slavePath) *slavePath = d.slavePath;
    return true;
}

void MeterEmulator::RequestStop() noexcept {
    if (int fd = impl_->stopWrite.load(); fd >= 0) {
        char byte = 1;
        [[maybe_unused]] ssize_t n = write(fd, &byte, 1);
    }
}

void MeterEmulator::Stop() {
    RequestStop();
    impl_->Cleanup();
}

void MeterEmulator::Wait() { impl_->Cleanup(); }

bool MeterEmulator::Serving() const { return impl_->serving; }

bool MeterEmulator::HungUp() const { return impl_->hungUp; }

const std::string& MeterEmulator::slavePath() const { return impl_->slavePath; }

MeterState MeterEmulator::Snapshot() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->session ? impl_->session->state() : MeterState{};
}

std::size_t MeterEmulator::RequestsHandled() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->session ? impl_->session->requestsHandled() : 0;
}

}  // namespace tq4sim
