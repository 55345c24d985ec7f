// The stored serial port setting, shared by the desktop program and the command line:
// $XDG_CONFIG_HOME/Norvane/Loamer.conf, section SETTINGS.
#pragma once

#include <string>

namespace loamer {

// What became of a load or a store. Anything but Ok is worth telling the user: the program
// then runs with the default port (load) or the name applies to this run only (store).
enum class SettingsStatus {
    Ok,
    Unreadable,  // the file exists but cannot be read (permissions, a folder in its place)
    Malformed,   // the file does not read as a settings file (a line that is no key=value,
                 // control characters, a value that runs over its line)
    Unwritable,  // the name could not be stored
};

// "ComPortName"; when empty, "COMPORT" n > 0 gives "COMn"; otherwise the default port. On a
// failed load name holds the default port.
SettingsStatus LoadPortName(std::string& name);
// Writes "ComPortName" and checks that it reached the file. A damaged file is rewritten with
// what could be read of it; an unreadable one is left alone (Unwritable).
SettingsStatus SavePortName(const std::string& name);

// The settings file's path, for messages.
std::string SettingsFilePath();
// One sentence for a status other than Ok, naming the file ("" for Ok).
std::string SettingsProblemText(SettingsStatus status);

}  // namespace loamer
