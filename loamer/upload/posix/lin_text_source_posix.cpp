#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "loamer/upload/lin_text_source.h"

namespace loamer {

namespace {

class PosixTableSource final : public TableFileSource {
public:
    explicit PosixTableSource(int fd) : fd_(fd) {}
    ~PosixTableSource() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool Read(unsigned char* buffer, std::size_t max, std::size_t& got) override {
        got = 0;
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, max);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                NoteTableFileSystemError(errno);
                return false;
            }
            got = static_cast<std::size_t>(n);
            return true;
        }
    }

    bool Close() override {
        const int fd = fd_;
        fd_ = -1;
        // EINTR leaves the descriptor closed on Linux: nothing was lost.
        if (::close(fd) == 0 || errno == EINTR) return true;
        NoteTableFileSystemError(errno);
        return false;
    }

private:
    int fd_;
};

class PosixTableFiles final : public TableFileOpener {
public:
    std::unique_ptr<TableFileSource> OpenForReading(const std::string& path) override {
        int fd = -1;
        do {
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            NoteTableFileSystemError(errno);
            return nullptr;
        }
        // A folder opens for reading here but is no file; pipes and devices are read as they come.
        struct stat facts {};
        if (::fstat(fd, &facts) != 0 || S_ISDIR(facts.st_mode)) {
            NoteTableFileSystemError(S_ISDIR(facts.st_mode) ? EISDIR : errno);
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixTableSource>(fd);
    }
};

}  // namespace

TableFileOpener& SystemTableFiles() {
    static PosixTableFiles files;
    return files;
}

}  // namespace loamer
