#include "loamer/link/port_access.h"

#include "loamer/link/serial_backend.h"

namespace loamer {

std::string PortAccessNote(const PortAccessFacts& facts) {
    switch (facts.access) {
    case PortAccess::Allowed: return "";
    case PortAccess::NoPermission:
        // Serial devices usually belong to a group ("dialout") whose members may use them.
        if (facts.group.empty()) return "(no permission)";
        return "(no permission: the port belongs to group " + facts.group + ")";
    case PortAccess::Missing: return "(no such device)";
    case PortAccess::Other: break;
    }
    return "(not accessible: " + facts.reason + ")";
}

std::string DescribePortAccess(const std::string& portName) {
    return PortAccessNote(Backend().CheckAccess(portName));
}

}  // namespace loamer
