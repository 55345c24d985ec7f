// The reader's data record file on Windows: opened by the client's wide name as it is, read at
// offsets through a file handle.
#include "loamset/platform.h"

#include <windows.h>

#include <clocale>
#include <cstring>
#include <new>

namespace loamset {
namespace {

HANDLE AsHandle(FileHandle file)
{
    return reinterpret_cast<HANDLE>(file);
}

// The errors that a client may tell apart keep their number; any other failure is E_FAIL, as on
// every platform.
HRESULT ResultOfOpenError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_ACCESS_DENIED:
        return HRESULT_FROM_WIN32(error);
    default:
        return E_FAIL;
    }
}

// The thread's own locale mode and categories before the scope, put back after it.
struct SavedLocale {
    int mode = 0;
    char numeric[128] = {};
    char ctype[128] = {};
};

bool CopyName(char (&to)[128], const char* name)
{
    if (name == nullptr || std::strlen(name) >= sizeof to)
        return false;
    std::strcpy(to, name);
    return true;
}

} // namespace

// The thread gets a locale of its own, so that switching it leaves other threads alone.
ScopedCLocale::ScopedCLocale() noexcept
{
    auto* saved = new (std::nothrow) SavedLocale;
    if (saved == nullptr)
        return;
    saved->mode = ::_configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
    if (saved->mode == -1 || !CopyName(saved->numeric, std::setlocale(LC_NUMERIC, nullptr)) ||
        !CopyName(saved->ctype, std::setlocale(LC_CTYPE, nullptr))) {
        if (saved->mode != -1)
            ::_configthreadlocale(saved->mode);
        delete saved;
        return;
    }
    std::setlocale(LC_NUMERIC, "C");
    std::setlocale(LC_CTYPE, "C");
    m_previous = saved;
}

ScopedCLocale::~ScopedCLocale()
{
    auto* saved = static_cast<SavedLocale*>(m_previous);
    if (saved == nullptr)
        return;
    std::setlocale(LC_CTYPE, saved->ctype);
    std::setlocale(LC_NUMERIC, saved->numeric);
    ::_configthreadlocale(saved->mode);
    delete saved;
}

HRESULT OpenDataFile(const KXWCHAR* name, FileHandle& file) noexcept
{
    file = kNoFile;
    // Others may go on writing the file (a retrieval in progress) while it is read.
    const HANDLE handle = ::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A folder refuses to open as a file with "access denied"; it is no data record file.
        const DWORD attributes = ::GetFileAttributesW(name);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return E_FAIL;
        return ResultOfOpenError(error);
    }
    file = reinterpret_cast<FileHandle>(handle);
    return S_OK;
}

void CloseDataFile(FileHandle file) noexcept
{
    if (file != kNoFile)
        ::CloseHandle(AsHandle(file));
}

std::ptrdiff_t ReadDataFile(FileHandle file, void* buffer, std::size_t size, std::uint64_t offset) noexcept
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!::ReadFile(AsHandle(file), buffer, want, &got, &at))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<std::ptrdiff_t>(got);
}

std::uint64_t DataFileSize(FileHandle file) noexcept
{
    LARGE_INTEGER size{};
    if (file == kNoFile || !::GetFileSizeEx(AsHandle(file), &size) || size.QuadPart < 0)
        return UINT64_MAX;
    return static_cast<std::uint64_t>(size.QuadPart);
}

} // namespace loamset
