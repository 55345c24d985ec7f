// loamer: the desktop program for the TQ4 meter.
#include <QApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "loamer/link/posix/standard_streams.h"
#include "loamer/shell/command_line.h"
#include "loamer/shell/loamer_app.h"
#include "loamer/shell/program_icon.h"

using namespace loamer;

namespace {

// Prints the answer; a failed write of it (a full disk, a closed pipe) is an error.
int Finish(const CommandLineAnswer& answer) {
    std::fputs(answer.err.c_str(), stderr);
    if (std::fputs(answer.out.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "loamer: cannot write to standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return answer.status;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Before anything opens a file: the port must never become standard output or error.
    EnsureStandardDescriptors();
    // Before QApplication, which needs a display: --help and --version work without one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineAnswer answer = AnswerCommandLine(arguments);
    if (!answer.run) return Finish(answer);

    QApplication application(argc, argv);
    // Qt has taken on the user's locale.
    PinNumericLocale();
    QApplication::setWindowIcon(ProgramIcon());

    CLOAMERApp app;
    app.InitInstance();
    return 0;
}
