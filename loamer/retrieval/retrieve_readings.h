// Retrieving the stored readings into a data record file: the banner, the tables block, then
// every record the meter holds, in number order, one chunk each.
#pragma once

#include <string>

#include "loamer/link/error_codes.h"
#include "loamer/retrieval/output_file.h"

namespace loamer {

// Writes the tables block (two chunks). A failed write shows the system's message and gives
// ERR_FILE_WRITE; a failed table read gives its code with nothing written.
[[nodiscard]] ErrorCode WriteTablesBlock(OutputFile& file);

// The whole retrieval into an open file. Every chunk written before a failure stays; the failing
// record contributes nothing. The progress bar is shown for the records and hidden again
// however the retrieval ends.
[[nodiscard]] ErrorCode RetrieveReadings(OutputFile& file, const std::string& programVersion);

}  // namespace loamer
