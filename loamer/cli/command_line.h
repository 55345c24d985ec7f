// The arguments of loamer-cli: global options, then one command with its own arguments.
//
// Each command is one registration (its subcommand, arguments and options, written into the
// Invocation) and one handler (commands.cpp). ParseArguments checks everything before any
// handler runs, so a usage error never reaches the meter.
#pragma once

#include <string>
#include <vector>

#include "loamer/upload/meter_clock.h"

namespace CLI {
class App;
}

namespace loamer::cli {

constexpr int kExitUsage = 64;
// A failure that showed only its own message (an output file that exists, a calibration file
// that cannot be read, a table slot the meter lacks, output that could not be written, a port
// that could not be stored).
constexpr int kExitFailure = 1;

struct Invocation;
using Handler = int (*)(const Invocation&);
// Checks a command's arguments further, after parsing: empty, or the problem for the usage.
using ArgumentCheck = std::string (*)(Invocation&);

struct CommandInfo {
    const char* name = nullptr;
    const char* synopsis = "";  // its arguments as the usage shows them
    const char* description = "";
    // It opens the port: the port to use is settled (and the stored one read) before it runs.
    bool usesPort = false;
    Handler run = nullptr;
    ArgumentCheck check = nullptr;
};

// What the command line asked for.
struct Invocation {
    std::string port;  // --port NAME; empty when not given (a given name is never empty)
    bool verbose = false;
    CommandInfo command;  // run is nullptr until a command was given

    // Arguments of the commands, filled by their registrations.
    std::vector<std::string> words;  // positional arguments
    bool system = false;             // set-clock --system
    bool force = false;              // retrieve, debug --force: an existing output file is replaced
    std::string kind;                // install-table SENSOR, install-cal probe kind
    std::string file;                // the file a file dialog of the command would have asked for
    ClockFields time;                // set-clock: the time given, once checked
};

// Adds a command's subcommand; its registration then adds the command's own arguments.
CLI::App* AddCommand(CLI::App& app, Invocation& invocation, const CommandInfo& info);

// Every command's registration, in the order the usage lists them (commands.cpp).
void RegisterCommands(CLI::App& app, Invocation& invocation);

// Reads the arguments into invocation. Returns -1 when a command is to run; otherwise the
// exit status after the help, the version or a usage error has been printed.
int ParseArguments(int argc, const char* const* argv, Invocation& invocation);

}  // namespace loamer::cli
