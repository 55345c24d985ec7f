#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "loamer/upload/copy_data.h"

namespace loamer {

namespace {

std::string Problem(const std::string& path, int err) { return "Cannot open " + path + ":\n" + std::strerror(err); }

}  // namespace

bool ReadTestRecord(const std::string& path, std::size_t index, char (&text)[kXTextSize], std::string& problem) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        problem = Problem(path, errno);
        return false;
    }
    // A line of up to 134 characters once each CR LF became a line feed: twice that many bytes
    // hold it whatever the line ends are.
    unsigned char raw[2 * kTestRecordSize];
    std::size_t got = 0;
    const auto offset = static_cast<off_t>(index * kTestRecordSize);
    while (got < sizeof raw) {
        const ssize_t n = ::pread(fd, raw + got, sizeof raw - got, offset + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            problem = Problem(path, errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);

    std::memset(text, 0, sizeof text);
    std::size_t length = 0;
    for (std::size_t i = 0; i < got && length < sizeof text; ++i) {
        if (raw[i] == '\r' && i + 1 < got && raw[i + 1] == '\n') continue;
        text[length++] = static_cast<char>(raw[i]);
        if (raw[i] == '\n') break;
    }
    return true;
}

}  // namespace loamer
