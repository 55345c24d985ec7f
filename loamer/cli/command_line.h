// The arguments of loamer-cli: global options, then one command with its own arguments.
//
// Each command is one registration (its subcommand, arguments and options, written into the
// Invocation) and one handler (commands.cpp). ParseArguments checks everything before any
// handler runs, so a usage error never reaches the meter.
#pragma once

#include <cstddef>
#include <cstdint>
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
// that could not be stored, a send that no program answered).
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
    // It serves requests until a stop signal, which is then its normal end (exit 0); it runs
    // outside the one-command scope, which each request takes for its meter part.
    bool servesRequests = false;
};

// send x: the request block's parts, once checked.
struct XArguments {
    std::size_t record = 0;
    double first = 0;
    double second = 0;
    std::uint8_t code = 0;
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
    std::string title;               // serve --title, send --to
    XArguments x;                    // send x
};

// Adds a command's subcommand; its registration then adds the command's own arguments.
CLI::App* AddCommand(CLI::App& app, Invocation& invocation, const CommandInfo& info);

// Every command's registration, in the order the usage lists them (commands.cpp).
void RegisterCommands(CLI::App& app, Invocation& invocation);
// serve and send, the inter-program commands (channel_commands.cpp).
void RegisterChannelCommands(CLI::App& app, Invocation& invocation);

// Checks that the commands share (commands.cpp).
// Empty, or the problem with a FILE argument (empty, or "-").
std::string CheckFileName(const Invocation& invocation, const std::string& file);
// The probe kind that orbis or flx names, in any case; false for any other word.
bool FindProbeKind(const std::string& name, std::uint8_t& kind);

// Reads the arguments into invocation. Returns -1 when a command is to run; otherwise the
// exit status after the help, the version or a usage error has been printed.
int ParseArguments(int argc, const char* const* argv, Invocation& invocation);

}  // namespace loamer::cli
