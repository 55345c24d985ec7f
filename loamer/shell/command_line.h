// The desktop program's command line: --help and --version answer without opening a window
// (and without a display), Qt's own options (-platform, -style, ...) pass through to Qt, and
// anything else is a usage error.
#pragma once

#include <QStringList>
#include <string>

namespace loamer {

// Exit status of a usage error, as the command-line program uses it.
inline constexpr int kExitUsage = 64;

struct CommandLineAnswer {
    bool run = true;  // false: the program ends with status, having printed out and err
    int status = 0;
    std::string out;
    std::string err;
};

// arguments as main() got them, the program's name first.
CommandLineAnswer AnswerCommandLine(const QStringList& arguments);

}  // namespace loamer
