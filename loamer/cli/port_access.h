// Whether the user may open a serial device, told in a few words for the port list.
#pragma once

#include <string>

namespace loamer {

// What is known about a device the user wants to open.
struct PortAccessFacts {
    bool readWrite = false;  // the user may open it for reading and writing
    int error = 0;           // otherwise why not, as an errno value
    std::string group;       // the device's group, by name (by number when it has no name)
};

// "" when the user may open the port, else a short note in parentheses naming the cause.
std::string PortAccessNote(const PortAccessFacts& facts);

// The note for the device at devicePath and the current user.
std::string DescribePortAccess(const std::string& devicePath);

}  // namespace loamer
