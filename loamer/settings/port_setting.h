// The stored serial port setting, shared by the desktop program and the command line:
// $XDG_CONFIG_HOME/Norvane/Loamer.conf, section SETTINGS.
#pragma once

#include <string>

namespace loamer {

// "ComPortName"; when empty, "COMPORT" n > 0 gives "COMn"; otherwise "COM1".
std::string LoadPortName();
// Writes "ComPortName"; a failed write is ignored (the name still applies for this run).
void SavePortName(const std::string& name);

}  // namespace loamer
