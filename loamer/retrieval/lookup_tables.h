// The meter's code characters turned into the texts of the data record file. Every code that a
// table does not list gives the table's last text.
#pragma once

#include <string>

namespace loamer {

const char* DeviceName(char code);
const char* UnitsName(char code);
const char* ProfileSoilName(char code);
const char* SensorSoilName(char code);
const char* ChannelLabel(char code);
// The units of a single-sensor channel, from its code and the header's two units codes.
const char* ChannelUnits(char channel, char vwcUnits, char ecUnits);

// A coded coefficient (three characters) as the file shows it: a number scaled and shifted
// into -49.9 .. 50.0 and printed with one decimal, or the three characters unchanged when they
// do not read as a number whole.
std::string DecodeCoefficient(const char* field3);

}  // namespace loamer
