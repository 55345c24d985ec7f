#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "loamer/retrieval/output_file.h"

namespace loamer {

namespace {

// The system's words, with the file named, as a file error box shows them.
std::string Problem(const std::string& path, const char* action, int err) {
    return "Cannot " + std::string(action) + " " + path + ":\n" + std::strerror(err);
}

class PosixOutputFile final : public OutputFile {
public:
    PosixOutputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixOutputFile() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool Write(const void* bytes, std::size_t count, std::string& problem) override {
        const auto* p = static_cast<const unsigned char*>(bytes);
        // One write per chunk; a short write (a signal, a nearly full disk) carries on with the rest.
        while (count > 0) {
            const ssize_t n = ::write(fd_, p, count);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                problem = Problem(path_, "write to", n < 0 ? errno : ENOSPC);
                return false;
            }
            p += n;
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }

    bool Close(std::string& problem) override {
        if (fd_ < 0) return true;
        const int fd = fd_;
        fd_ = -1;
        // A network or removable disk may report a lost write only here.
        if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
            problem = Problem(path_, "write to", errno);
            ::close(fd);
            return false;
        }
        if (::close(fd) != 0 && errno != EINTR) {
            problem = Problem(path_, "close", errno);
            return false;
        }
        return true;
    }

private:
    int fd_;
    std::string path_;
};

}  // namespace

std::unique_ptr<OutputFile> OpenOutputFile(const std::string& path, std::string& problem) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        problem = Problem(path, "open", errno);
        return nullptr;
    }
    return std::make_unique<PosixOutputFile>(fd, path);
}

}  // namespace loamer
