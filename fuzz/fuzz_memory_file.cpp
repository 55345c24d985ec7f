// Bytes of any kind as a meter memory file. The loader takes them or refuses them with a
// message that names a line and a column; what it takes must serve replies of their lengths
// and records that open with their prefix.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/tq4sim/command_table.h"
#include "tools/tq4sim/meter_state.h"
#include "tools/tq4sim/stored_records.h"

using namespace tq4sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    MeterState state;
    std::string error;
    if (!LoadMeterState(text, CivilTime{2024, 3, 5, 14, 7, 9}, SteadyTime{}, &state, &error)) {
        if (!error.starts_with("line ") || error.find(", column ") == std::string::npos) __builtin_trap();
        return 0;
    }
    if (StatusReply(state).size() != kStatusReplySize) __builtin_trap();
    for (char slot : kSlotIds) {
        const std::size_t header = TableReply(state, '1', slot).size();
        if (header != kTableHeaderReplySize && header != kRefused.size()) __builtin_trap();
    }
    for (std::size_t n = 1; n <= state.records.size(); ++n) {
        const StoredRecord& record = state.records[n - 1];
        const std::string reply = RecordReply(state, static_cast<unsigned>(n));
        if (reply.size() != kRecordPrefixSize + record.body.size() || reply[0] != 'Z' || reply[1] != record.kind ||
            reply.compare(2, 2, "\r\n") != 0) {
            __builtin_trap();
        }
    }
    if (RecordReply(state, static_cast<unsigned>(state.records.size() + 1)) != "Z0\r\n") __builtin_trap();
    return 0;
}
