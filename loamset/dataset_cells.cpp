#include "loamset/dataset_cells.h"

#include <cstring>

namespace loamset {
namespace {

constexpr std::size_t kBufferSize = 256 * 1024;
// A cell, its delimiter and the byte after a CR fit in this many bytes.
constexpr std::size_t kCellWindow = kMaxCellChars + 3;

// 1: delimiter, 2: NUL (the cell's text ends there, its bytes still count).
struct StopTable {
    unsigned char kind[256] = {};
    constexpr StopTable()
    {
        kind[static_cast<unsigned char>(',')] = 1;
        kind[static_cast<unsigned char>('\n')] = 1;
        kind[static_cast<unsigned char>('\r')] = 1;
        kind[0] = 2;
    }
};
constexpr StopTable kStops;

} // namespace

CellReader::CellReader() = default;

CellReader::~CellReader() { Close(); }

void CellReader::Attach(FileHandle file)
{
    Close();
    if (!m_buf)
        m_buf = std::make_unique<unsigned char[]>(kBufferSize);
    m_file = file;
    m_bufStart = 0;
    m_pos = 0;
    m_end = 0;
}

void CellReader::Close()
{
    CloseDataFile(m_file);
    m_file = kNoFile;
    m_bufStart = 0;
    m_pos = 0;
    m_end = 0;
}

void CellReader::Fill(std::size_t want)
{
    if (m_pos > 0) {
        std::memmove(m_buf.get(), m_buf.get() + m_pos, m_end - m_pos);
        m_bufStart += m_pos;
        m_end -= m_pos;
        m_pos = 0;
    }
    while (m_end < want) {
        const std::ptrdiff_t got = ReadDataFile(m_file, m_buf.get() + m_end, kBufferSize - m_end, m_bufStart + m_end);
        if (got <= 0)
            return; // the end of the file, or a read error, which ends the file for the reader
        m_end += static_cast<std::size_t>(got);
    }
}

CellStatus CellReader::Next(Cell& cell)
{
    if (m_end - m_pos < kCellWindow)
        Fill(kCellWindow);
    const unsigned char* const base = m_buf.get();
    const unsigned char* const first = base + m_pos;
    const unsigned char* const end = base + m_end;
    const unsigned char* const limit = (end - first > static_cast<std::ptrdiff_t>(kMaxCellChars))
                                           ? first + kMaxCellChars + 1
                                           : end;
    const unsigned char* p = first;
    const unsigned char* textEnd = nullptr;
    for (;;) {
        while (p < limit && kStops.kind[*p] == 0)
            ++p;
        if (p < limit && *p == 0) {
            if (textEnd == nullptr)
                textEnd = p;
            ++p;
            continue;
        }
        break;
    }
    if (p == end) {
        m_pos = m_end;
        return CellStatus::EndOfFile;
    }
    if (p == first + kMaxCellChars + 1 || kStops.kind[*p] != 1) {
        m_pos = static_cast<std::size_t>(p - base);
        return CellStatus::TooLong;
    }
    if (textEnd == nullptr)
        textEnd = p;
    const unsigned char* after = p + 1;
    bool endOfLine = *p != ',';
    if (*p == '\r' && after < end && *after == '\n')
        ++after;
    // Trailing blanks go first, then leading ones; only the space character is a blank.
    const unsigned char* b = first;
    const unsigned char* e = textEnd;
    while (e > b && e[-1] == ' ')
        --e;
    while (b < e && *b == ' ')
        ++b;
    cell.text = std::string_view(reinterpret_cast<const char*>(b), static_cast<std::size_t>(e - b));
    cell.start = m_bufStart + m_pos;
    cell.endOfLine = endOfLine;
    m_pos = static_cast<std::size_t>(after - base);
    return CellStatus::Ok;
}

void CellReader::Seek(std::uint64_t offset)
{
    if (offset >= m_bufStart && offset <= m_bufStart + m_end) {
        m_pos = static_cast<std::size_t>(offset - m_bufStart);
        return;
    }
    // Going back, load the bytes before the target too: the next step back is likely to want them.
    std::uint64_t start = offset;
    if (offset < m_bufStart) {
        const std::uint64_t keepBefore = kBufferSize - kBufferSize / 4;
        start = offset > keepBefore ? offset - keepBefore : 0;
    }
    m_bufStart = start;
    m_pos = 0;
    m_end = 0;
    Fill(static_cast<std::size_t>(offset - start) + kCellWindow);
    if (offset - m_bufStart > m_end) {
        // The file is shorter than the target: stand at the target all the same, with nothing held.
        m_bufStart = offset;
        m_pos = 0;
        m_end = 0;
        return;
    }
    m_pos = static_cast<std::size_t>(offset - m_bufStart);
}

std::uint64_t CellReader::FileSize() const
{
    return DataFileSize(m_file);
}

} // namespace loamset
