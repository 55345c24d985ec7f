// The reader's data record file on Linux: the client's wide name in UTF-8, a descriptor read with
// pread, and an open's errno mapped by the component runtime.
#include "loamset/platform.h"

#include <cerrno>
#include <fcntl.h>
#include <locale.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "comrt/system_error.h"

namespace loamset {
namespace {

// The file name in the system's narrow character set, UTF-8.  False for a lone surrogate.
bool NarrowFileName(const KXWCHAR* wide, std::string& narrow)
{
    for (const KXWCHAR* p = wide; *p != 0; ++p) {
        std::uint32_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF) {
            const std::uint32_t low = p[1];
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++p;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        if (c < 0x80) {
            narrow.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            narrow.push_back(static_cast<char>(0xC0 | (c >> 6)));
            narrow.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            narrow.push_back(static_cast<char>(0xE0 | (c >> 12)));
            narrow.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            narrow.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            narrow.push_back(static_cast<char>(0xF0 | (c >> 18)));
            narrow.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            narrow.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            narrow.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return true;
}

// The C locale as an object, so conversions never depend on the process's LC_NUMERIC or LC_CTYPE.
locale_t CLocale()
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

} // namespace

ScopedCLocale::ScopedCLocale() noexcept : m_previous(CLocale() ? uselocale(CLocale()) : static_cast<locale_t>(nullptr))
{
}

ScopedCLocale::~ScopedCLocale()
{
    if (m_previous)
        uselocale(static_cast<locale_t>(m_previous));
}

HRESULT OpenDataFile(const KXWCHAR* name, FileHandle& file) noexcept
{
    file = kNoFile;
    std::string path;
    try {
        if (!NarrowFileName(name, path))
            return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return comrt::HResultFromErrno(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return E_FAIL;
    }
    file = fd;
    return S_OK;
}

void CloseDataFile(FileHandle file) noexcept
{
    if (file != kNoFile)
        ::close(static_cast<int>(file));
}

std::ptrdiff_t ReadDataFile(FileHandle file, void* buffer, std::size_t size, std::uint64_t offset) noexcept
{
    for (;;) {
        const ssize_t got = ::pread(static_cast<int>(file), buffer, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        return got;
    }
}

std::uint64_t DataFileSize(FileHandle file) noexcept
{
    struct stat st {};
    if (file == kNoFile || ::fstat(static_cast<int>(file), &st) != 0)
        return UINT64_MAX;
    return static_cast<std::uint64_t>(st.st_size);
}

} // namespace loamset
