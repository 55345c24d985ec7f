// What the dataset reader needs from the system: its data record file, opened by the client's
// wide name and read at offsets, and the C locale for the library's number scanner.  One implementation per platform: posix/platform.cpp (a
// descriptor, the name converted to UTF-8) and windows/platform.cpp (a file handle, the name as is).
#pragma once

#include <cstddef>
#include <cstdint>

#include "loamset/kxdataset.h"

namespace loamset {

// A descriptor on Linux, a HANDLE on Windows; -1 is neither.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Opens an existing file for reading.  A failure is the system error number of the component ABI
// as a result (2 file not found, 3 path not found, 4 too many open files, 5 access denied),
// E_FAIL for a folder, a name the system cannot spell, or any other failure, E_OUTOFMEMORY.
[[nodiscard]] HRESULT OpenDataFile(const KXWCHAR* name, FileHandle& file) noexcept;
void CloseDataFile(FileHandle file) noexcept;
// Up to size bytes at offset: the count read, 0 at the end of the file, negative on a read error.
std::ptrdiff_t ReadDataFile(FileHandle file, void* buffer, std::size_t size, std::uint64_t offset) noexcept;
// The file's current size, or UINT64_MAX when it cannot be learned.
std::uint64_t DataFileSize(FileHandle file) noexcept;

// While it lives, the library's conversions on this thread (sscanf) read numbers as the C locale
// does, whatever locale the client process has set.  Without one, they follow the process's locale.
class ScopedCLocale {
public:
    ScopedCLocale() noexcept;
    ~ScopedCLocale();
    ScopedCLocale(const ScopedCLocale&) = delete;
    ScopedCLocale& operator=(const ScopedCLocale&) = delete;

private:
    void* m_previous = nullptr; // what the destructor puts back, in the platform's terms
};

} // namespace loamset
