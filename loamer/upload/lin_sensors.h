// The sensor kinds that take a linearisation table: one install command each. The dialog's menu
// and the command line's SENSOR names both come from this table.
#pragma once

#include <string_view>

namespace loamer {

struct LinSensor {
    unsigned commandId;    // the menu command
    char code;             // the meter's table slot id, sent in all three upload messages
    const char* name;      // the command line's SENSOR
    const char* stem;      // default file name and the name in the missing-slot message
    const char* menuText;  // the menu item, '&' before its access key
    bool separatorBefore;  // the menu puts a separator line above the item
};

// In the order of the menu.
inline constexpr LinSensor kLinSensors[] = {
    {32793, '1', "KR5", "KR5", "KR&5...", false},
    {32794, '2', "KR6", "KR6", "KR&6...", false},
    {32803, 'C', "GX420", "GX420", "&GX420...", false},
    {32806, 'D', "GX630", "GX630", "GX&630...", false},
    {32807, 'E', "GX310", "GX310", "GX310 / GX310T", false},
    {32808, 'G', "KR7", "KR7", "KR7", false},
    {32809, 'F', "KR6-Special", "KR6", "KR6 Special", false},
    {32795, '4', "VP4", "VP4", "&VP4...", true},
    {32796, '6', "VP4-Special", "", "V&P4 Special...", false},
    {32805, '9', "VP5", "VP5", "VP5...", false},
};

// The sensor of a code, or nullptr.
const LinSensor* FindLinSensor(char code);
// The sensor of a command line name, upper and lower case alike ("kr6-special"), or nullptr.
const LinSensor* FindLinSensorByName(std::string_view name);
// The file-name stem of a code; empty for a code that no sensor has.
const char* LinSensorStem(char code);

}  // namespace loamer
