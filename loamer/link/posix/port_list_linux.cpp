#include "loamer/link/posix/port_list_linux.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace loamer {

namespace fs = std::filesystem;

namespace {

// Listing order: standard ports, then USB adapters, then their by-id links.
enum class Kind { Uart, UsbAdapter, ById };

struct Listed {
    Kind kind;
    SerialDeviceName device;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view s) { return !s.empty() && std::all_of(s.begin(), s.end(), IsDigit); }

// Compares names with runs of digits taken as numbers, so that ttyUSB2 comes before ttyUSB10.
// Names that differ only in leading zeros fall back to plain order, keeping the sort total.
int CompareNatural(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const auto aEnd = static_cast<std::size_t>(std::find_if_not(a.begin() + static_cast<std::ptrdiff_t>(i), a.end(), IsDigit) - a.begin());
            const auto bEnd = static_cast<std::size_t>(std::find_if_not(b.begin() + static_cast<std::ptrdiff_t>(j), b.end(), IsDigit) - b.begin());
            while (i + 1 < aEnd && a[i] == '0') ++i;
            while (j + 1 < bEnd && b[j] == '0') ++j;
            const std::string_view aNumber = a.substr(i, aEnd - i);
            const std::string_view bNumber = b.substr(j, bEnd - j);
            if (aNumber.size() != bNumber.size()) return aNumber.size() < bNumber.size() ? -1 : 1;
            if (const int c = aNumber.compare(bNumber); c != 0) return c;
            i = aEnd;
            j = bEnd;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j ? -1 : 1;
    return a.compare(b);
}

bool HasDeviceLink(const fs::path& entry) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(entry / "device", ec));
}

// Every 8250 port the kernel reserves has a device link; only those where a UART was found
// report a non-zero type.
bool UartAnswers(const fs::path& entry) {
    std::ifstream in(entry / "type");
    long type = 0;
    return static_cast<bool>(in >> type) && type != 0;
}

bool IsMissing(const std::error_code& ec) {
    return ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
}

// Calls take(entry) for each entry of dir. A missing dir has no entries.
template <typename Take>
BackendResult ForEachEntry(const std::string& dir, Take take) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) return IsMissing(ec) ? BackendResult::Success() : BackendResult::Failure(ec.value());
    // A failed step ends the iteration and leaves its error in ec.
    for (; it != fs::directory_iterator(); it.increment(ec)) take(*it);
    if (ec) return BackendResult::Failure(ec.value());
    return BackendResult::Success();
}

}  // namespace

BackendResult ListLinuxSerialDevices(const std::string& sysClassTty, const std::string& devDir,
                                     const std::string& byIdDir, std::vector<SerialDeviceName>& out) {
    out.clear();
    std::vector<Listed> listed;

    BackendResult result = ForEachEntry(sysClassTty, [&](const fs::directory_entry& entry) {
        const std::string name = entry.path().filename().string();
        const std::string_view view(name);
        if (view.substr(0, 4) == "ttyS" && view.size() <= 4 + 9 && AllDigits(view.substr(4))) {
            if (HasDeviceLink(entry.path()) && UartAnswers(entry.path())) {
                const unsigned long index = std::stoul(name.substr(4));
                listed.push_back({Kind::Uart, {"COM" + std::to_string(index + 1), true}});
            }
        } else if ((view.substr(0, 6) == "ttyUSB" || view.substr(0, 6) == "ttyACM") && view.size() > 6) {
            if (HasDeviceLink(entry.path())) listed.push_back({Kind::UsbAdapter, {devDir + "/" + name, false}});
        }
    });
    if (!result.ok()) return result;

    result = ForEachEntry(byIdDir, [&](const fs::directory_entry& entry) {
        std::error_code ec;
        if (entry.is_symlink(ec))
            listed.push_back({Kind::ById, {byIdDir + "/" + entry.path().filename().string(), false}});
    });
    if (!result.ok()) return result;

    std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        if (a.kind != b.kind) return a.kind < b.kind;
        return CompareNatural(a.device.name, b.device.name) < 0;
    });
    for (Listed& l : listed) out.push_back(std::move(l.device));
    return BackendResult::Success();
}

}  // namespace loamer
