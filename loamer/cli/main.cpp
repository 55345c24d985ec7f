// loamer-cli: the meter commands of the desktop program, one per invocation.
//
// Exit status: 0 success; the code of the error report when one was shown, or of the answer to
// send; 1 for a failure that showed only its own message (an output file exists, a calibration
// file cannot be read, standard output could not be written, a port could not be stored, no
// program answered a send); 64 for a usage error (nothing is sent to the meter).
//
// The port: --port NAME when given, and the stored setting is then not read at all. Without
// it, the stored port; when the settings file cannot be read or is damaged, the command says so
// on stderr and goes on with COM1, as the desktop program does.
//
// Signals: SIGINT, SIGTERM and SIGHUP end a meter exchange with the abort report (code 27); the
// port is closed with its settings restored either way. A stop signal that no exchange answered
// ends the program by that signal after the close, unless a report code was due; serve ends
// on it normally, with status 0. SIGPIPE is ignored: a reader that went away is an output
// failure (exit 1), not a silent death.

#include <clocale>
#include <csignal>
#include <cstring>
#include <string>

#include "loamer/cli/command_line.h"
#include "loamer/cli/term_ui.h"
#include "loamer/link/command_scope.h"
#include "loamer/link/comm_port.h"
#include "loamer/link/posix/standard_streams.h"
#include "loamer/settings/port_setting.h"

using namespace loamer;
using namespace loamer::cli;

namespace {

std::string ChoosePort(const Invocation& in) {
    if (!in.port.empty()) return in.port;
    std::string stored;
    if (const SettingsStatus status = LoadPortName(stored); status != SettingsStatus::Ok)
        WriteText(stderr, SettingsProblemText(status) + "\n");
    return stored;
}

int Finish(int status, int stopSignal) {
    if (const int error = StandardOutputError(); error != 0) {
        WriteText(stderr, std::string("loamer-cli: cannot write the output: ") + std::strerror(error) + "\n");
        if (status == 0) status = kExitFailure;
    }
    if (stopSignal != 0 && status == 0) {
        std::signal(stopSignal, SIG_DFL);
        std::raise(stopSignal);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything opens a file: the serial port must never become descriptor 1 or 2.
    EnsureStandardDescriptors();
    std::signal(SIGPIPE, SIG_IGN);

    Invocation in;
    if (const int exitStatus = ParseArguments(argc, argv, in); exitStatus >= 0) return Finish(exitStatus, 0);

    // The date order follows the user's LC_TIME; numbers stay in the C locale.
    std::setlocale(LC_TIME, "");

    int status = 0;
    int stopSignal = 0;
    {
        TerminalUi ui;
        ui.SetDialogAnswer(in.file);
        ScopedUi scope(&ui);
        if (in.command.usesPort) SetCommPortName(ChoosePort(in));
        if (in.command.servesRequests) {
            status = in.command.run(in);
        } else {
            // The one command of this run holds the line, as a command of the desktop program does.
            MeterCommandScope command;
            status = in.command.run(in);
        }
        CloseCommPort();
        if (!in.command.servesRequests) stopSignal = TerminalUi::UnansweredSignal();
    }
    return Finish(status, stopSignal);
}
