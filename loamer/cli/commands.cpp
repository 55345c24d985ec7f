// The commands of loamer-cli: for each, its registration (arguments and options) and its
// handler. A handler returns the exit status: 0, the code of the error report it showed, or
// kExitFailure after a message of its own.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

#include "loamer/cli/command_line.h"
#include "loamer/cli/term_ui.h"
#include "loamer/link/comm_port.h"
#include "loamer/link/error_codes.h"
#include "loamer/link/meter_protocol.h"
#include "loamer/link/port_access.h"
#include "loamer/link/status_views.h"
#include "loamer/retrieval/memory_dump.h"
#include "loamer/retrieval/retrieve_command.h"
#include "loamer/settings/port_setting.h"
#include "loamer/upload/cal_install.h"
#include "loamer/upload/command_result.h"
#include "loamer/upload/lin_install.h"
#include "loamer/upload/lin_text_source.h"
#include "loamer/upload/meter_clock.h"
#include "loamer/version.h"

namespace loamer::cli {

namespace {

// With --verbose, the system's reason for the link's last failure.
void AddPortReason(const Invocation& in) {
    if (in.verbose && LastCommPortSystemError() != 0)
        WriteText(stderr, CommPortName() + ": " + std::strerror(LastCommPortSystemError()) + "\n");
}

// Reports a failed meter command as the dialog would, and turns it into the exit status.
int Report(const Invocation& in, ErrorCode rc) {
    ShowErrorReport(rc);
    AddPortReason(in);
    return static_cast<int>(rc);
}

int StatusView(const Invocation& in, ErrorCode (*query)(std::string&)) {
    std::string text;
    if (ErrorCode rc = query(text); rc != ERR_NONE) return Report(in, rc);
    Ui().MessageBox(text, BoxStyle::Information);
    return 0;
}

// version, battery, memory, tables: the four status views.
int RunVersion(const Invocation& in) { return StatusView(in, QueryVersionText); }
int RunBattery(const Invocation& in) { return StatusView(in, QueryBatteryText); }
int RunMemory(const Invocation& in) { return StatusView(in, QueryMemoryText); }
int RunTables(const Invocation& in) { return StatusView(in, QueryTablesText); }

void AddStatusViews(CLI::App& app, Invocation& in) {
    AddCommand(app, in, {"version", "", "show the meter's firmware version", true, RunVersion});
    AddCommand(app, in, {"battery", "", "show the meter's battery level", true, RunBattery});
    AddCommand(app, in, {"memory", "", "show the meter's memory use and the readings stored", true, RunMemory});
    AddCommand(app, in, {"tables", "", "show the status of the meter's linearisation tables", true, RunTables});
}

// retrieve FILE [--force]: every record stored in the meter into a data record file.

// Creates path when nothing is there, in one step so that a file appearing meanwhile is not
// lost. False when something other than a folder is there already, a dangling link included.
// Any other failure is left to the retrieval's own open, which reports it.
bool ClaimNewFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    struct stat target {};
    return errno != EEXIST || (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode));
}

// An output file for the command: claimed unless --force was given. False, after the message,
// when something is there already. Runs before the meter is woken: a refused file costs no
// meter time.
bool MayWrite(const Invocation& in, const std::string& path) {
    if (in.force || ClaimNewFile(path)) return true;
    WriteText(stderr, "loamer-cli: " + path + " exists; " + in.command.name + " --force replaces it\n");
    return false;
}

int RunRetrieve(const Invocation& in) {
    const std::string& path = in.words[0];
    if (!MayWrite(in, path)) return kExitFailure;
    ErrorCode code = ERR_NONE;
    switch (RetrieveIntoFile(path, LOAMER_FILE_VERSION, code)) {
    case RetrieveOutcome::Failed: return Report(in, code);
    case RetrieveOutcome::CloseFailed: return kExitFailure;  // the system's message said it
    case RetrieveOutcome::Saved: break;
    }
    Ui().MessageBox(kReadingsSavedText, BoxStyle::Plain);
    return 0;
}

std::string CheckRetrieveFile(Invocation& in) { return CheckFileName(in, in.words[0]); }

void AddRetrieve(CLI::App& app, Invocation& in) {
    CLI::App* command = AddCommand(app, in,
                                   {"retrieve", "FILE [--force]",
                                    "collect the readings stored in the meter into the data record file FILE", true,
                                    RunRetrieve, CheckRetrieveFile});
    command->add_option("FILE", in.words, "the file to write (CSV text); \"-\" is refused, ./- names a file called -")
        ->expected(1)
        ->required();
    command->add_flag("--force", in.force, "replace FILE when it exists; without it the command refuses");
    command->footer(
        "The progress bar is drawn on stderr when it is a terminal. Ctrl-C (or SIGTERM, SIGHUP)\n"
        "ends the retrieval with code 27, as any failure ends it with its report's code: the file\n"
        "keeps the readings written before it.");
}

// The commands below are the desktop program's own, which show their messages and then
// refresh a clock display; the command line has none to show.
class NoClockDisplay final : public ClockDisplay {
public:
    void ShowClock(const ClockReading& reading) override { shown_ = reading; }
    const ClockReading& ShownClock() const override { return shown_; }
    bool ClockTimerRunning() const override { return running_; }
    void StartClockTimer() override { running_ = true; }

private:
    ClockReading shown_;
    bool running_ = false;
};

// With --verbose, the system's reason for a failed read of the command's file.
void AddFileReason(const Invocation& in) {
    if (in.verbose && LastTableFileSystemError() != 0)
        WriteText(stderr, in.file + ": " + std::strerror(LastTableFileSystemError()) + "\n");
}

// The exit status of a command that showed its own messages.
int ExitStatus(const Invocation& in, const CommandResult& result) {
    switch (result.end) {
    case CommandEnd::Succeeded: return 0;
    // The file was given, so no dialog cancels; counted as a failure should one.
    case CommandEnd::Cancelled: return kExitFailure;
    case CommandEnd::OwnMessage: AddFileReason(in); return kExitFailure;
    case CommandEnd::Reported: break;
    }
    if (result.code == ERR_LIN_OPEN || result.code == ERR_LIN_READ || result.code == ERR_LIN_CLOSE) {
        AddFileReason(in);
    } else {
        AddPortReason(in);
    }
    return static_cast<int>(result.code);
}

// install-table SENSOR FILE.LIN: a linearisation table into the sensor's slot.

// The SENSOR names for the help, a few on a line.
std::string SensorNames() {
    std::string names;
    std::size_t lineStart = 0;
    for (const LinSensor& sensor : kLinSensors) {
        if (!names.empty()) {
            names += ",";
            const bool full = names.size() - lineStart > 40;
            names += full ? "\n" : " ";
            if (full) lineStart = names.size();
        }
        names += sensor.name;
    }
    return names;
}

int RunInstallTable(const Invocation& in) {
    NoClockDisplay display;
    return ExitStatus(in, InstallLinTable(FindLinSensorByName(in.kind)->code, display));
}

std::string CheckInstallTable(Invocation& in) {
    if (FindLinSensorByName(in.kind) == nullptr) return "install-table: unknown SENSOR " + in.kind;
    return CheckFileName(in, in.file);
}

void AddInstallTable(CLI::App& app, Invocation& in) {
    CLI::App* command = AddCommand(app, in,
                                   {"install-table", "SENSOR FILE.LIN",
                                    "install the linearisation table of FILE.LIN for the sensor SENSOR", true,
                                    RunInstallTable, CheckInstallTable});
    command->add_option("SENSOR", in.kind, "the sensor kind, upper or lower case:\n" + SensorNames())
        ->required();
    command->add_option("FILE", in.file, "the table file to read")->required();
    command->footer(
        "The meter must hold no readings and have a table slot for the sensor; FILE is read\n"
        "only after these checks, as the desktop program asks for it only then.");
}

// install-cal orbis|flx FILE.cal: a sensor calibration.
struct ProbeName {
    const char* name;
    std::uint8_t kind;
};
constexpr ProbeName kProbeNames[] = {{"orbis", kOrbisProbe}, {"flx", kFlxSensor}};

const ProbeName* FindProbe(const std::string& name) {
    for (const ProbeName& probe : kProbeNames) {
        const std::string_view wanted = probe.name;
        const bool same = name.size() == wanted.size() &&
                          std::equal(name.begin(), name.end(), wanted.begin(), [](char a, char b) {
                              return std::tolower(static_cast<unsigned char>(a)) == b;
                          });
        if (same) return &probe;
    }
    return nullptr;
}

int RunInstallCal(const Invocation& in) {
    NoClockDisplay display;
    return ExitStatus(in, InstallCalibration(FindProbe(in.kind)->kind, display));
}

std::string CheckInstallCal(Invocation& in) {
    if (FindProbe(in.kind) == nullptr) return "install-cal: unknown probe kind " + in.kind;
    return CheckFileName(in, in.file);
}

void AddInstallCal(CLI::App& app, Invocation& in) {
    CLI::App* command =
        AddCommand(app, in,
                   {"install-cal", "orbis|flx FILE.cal", "install the sensor calibration of FILE.cal", true,
                    RunInstallCal, CheckInstallCal});
    command->add_option("KIND", in.kind, "orbis for an Orbis probe, flx for an FLX sensor")->required();
    command->add_option("FILE", in.file, "the calibration file to read")->required();
    command->footer("The meter must hold no readings; FILE is read only after that check.");
}

// debug FILE [--force]: the memory dump for technical support.
int RunDebug(const Invocation& in) {
    if (!MayWrite(in, in.file)) return kExitFailure;
    NoClockDisplay display;
    return ExitStatus(in, SaveDebugReport(display));
}

std::string CheckDebugFile(Invocation& in) { return CheckFileName(in, in.file); }

void AddDebug(CLI::App& app, Invocation& in) {
    CLI::App* command = AddCommand(app, in,
                                   {"debug", "FILE [--force]",
                                    "save the meter's memory into FILE for technical support", true, RunDebug,
                                    CheckDebugFile});
    command->add_option("FILE", in.file, "the file to write (binary)")->required();
    command->add_flag("--force", in.force, "replace FILE when it exists; without it the command refuses");
    command->footer(
        "The progress bar is drawn on stderr when it is a terminal. Ctrl-C (or SIGTERM, SIGHUP)\n"
        "ends the dump with code 27; the file keeps the blocks read before it.");
}

// clock: wakes the meter and prints its clock as the status box shows it.
int RunClock(const Invocation& in) {
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return Report(in, rc);
    const ClockReading reading = ReadMeterClockReading();
    if (reading.code != ERR_NONE) return Report(in, reading.code);
    Ui().MessageBox(reading.text, BoxStyle::Information);
    return 0;
}

void AddClock(CLI::App& app, Invocation& in) {
    AddCommand(app, in, {"clock", "", "show the meter's clock", true, RunClock});
}

// set-clock [--system | YYYY-MM-DD HH:MM:SS]: the Clock command's upload.
int RunSetClock(const Invocation& in) {
    // As the dialog's Clock command: a failed wake-up is reported and the clock query still
    // runs, unless the program was asked to end.
    int status = 0;
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) {
        status = Report(in, rc);
        if (TerminalUi::EndSignal() != 0) return status;
    }
    unsigned char reply[kClockRecordSize] = {};
    if (ErrorCode rc = GetMeterClock(reply); rc != ERR_NONE) return Report(in, rc);
    const ClockFields chosen = in.words.empty() ? ComputerLocalTime() : in.time;
    if (ErrorCode rc = SetMeterClock(chosen, UserDateOrder()); rc != ERR_NONE) return Report(in, rc);
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return Report(in, rc);
    return status;
}

// "YYYY-MM-DD HH:MM:SS" as one argument or two, a time of the calendar.
std::string CheckClockArgument(Invocation& in) {
    if (in.words.empty()) return {};
    std::string text = in.words[0];
    if (in.words.size() == 2) text += " " + in.words[1];
    ClockFields& f = in.time;
    int consumed = 0;
    const bool ok = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &f.year, &f.month, &f.day, &f.hour,
                                &f.minute, &f.second, &consumed) == 6 &&
                    static_cast<std::size_t>(consumed) == text.size() && IsCalendarTime(f);
    return ok ? std::string() : "set-clock takes --system or YYYY-MM-DD HH:MM:SS";
}

void AddSetClock(CLI::App& app, Invocation& in) {
    CLI::App* command = AddCommand(app, in,
                                   {"set-clock", "[--system | YYYY-MM-DD HH:MM:SS]",
                                    "set the meter's clock to this computer's time (the default) or the one given",
                                    true, RunSetClock, CheckClockArgument});
    CLI::Option* system = command->add_flag("--system", in.system, "this computer's local time (the default)");
    command->add_option("TIME", in.words, "the time to set, YYYY-MM-DD HH:MM:SS as one argument or two")
        ->expected(1, 2)
        ->excludes(system);
}

// ports: the serial ports of this computer, each with a note when the user cannot open it.
struct PrintingSink : PortListSink {
    void AddPort(const std::string& name) override {
        const std::string note = DescribePortAccess(name);
        WriteText(stdout, name + (note.empty() ? "" : "  ") + note + "\n");
        ++count;
    }
    int count = 0;
};

int RunPorts(const Invocation&) {
    PrintingSink sink;
    EnumCommPorts(sink);
    if (sink.count == 0) WriteText(stderr, "No serial ports found.\n");
    return 0;
}

void AddPorts(CLI::App& app, Invocation& in) {
    AddCommand(app, in, {"ports", "", "list the serial ports of this computer", false, RunPorts});
}

// port [NAME]: the port this command would use, or store NAME for the next ones.
int RunPort(const Invocation& in) {
    if (in.words.empty()) {
        WriteText(stdout, CommPortName() + "\n");
        return 0;
    }
    if (const SettingsStatus status = SavePortName(in.words[0]); status != SettingsStatus::Ok) {
        WriteText(stderr, SettingsProblemText(status) + "\n");
        return kExitFailure;
    }
    return 0;
}

std::string CheckPortArgument(Invocation& in) {
    if (in.words.empty()) return {};
    // Storing a name needs no port of its own.
    in.command.usesPort = false;
    return in.words[0].empty() ? "a port name cannot be empty" : "";
}

void AddPort(CLI::App& app, Invocation& in) {
    CLI::App* command = AddCommand(app, in,
                                   {"port", "[NAME]", "show the serial port a command would use, or store NAME",
                                    true, RunPort, CheckPortArgument});
    command->add_option("NAME", in.words, "the port to store: COM1, COM2, ... or a device path")->expected(0, 1);
}

}  // namespace

// Refused rather than taken as a file name: a user who types "-" means standard input or
// output, and the commands' files never come from or go there.
std::string CheckFileName(const Invocation& in, const std::string& file) {
    const std::string command = in.command.name;
    if (file.empty()) return command + ": FILE cannot be empty";
    if (file == "-") return command + ": FILE cannot be \"-\" (./- names a file called -)";
    return {};
}

bool FindProbeKind(const std::string& name, std::uint8_t& kind) {
    const ProbeName* probe = FindProbe(name);
    if (probe) kind = probe->kind;
    return probe != nullptr;
}

void RegisterCommands(CLI::App& app, Invocation& in) {
    AddStatusViews(app, in);
    AddRetrieve(app, in);
    AddDebug(app, in);
    AddClock(app, in);
    AddSetClock(app, in);
    AddInstallTable(app, in);
    AddInstallCal(app, in);
    AddPorts(app, in);
    AddPort(app, in);
    RegisterChannelCommands(app, in);
}

}  // namespace loamer::cli
