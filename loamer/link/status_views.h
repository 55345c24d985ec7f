// The texts of the four status views, shared by the dialog and the command line.
#pragma once

#include <string>

#include "loamer/link/error_codes.h"
#include "loamer/link/status_queries.h"

namespace loamer {

std::string BatteryText(float level);
std::string VersionText(const MeterVersion& version);
std::string MemoryText(const MeterMemoryStatus& status);
std::string TablesStatusText(const TablesStatus& status, const MeterTablesImage& image);

// Each runs its query and, on success, puts the text of its box into text.
[[nodiscard]] ErrorCode QueryVersionText(std::string& text);
[[nodiscard]] ErrorCode QueryBatteryText(std::string& text);
[[nodiscard]] ErrorCode QueryMemoryText(std::string& text);
[[nodiscard]] ErrorCode QueryTablesText(std::string& text);

}  // namespace loamer
