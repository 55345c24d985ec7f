// Meter replies of any bytes through the status and table checks.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "loamer/link/status_queries.h"
#include "loamer/link/status_views.h"

using namespace loamer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unsigned char reply[kStatusReplySize] = {};
    std::memcpy(reply, data, size < sizeof reply ? size : sizeof reply);
    if (CheckStatusFrame(reply) == ERR_NONE) {
        float level = 0;
        char version[7];
        MeterMemoryStatus memory{};
        if (DecodeBattery(reply, level) == ERR_NONE) (void)BatteryText(level);
        if (DecodeVersion(reply, version) == ERR_NONE) (void)VersionText(version);
        if (DecodeMemory(reply, memory) == ERR_NONE) (void)MemoryText(memory);
    }

    unsigned char clock[kClockRecordSize] = {};
    std::memcpy(clock, data, size < sizeof clock ? size : sizeof clock);
    (void)CheckClockReply(clock);

    // The table image exactly as the table read leaves it; a judged image is then parsed.
    static MeterTablesImage image;
    std::memset(image.bytes, 0, sizeof image.bytes);
    std::memcpy(image.bytes, data, size < sizeof image.bytes ? size : sizeof image.bytes);
    bool judged = true;
    for (int slot = 0; slot < 10; ++slot) judged = judged && JudgeTableSlot(image, slot) == ERR_NONE;
    TablesStatus status{};
    const ErrorCode rc = ParseTablesStatus(status, image);
    if (judged && rc == ERR_NONE) (void)TablesStatusText(status, image);
    return 0;
}
