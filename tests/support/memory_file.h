// An output file in memory for tests; its write number failAt (from 1) fails as a full disk would.
#pragma once

#include <string>

#include "loamer/retrieval/output_file.h"

namespace loamer::testing {

class MemoryFile final : public OutputFile {
public:
    bool Write(const void* bytes, std::size_t count, std::string& problem) override {
        if (++writes == failAt) {
            problem = "No space left on device";
            return false;
        }
        content.append(static_cast<const char*>(bytes), count);
        return true;
    }
    bool Close(std::string&) override { return true; }
    std::string content;
    int writes = 0;
    int failAt = 0;
};

}  // namespace loamer::testing
