// How an emulator run is set up: from the command line of tq4sim, or filled in by a test that
// runs the emulator in its own process.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/tq4sim/meter_state.h"
#include "tools/tq4sim/session.h"

namespace tq4sim {

struct EmulatorOptions {
    // The meter's memory: `state` when set, else the file `memoryFile` when named, else the
    // built-in meter (DefaultMeterState at the computer's time).
    std::optional<MeterState> state;
    std::string memoryFile;
    std::string linkPath;        // symbolic link to the slave side; empty: none
    std::string transcriptFile;  // one line per request received; empty: none
    unsigned paceBaud = 0;       // 0: send as fast as the pseudo-terminal takes it
    // An incomplete request is dropped after the line has been quiet this long; 0: never.
    unsigned partialDropMs = 1000;
    // A pseudo-terminal master to serve on, taken over (closed by the emulator); -1: the
    // emulator opens its own pair.
    int masterFd = -1;
    // A descriptor that asks for a stop, as RequestStop does, once it turns readable (the read
    // end of a signal handler's self-pipe); -1: none. Neither read nor closed by the emulator.
    int stopFd = -1;
    // Plausible readings added after the memory's own records (AppendGeneratedReadings); 0: none.
    unsigned generateReadings = 0;
    FaultOptions faults;
};

enum class ParseOutcome { Run, Help, Error };

// Reads tq4sim's arguments (without the program name). On Error, *error says why.
ParseOutcome ParseCommandLine(const std::vector<std::string>& args, EmulatorOptions* options, std::string* error);

// The text of `tq4sim --help`.
std::string HelpText();

}  // namespace tq4sim
