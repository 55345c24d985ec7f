// The memory dump for technical support: the meter's data memory, block by block and
// unconverted, into a binary file, and the Debug command around it.
#pragma once

#include <cstddef>
#include <string>

#include "loamer/link/error_codes.h"
#include "loamer/link/memory_block_layout.h"
#include "loamer/link/ui.h"
#include "loamer/retrieval/output_file.h"
#include "loamer/upload/command_result.h"
#include "loamer/upload/meter_clock.h"

namespace loamer {

// The memories a dump reads, in order: a type character and its number of blocks.
struct MemoryArea {
    char type;
    unsigned blocks;
};
inline constexpr MemoryArea kDumpedMemory[] = {{'2', 256}};
inline constexpr std::size_t kMemoryBlockSize = memory_block_reply::kData.width;

// The save dialog of the Debug command.
inline constexpr FileDialogOptions kDebugFileDialog{"BIN", "TQ4 DEBUG", "BIN Files (*.BIN)|*.BIN|All Files (*.*) |*.*||",
                                                 true};

// "Direct", "Internal", "External" for '0' to '2'; "" for any other type.
const char* MemoryTypeName(char type);
// A reply read whole: ERR_BAD_REPLY unless it starts with 'G', then ERR_BAD_FRAME unless it
// ends with "\r\n".
[[nodiscard]] ErrorCode CheckMemoryBlockReply(const unsigned char (&reply)[kMemoryBlock.reply]);
// The box shown when a block fails: the echoed block number of the reply (cut at its first zero
// byte) and the memory's name.
std::string DebugErrorText(const unsigned char (&reply)[kMemoryBlock.reply], char type);
// The box after a saved dump, naming the file without its folder.
std::string DebugSavedText(const std::string& path);

// Wakes the meter and writes every block's 128 bytes to the file, one write each; the caller
// opens and closes it. A failed block shows DebugErrorText (plain box) and gives ERR_FILE_WRITE,
// an abort gives ERR_ABORTED with nothing shown, a failed write shows the system's message and
// gives ERR_FILE_WRITE. The file keeps every block before the failure. The progress bar is shown
// once the meter answers and hidden however the dump ends.
[[nodiscard]] ErrorCode DumpMemory(OutputFile& file);

// The Debug command: asks for the file, dumps into it and closes it whatever happened (a failed
// open shows the system's message, then the report for ERR_FILE_OPEN; a failed close the
// system's message, and the dump counts as ERR_FILE_WRITE). Success shows DebugSavedText and
// refreshes the clock display; a failure shows the report.
CommandResult SaveDebugReport(ClockDisplay& display);

}  // namespace loamer
