#include "loamer/cli/port_access.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace loamer {

std::string PortAccessNote(const PortAccessFacts& facts) {
    if (facts.readWrite) return "";
    switch (facts.error) {
    case EACCES:
    case EPERM:
        // Serial devices usually belong to a group ("dialout") whose members may use them.
        if (facts.group.empty()) return "(no permission)";
        return "(no permission: the port belongs to group " + facts.group + ")";
    case ENOENT:
        return "(no such device)";
    default:
        return std::string("(not accessible: ") + std::strerror(facts.error) + ")";
    }
}

std::string DescribePortAccess(const std::string& devicePath) {
    PortAccessFacts facts;
    facts.readWrite = access(devicePath.c_str(), R_OK | W_OK) == 0;
    if (!facts.readWrite) {
        facts.error = errno;
        struct stat info{};
        if (stat(devicePath.c_str(), &info) == 0) {
            const group* owner = getgrgid(info.st_gid);
            facts.group = owner ? owner->gr_name : std::to_string(info.st_gid);
        }
    }
    return PortAccessNote(facts);
}

}  // namespace loamer
