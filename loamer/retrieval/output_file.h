// The file a retrieval or a memory dump writes: chunks go out one write each and are checked at
// once, so a full disk is seen at the chunk that failed and every chunk before it stays.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace loamer {

class OutputFile {
public:
    virtual ~OutputFile() = default;
    // True when every byte reached the file; otherwise problem holds the system's own message.
    virtual bool Write(const void* bytes, std::size_t count, std::string& problem) = 0;
    // True when the file was closed cleanly (written data flushed); problem as above.
    virtual bool Close(std::string& problem) = 0;
};

// Creates or truncates the file at path for binary writing; nullptr with problem set when it
// cannot be opened.
std::unique_ptr<OutputFile> OpenOutputFile(const std::string& path, std::string& problem);

}  // namespace loamer
