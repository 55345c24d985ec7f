// The memory dump's block exchange: "E", the memory type, the block number as 5 digits, "\r\n";
// answered "G", the type, the five digits as they came, the block's 128 bytes, "\r\n".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tools/tq4sim/meter_state.h"

namespace tq4sim {

inline constexpr std::size_t kBlockRequestSize = 9;
inline constexpr std::size_t kBlockReplySize = 137;
inline constexpr char kBlockReplyLetter = 'G';

// The block number of a block request; false for any other request.
bool BlockNumberOf(std::string_view request, unsigned* number);

// The answer to a block request: the block, or "!\r\n" for a memory type the meter lacks, a
// block past its end, or a number that is not 5 digits.
std::string MemoryBlockReply(const MeterState& state, std::string_view request);

}  // namespace tq4sim
