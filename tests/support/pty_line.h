// The program's end of a pseudo-terminal line, for tests: opens the slave side in raw mode,
// writes requests and reads what comes back within a time limit.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

namespace loamer::testing {

inline std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }

inline long long MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Now() - start).count();
}

class PtyLine {
public:
    PtyLine() = default;
    explicit PtyLine(const std::string& path) { Open(path); }
    ~PtyLine() {
        if (fd_ >= 0) close(fd_);
    }
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    bool Open(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return false;
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        return tcsetattr(fd_, TCSANOW, &tio) == 0;
    }
    int fd() const { return fd_; }

    bool Write(std::string_view bytes) {
        return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until `count` bytes came or `limitMs` passed.
    std::string Read(std::size_t count, int limitMs = 2000) {
        std::string got;
        auto deadline = Now() + std::chrono::milliseconds(limitMs);
        while (got.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Now()).count();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
            if (!(p.revents & POLLIN)) break;
            char buffer[512];
            ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    std::string Ask(std::string_view request, std::size_t replySize, int limitMs = 2000) {
        if (!Write(request)) return "<write failed>";
        return Read(replySize, limitMs);
    }

    // True when the other side has closed the line.
    bool HungUp(int limitMs = 1000) {
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, limitMs) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0;
    }

private:
    int fd_ = -1;
};

}  // namespace loamer::testing
