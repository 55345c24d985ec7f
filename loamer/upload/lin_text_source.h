// Table files read the way the table reader needs them: the opening of a file goes through a
// small seam (the system's files in the programs, text in memory in tests and fuzzing), and the
// reading drops the carriage return of every CR LF pair, so that files written on either platform
// read alike, while the offsets it reports stay the file's real byte offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace loamer {

// One file opened for reading.
class TableFileSource {
public:
    virtual ~TableFileSource() = default;
    // Reads up to max bytes into buffer; got is 0 at the end of the file. False on a read error.
    virtual bool Read(unsigned char* buffer, std::size_t max, std::size_t& got) = 0;
    // Releases the file; false when the system reports a failure. Called at most once.
    virtual bool Close() = 0;
};

// Opens files for reading by path.
class TableFileOpener {
public:
    virtual ~TableFileOpener() = default;
    // nullptr when the file cannot be opened for reading (missing, no permission, a folder).
    virtual std::unique_ptr<TableFileSource> OpenForReading(const std::string& path) = 0;
};

// The process-wide opener; the system's files until another is installed.
TableFileOpener& TableFiles();
// Installs an opener (nullptr restores the system's); returns the previous one.
TableFileOpener* SetTableFiles(TableFileOpener* files);
// The production opener over the system's files.
TableFileOpener& SystemTableFiles();

// The system's error number of the last failed open, read or close of a table file (0: none),
// for a front end that shows the system's reason after the report. Kept, not interpreted.
int LastTableFileSystemError();
void NoteTableFileSystemError(int error);

// Installs an opener for a scope and puts the previous one back.
class ScopedTableFiles {
public:
    explicit ScopedTableFiles(TableFileOpener* files) : previous_(SetTableFiles(files)) {}
    ~ScopedTableFiles() { SetTableFiles(previous_); }
    ScopedTableFiles(const ScopedTableFiles&) = delete;
    ScopedTableFiles& operator=(const ScopedTableFiles&) = delete;

private:
    TableFileOpener* previous_;
};

// Text held in memory as a file: reads never fail, closing always succeeds.
std::unique_ptr<TableFileSource> MemoryTableFile(std::string text);

// Characters of a source one at a time, in text mode.
class LinTextReader {
public:
    static constexpr int kEnd = -1;

    explicit LinTextReader(TableFileSource& source) : source_(source) {}
    LinTextReader(const LinTextReader&) = delete;
    LinTextReader& operator=(const LinTextReader&) = delete;

    // The next character (0 to 255), a CR right before an LF dropped; kEnd at the end of the
    // file or after a read error, and from then on.
    int Get();
    // True when a read error ended the text.
    bool Failed() const { return failed_; }
    // Bytes of the file taken so far, a dropped CR included.
    std::uint64_t Offset() const { return offset_; }

private:
    // The next byte of the file, or kEnd; does not take it.
    int Peek();

    TableFileSource& source_;
    unsigned char buffer_[4096] = {};
    std::size_t next_ = 0;
    std::size_t size_ = 0;
    bool ended_ = false;
    bool failed_ = false;
    std::uint64_t offset_ = 0;
};

}  // namespace loamer
