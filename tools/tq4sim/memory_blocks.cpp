#include "tools/tq4sim/memory_blocks.h"

#include "tools/tq4sim/command_table.h"

namespace tq4sim {

bool BlockNumberOf(std::string_view request, unsigned* number) {
    if (request.size() != kBlockRequestSize || request[0] != 'E' || !request.ends_with("\r\n")) return false;
    unsigned value = 0;
    for (char c : request.substr(2, 5)) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    *number = value;
    return true;
}

std::string MemoryBlockReply(const MeterState& state, std::string_view request) {
    unsigned number = 0;
    if (!BlockNumberOf(request, &number)) return std::string(kRefused);
    auto memory = state.memory.find(request[1]);
    if (memory == state.memory.end() || number >= memory->second.size() / kMemoryBlockSize) {
        return std::string(kRefused);
    }
    std::string reply(1, kBlockReplyLetter);
    reply += request.substr(1, 6);  // the type and the digits, as they came
    reply.append(memory->second, number * kMemoryBlockSize, kMemoryBlockSize);
    reply += "\r\n";
    return reply;
}

}  // namespace tq4sim
