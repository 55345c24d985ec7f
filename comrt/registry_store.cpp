#include "comrt/registry_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace comrt {
namespace {

// Closes a descriptor on every path.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    [[nodiscard]] int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::string Describe(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

void SetDetail(std::string* detail, std::string text) {
    if (detail != nullptr) *detail = std::move(text);
}

HRESULT ReadFailure(const std::string& path, int error, std::string* detail) {
    SetDetail(detail, Describe(path, error));
    return (error == EACCES || error == EPERM) ? E_ACCESSDENIED : REGDB_E_READREGDB;
}

HRESULT WriteFailure(const std::string& path, int error, std::string* detail) {
    SetDetail(detail, Describe(path, error));
    return (error == EACCES || error == EPERM || error == EROFS) ? E_ACCESSDENIED : REGDB_E_WRITEREGDB;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && *found->pw_dir != '\0') {
        return found->pw_dir;
    }
    return {};
}

// Reads the whole file; exists is false (and the result 0) when there is none. EFBIG when the file
// holds more than limit bytes. A FIFO or device does not block the open; it is refused as no file.
int ReadWholeFile(const std::string& path, std::string& text, bool& exists, mode_t* mode,
                  std::size_t limit = SIZE_MAX) {
    text.clear();
    exists = false;
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return errno == ENOENT ? 0 : errno;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return EINVAL;
    if (mode != nullptr) *mode = st.st_mode & 07777;
    exists = true;
    if (static_cast<std::uintmax_t>(st.st_size) > limit) return EFBIG;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        // The file may have grown since fstat.
        if (static_cast<std::size_t>(n) > limit - text.size()) return EFBIG;
        text.append(chunk, static_cast<std::size_t>(n));
    }
}

HRESULT ParseStore(const std::string& path, const std::string& text, Registry& out, std::string* detail) {
    const Registry::ParseProblem problem = out.ParseText(text);
    if (problem.line == 0) return S_OK;
    SetDetail(detail, path + ", line " + std::to_string(problem.line) + ": " + problem.reason);
    return REGDB_E_READREGDB;
}

int MakeFolders(const std::string& folder) {
    if (folder.empty()) return 0;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (const auto slash = folder.find_last_of('/'); slash != std::string::npos && slash > 0) {
        if (const int error = MakeFolders(folder.substr(0, slash)); error != 0) return error;
    }
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return errno;
    return 0;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that is really replaced: the target of a symbolic link rather than the link.
std::string RealTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr); resolved != nullptr) {
            std::string target(resolved);
            std::free(resolved);
            return target;
        }
    }
    return path;
}

int WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

HRESULT ReplaceFile(const std::string& path, std::string_view text, mode_t mode, std::string* detail) {
    const std::string folder = FolderOf(path);
    std::string temp = path + ".XXXXXX";
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return WriteFailure(temp, errno, detail);
    int error = WriteAll(fd.get(), text);
    if (error == 0 && ::fchmod(fd.get(), mode) != 0) error = errno;
    if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
    if (error == 0 && ::close(fd.release()) != 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return WriteFailure(path, error, detail);
    }
    // The rename itself reaches the disk with the folder.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return S_OK;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The names of the registration files in folder, in byte order; a missing folder has none.
int RegistrationFileNames(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return errno == ENOENT ? 0 : errno;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        // Hidden files are editors' and package tools' temporary copies.
        if (name.front() != '.' && EndsWith(name, ".reg")) names.emplace_back(name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return error;
}

}  // namespace

std::string ClassesRootPath() {
    if (const char* path = std::getenv("COMRT_CLASSES_ROOT"); path != nullptr && *path != '\0') return path;
    const std::string home = HomeFolder();
    if (home.empty()) return {};
    return home + "/.local/share/comrt/classes.reg";
}

std::string SystemClassesFolder() {
    if (const char* folder = std::getenv("COMRT_SYSTEM_CLASSES"); folder != nullptr) return folder;
    return COMRT_SYSTEM_CLASSES_DIR;
}

HRESULT ReadClassesRoot(Registry& out, std::string* detail) {
    const std::string path = ClassesRootPath();
    if (path.empty()) {
        SetDetail(detail, "no home folder for the classes root");
        return REGDB_E_READREGDB;
    }
    std::string text;
    bool exists = false;
    if (const int error = ReadWholeFile(path, text, exists, nullptr); error != 0)
        return ReadFailure(path, error, detail);
    return ParseStore(path, text, out, detail);
}

HRESULT EditClassesRoot(const std::function<HRESULT(Registry&)>& edit, std::string* detail) {
    const std::string named = ClassesRootPath();
    if (named.empty()) {
        SetDetail(detail, "no home folder for the classes root");
        return REGDB_E_WRITEREGDB;
    }
    const std::string path = RealTarget(named);
    if (const int error = MakeFolders(FolderOf(path)); error != 0)
        return WriteFailure(FolderOf(path), error, detail);

    const std::string lockPath = path + ".lock";
    Fd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (lock.get() < 0) return WriteFailure(lockPath, errno, detail);
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) return WriteFailure(lockPath, errno, detail);
    }

    std::string before;
    bool exists = false;
    mode_t mode = 0644;
    if (const int error = ReadWholeFile(path, before, exists, &mode); error != 0)
        return ReadFailure(path, error, detail);
    Registry registry;
    if (const HRESULT hr = ParseStore(path, before, registry, detail); FAILED(hr)) return hr;

    if (const HRESULT hr = edit(registry); FAILED(hr)) return hr;
    if (!exists && registry.Empty()) return S_OK;
    const std::string after = registry.ToText();
    if (exists && after == before) return S_OK;
    return ReplaceFile(path, after, mode, detail);
}

const std::string* ClassesView::FindValue(std::string_view key, std::string_view name) const {
    for (const Source& source : sources_) {
        if (source.registry.HasKey(key)) return source.registry.FindValue(key, name);
    }
    return nullptr;
}

std::string ClassesView::Searched() const {
    std::string places = rootPath_;
    if (!systemFolder_.empty()) {
        if (!places.empty()) places += " or ";
        places += "the .reg files of " + systemFolder_;
    }
    std::string text = places.empty() ? "anywhere (no home folder, no system folder)" : "in " + places;
    for (const std::string& skipped : skipped_) text += "; skipped " + skipped;
    return text;
}

HRESULT ReadClassesView(ClassesView& out, std::string* detail) {
    out = ClassesView{};
    out.rootPath_ = ClassesRootPath();
    if (!out.rootPath_.empty()) {
        ClassesView::Source root{out.rootPath_, {}};
        if (const HRESULT hr = ReadClassesRoot(root.registry, detail); FAILED(hr)) return hr;
        out.sources_.push_back(std::move(root));
    }

    out.systemFolder_ = SystemClassesFolder();
    if (out.systemFolder_.empty()) return S_OK;
    std::vector<std::string> names;
    if (const int error = RegistrationFileNames(out.systemFolder_, names); error != 0) {
        out.skipped_.push_back(Describe(out.systemFolder_, error));
    }
    for (const std::string& name : names) {
        const std::string path = out.systemFolder_ + '/' + name;
        std::string text;
        bool exists = false;
        const int error = ReadWholeFile(path, text, exists, nullptr, kSystemFileLimit);
        if (error == EFBIG) {
            out.skipped_.push_back(path + ": larger than " + std::to_string(kSystemFileLimit) + " bytes");
            continue;
        }
        if (error == EINVAL) {
            out.skipped_.push_back(path + ": not a regular file");
            continue;
        }
        if (error != 0) {
            out.skipped_.push_back(Describe(path, error));
            continue;
        }
        if (!exists) continue;  // removed since the folder was listed
        ClassesView::Source source{path, {}};
        std::string problem;
        if (FAILED(ParseStore(path, text, source.registry, &problem))) {
            out.skipped_.push_back(std::move(problem));
            continue;
        }
        out.sources_.push_back(std::move(source));
    }
    return S_OK;
}

}  // namespace comrt
