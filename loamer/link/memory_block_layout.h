// The memory block exchange ('E'): the request names a memory type and a block number, the
// reply ('G') echoes the number and carries the block's 128 bytes.
#pragma once

#include <cstddef>

#include "loamer/link/meter_commands.h"

namespace loamer {

namespace memory_block_request {
inline constexpr std::size_t kType = 1;
inline constexpr RecordField kNumber{2, 5};
inline constexpr std::size_t kLineEnd = 7;
static_assert(kLineEnd + 2 == kMemoryBlock.request);
}  // namespace memory_block_request

namespace memory_block_reply {
inline constexpr RecordField kEcho{2, 5};  // the block number as the meter echoes it
inline constexpr RecordField kData{7, 128};
inline constexpr std::size_t kLineEnd = kData.offset + kData.width;
static_assert(kLineEnd + 2 == kMemoryBlock.reply);
}  // namespace memory_block_reply

}  // namespace loamer
