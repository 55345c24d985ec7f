// Whether the user may open a serial port, told in a few words for the port lists of both
// programs, so that a user can tell a missing device from a missing group membership.
#pragma once

#include <string>

namespace loamer {

enum class PortAccess {
    Allowed,       // the user may open it for reading and writing
    NoPermission,  // it exists, but the user may not open it
    Missing,       // there is no such device
    Other,         // something else stands in the way; reason says what
};

// What the backend found out about a port, without opening it.
struct PortAccessFacts {
    PortAccess access = PortAccess::Allowed;
    std::string group;   // the device's group, by name (by number when it has no name)
    std::string reason;  // the system's words, for Other
};

// "" when the user may open the port, else a short note in parentheses naming the cause.
std::string PortAccessNote(const PortAccessFacts& facts);

// The note for the named port (as the port field takes it) and the current user.
std::string DescribePortAccess(const std::string& portName);

}  // namespace loamer
