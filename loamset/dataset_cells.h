// The cell reader: a data record file as comma-separated cells, read forward through an own
// buffer, with byte positions that are the file's real offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "loamset/platform.h"

namespace loamset {

// A cell holds at most this many characters; one more that is no delimiter makes the cell too long.
constexpr std::size_t kMaxCellChars = 254;

struct Cell {
    std::string_view text;   // trimmed of blanks at both ends, cut at a NUL byte; points into the buffer
    std::uint64_t start = 0; // file offset of the cell's first byte
    bool endOfLine = false;  // the delimiter was a line end (LF, CR, or CR LF read as one)
};

enum class CellStatus { Ok, EndOfFile, TooLong };

class CellReader {
public:
    CellReader();
    ~CellReader();
    CellReader(const CellReader&) = delete;
    CellReader& operator=(const CellReader&) = delete;

    // Takes ownership of an open file (closed by Close and the destructor).
    void Attach(FileHandle file);
    void Close();
    bool IsOpen() const { return m_file != kNoFile; }

    // Reads one cell and its delimiter.  A CR right before an LF is dropped, as text mode does.
    // EndOfFile when the file ends before a delimiter (a cell in progress is dropped); TooLong when
    // the character after kMaxCellChars is no delimiter.  Reading again after EndOfFile looks for
    // bytes added to the file meanwhile.
    CellStatus Next(Cell& cell);

    std::uint64_t Tell() const { return m_bufStart + m_pos; }
    void Seek(std::uint64_t offset);
    // The file's current size, or UINT64_MAX when it cannot be learned.
    std::uint64_t FileSize() const;

private:
    void Fill(std::size_t want);

    FileHandle m_file = kNoFile;
    std::unique_ptr<unsigned char[]> m_buf;
    std::uint64_t m_bufStart = 0; // file offset of m_buf[0]
    std::size_t m_pos = 0;        // read position in m_buf
    std::size_t m_end = 0;        // bytes held in m_buf
};

} // namespace loamset
