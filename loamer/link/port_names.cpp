#include <cctype>
#include <cstdio>
#include <vector>

#include "loamer/link/comm_port.h"
#include "loamer/link/serial_backend.h"

namespace loamer {

bool ParseCommPortName(std::string_view raw, std::string& offered, unsigned& number) {
    std::string upper(raw);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    unsigned n = 0;
    int consumed = 0;
    if (std::sscanf(upper.c_str(), "COM%u%n", &n, &consumed) != 1) return false;
    const std::string_view rest = std::string_view(upper).substr(static_cast<std::size_t>(consumed));
    if (!rest.empty() && rest != ":") return false;
    offered = upper;
    number = n;
    return true;
}

bool QualifyCommPortName(std::string_view raw, std::string& offered) {
    unsigned number = 0;
    return ParseCommPortName(raw, offered, number);
}

void EnumCommPorts(PortListSink& list) {
    std::vector<SerialDeviceName> devices;
    if (!Backend().ListDevices(devices).ok()) return;
    for (const SerialDeviceName& d : devices) {
        if (!d.platformName) {
            list.AddPort(d.name);
            continue;
        }
        std::string offered;
        if (QualifyCommPortName(d.name, offered)) list.AddPort(offered);
    }
}

}  // namespace loamer
