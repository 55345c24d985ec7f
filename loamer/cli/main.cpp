// loamer-cli: the meter commands of the desktop program, one per invocation.
//
// Exit status: 0 success; the code of the error report when one was shown; 1 for a failure
// that showed only its own message; 64 for a usage error (nothing is sent to the meter).

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "loamer/cli/term_ui.h"
#include "loamer/link/comm_port.h"
#include "loamer/link/error_codes.h"
#include "loamer/link/meter_protocol.h"
#include "loamer/link/port_access.h"
#include "loamer/link/posix/standard_streams.h"
#include "loamer/link/status_views.h"
#include "loamer/settings/port_setting.h"
#include "loamer/upload/meter_clock.h"
#include "loamer/version.h"

using namespace loamer;

namespace {

constexpr int kExitUsage = 64;

const char kUsage[] =
    "usage: loamer-cli [--port NAME] [--verbose] COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  version     show the meter's firmware version\n"
    "  battery     show the meter's battery level\n"
    "  memory      show the meter's memory use and the readings stored\n"
    "  tables      show the status of the meter's linearisation tables\n"
    "  clock       show the meter's clock\n"
    "  set-clock [--system | YYYY-MM-DD HH:MM:SS]\n"
    "              set the meter's clock to this computer's time (the default) or the one given\n"
    "  ports       list the serial ports of this computer\n"
    "  port [NAME] show the stored serial port, or store NAME\n"
    "\n"
    "options:\n"
    "  --port NAME   serial port for this command: COM1, COM2, ... or a device path\n"
    "                (default: the stored port, else COM1)\n"
    "  --verbose     add the system's reason to a port error\n"
    "  --help        show this text\n"
    "  --version     show the program's version\n";

struct Options {
    std::string port;  // empty: the stored setting
    bool verbose = false;
};

using Handler = int (*)(const Options&, const std::vector<std::string>&);

// Reports a failed meter command as the dialog would, and turns it into the exit status.
int Report(const Options& opt, ErrorCode rc) {
    ShowErrorReport(rc);
    if (opt.verbose && LastCommPortSystemError() != 0)
        std::fprintf(stderr, "%s: %s\n", CommPortName().c_str(), std::strerror(LastCommPortSystemError()));
    return static_cast<int>(rc);
}

int StatusView(const Options& opt, ErrorCode (*query)(std::string&)) {
    std::string text;
    if (ErrorCode rc = query(text); rc != ERR_NONE) return Report(opt, rc);
    Ui().MessageBox(text, BoxStyle::Information);
    return 0;
}

int CmdVersion(const Options& o, const std::vector<std::string>&) { return StatusView(o, QueryVersionText); }
int CmdBattery(const Options& o, const std::vector<std::string>&) { return StatusView(o, QueryBatteryText); }
int CmdMemory(const Options& o, const std::vector<std::string>&) { return StatusView(o, QueryMemoryText); }
int CmdTables(const Options& o, const std::vector<std::string>&) { return StatusView(o, QueryTablesText); }

struct PrintingSink : PortListSink {
    void AddPort(const std::string& name) override {
        const std::string note = DescribePortAccess(name);
        std::printf("%s%s%s\n", name.c_str(), note.empty() ? "" : "  ", note.c_str());
        ++count;
    }
    int count = 0;
};

int CmdPorts(const Options&, const std::vector<std::string>&) {
    PrintingSink sink;
    EnumCommPorts(sink);
    if (sink.count == 0) std::fprintf(stderr, "No serial ports found.\n");
    return 0;
}

int CmdPort(const Options&, const std::vector<std::string>& args) {
    if (args.empty()) {
        std::printf("%s\n", CommPortName().c_str());
        return 0;
    }
    (void)SavePortName(args[0]);
    return 0;
}

int CmdClock(const Options& opt, const std::vector<std::string>&) {
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return Report(opt, rc);
    const ClockReading reading = ReadMeterClockReading();
    if (reading.code != ERR_NONE) return Report(opt, reading.code);
    Ui().MessageBox(reading.text, BoxStyle::Information);
    return 0;
}

// "YYYY-MM-DD HH:MM:SS" as one argument or two; false when it is not a time of the calendar.
bool ParseClockArgument(const std::vector<std::string>& args, ClockFields& f) {
    std::string text = args[0];
    if (args.size() == 2) text += " " + args[1];
    int consumed = 0;
    return std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &f.year, &f.month, &f.day, &f.hour,
                       &f.minute, &f.second, &consumed) == 6 &&
           static_cast<std::size_t>(consumed) == text.size() && IsCalendarTime(f);
}

int CmdSetClock(const Options& opt, const std::vector<std::string>& args) {
    // As the dialog's Clock command: a failed wake-up is reported and the clock query still runs.
    int status = 0;
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) status = Report(opt, rc);
    unsigned char reply[kClockRecordSize] = {};
    if (ErrorCode rc = GetMeterClock(reply); rc != ERR_NONE) return Report(opt, rc);
    ClockFields chosen;
    if (args.empty() || args[0] == "--system") {
        chosen = ComputerLocalTime();
    } else {
        ParseClockArgument(args, chosen);  // checked before any meter contact
    }
    if (ErrorCode rc = SetMeterClock(chosen, UserDateOrder()); rc != ERR_NONE) return Report(opt, rc);
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return Report(opt, rc);
    return status;
}

struct Command {
    const char* name;
    std::size_t minArgs;
    std::size_t maxArgs;
    Handler run;
};

constexpr Command kCommands[] = {
    {"version", 0, 0, CmdVersion},
    {"battery", 0, 0, CmdBattery},
    {"memory", 0, 0, CmdMemory},
    {"tables", 0, 0, CmdTables},
    {"ports", 0, 0, CmdPorts},
    {"port", 0, 1, CmdPort},
    {"clock", 0, 0, CmdClock},
    {"set-clock", 0, 2, CmdSetClock},
};

int Usage(const char* problem) {
    if (problem) std::fprintf(stderr, "loamer-cli: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    EnsureStandardDescriptors();
    Options opt;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("%s %s\n%s\n", LOAMER_PRODUCT_NAME, LOAMER_FILE_VERSION, LOAMER_COPYRIGHT);
            return 0;
        }
        if (a == "--verbose") {
            opt.verbose = true;
        } else if (a == "--port") {
            if (i + 1 >= argc) return Usage("--port needs a port name");
            opt.port = argv[++i];
        } else if (a.rfind("--port=", 0) == 0) {
            opt.port = std::string(a.substr(7));
        } else if (a.size() > 1 && a[0] == '-' && a != "--system") {
            return Usage(("unknown option " + std::string(a)).c_str());
        } else {
            words.emplace_back(a);
        }
    }
    if (words.empty()) return Usage("no command given");

    const Command* command = nullptr;
    for (const Command& c : kCommands) {
        if (words[0] == c.name) command = &c;
    }
    if (!command) return Usage(("unknown command " + words[0]).c_str());
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (args.size() < command->minArgs) return Usage("missing argument");
    if (args.size() > command->maxArgs) return Usage("too many arguments");
    if (command->run == CmdSetClock && !args.empty() && !(args.size() == 1 && args[0] == "--system")) {
        ClockFields chosen;
        if (!ParseClockArgument(args, chosen)) return Usage("set-clock takes --system or YYYY-MM-DD HH:MM:SS");
    }

    // The date order follows the user's LC_TIME; numbers stay in the C locale.
    std::setlocale(LC_TIME, "");

    TerminalUi ui;
    SetUi(&ui);
    std::string stored;
    if (opt.port.empty()) (void)LoadPortName(stored);
    SetCommPortName(opt.port.empty() ? stored : opt.port);
    const int status = command->run(opt, args);
    CloseCommPort();
    SetUi(nullptr);
    return status;
}
