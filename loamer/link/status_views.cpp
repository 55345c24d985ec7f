#include "loamer/link/status_views.h"

#include <cstdio>

namespace loamer {

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace

std::string BatteryText(float level) {
    return Format("Battery Life = %.1f Percent", static_cast<double>(level));
}

std::string VersionText(const MeterVersion& version) {
    return Format("TQ4 firmware Version : %s ", version);
}

std::string MemoryText(const MeterMemoryStatus& status) {
    float used = 100.0f;
    if (status.freeUnits != 0) {
        used = 100.0f * static_cast<float>(status.usedUnits) /
               (static_cast<float>(status.usedUnits) + static_cast<float>(status.freeUnits));
    }
    return Format("Memory Used     = %.1f Percent\n\nReadings stored = %u", static_cast<double>(used),
                  status.readingsStored);
}

std::string TablesStatusText(const TablesStatus& status, const MeterTablesImage& image) {
    std::string text = "TQ4 Linearisation Tables Status:\n\n";
    for (std::size_t slot = 0; slot < table_reply::kSlots; ++slot) {
        if (image.bytes[TablePartOffset(1, slot)] != kTableRead.replyLetter) continue;
        text += Format("%-14s\t%-14s\n", status.names[slot], status.statusWords[slot]);
    }
    return text;
}

ErrorCode QueryVersionText(std::string& text) {
    MeterVersion version = {};
    if (ErrorCode rc = GetMeterVersion(version); rc != ERR_NONE) return rc;
    text = VersionText(version);
    return ERR_NONE;
}

ErrorCode QueryBatteryText(std::string& text) {
    float level = 0.0f;
    if (ErrorCode rc = GetMeterBattery(level); rc != ERR_NONE) return rc;
    text = BatteryText(level);
    return ERR_NONE;
}

ErrorCode QueryMemoryText(std::string& text) {
    MeterMemoryStatus status{};
    if (ErrorCode rc = GetMeterMemory(status); rc != ERR_NONE) return rc;
    text = MemoryText(status);
    return ERR_NONE;
}

ErrorCode QueryTablesText(std::string& text) {
    MeterTablesImage image{};
    TablesStatus status{};
    if (ErrorCode rc = ReadMeterTables(image); rc != ERR_NONE) return rc;
    if (ErrorCode rc = ParseTablesStatus(status, image); rc != ERR_NONE) return rc;
    text = TablesStatusText(status, image);
    return ERR_NONE;
}

}  // namespace loamer
