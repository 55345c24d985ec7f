// tq4sim: a TQ4 meter on a pseudo-terminal, for tests, demos and users without a meter.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "loamer/link/posix/standard_streams.h"
#include "tools/tq4sim/emulator.h"

namespace {

// The write end of the pipe through which a stop signal reaches the serving loop. It is set
// before the handlers are installed and stays open until the process ends, so a signal that
// comes while the program is ending finds nothing gone.
volatile std::sig_atomic_t g_signalPipe = -1;

void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // Non-blocking: a pipe full of earlier signals already asks for the stop.
    [[maybe_unused]] ssize_t n = write(g_signalPipe, &byte, 1);
    errno = saved;
}

constexpr int kUsageError = 64;

}  // namespace

int main(int argc, char** argv) {
    // Before anything opens a descriptor: the pseudo-terminal must not become our stdout.
    loamer::EnsureStandardDescriptors();

    std::vector<std::string> args(argv + 1, argv + argc);
    tq4sim::EmulatorOptions options;
    std::string error;
    switch (tq4sim::ParseCommandLine(args, &options, &error)) {
    case tq4sim::ParseOutcome::Help:
        std::fputs(tq4sim::HelpText().c_str(), stdout);
        return 0;
    case tq4sim::ParseOutcome::Error:
        std::fprintf(stderr, "tq4sim: %s\nTry 'tq4sim --help'.\n", error.c_str());
        return kUsageError;
    case tq4sim::ParseOutcome::Run:
        break;
    }

    int signalPipe[2];
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("tq4sim: pipe");
        return 1;
    }
    g_signalPipe = signalPipe[1];
    options.stopFd = signalPipe[0];
    struct sigaction action{};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);

    tq4sim::MeterEmulator emulator;
    std::string slave;
    if (!emulator.Start(options, &slave, &error)) {
        std::fprintf(stderr, "tq4sim: %s\n", error.c_str());
        return 1;
    }

    // Scripts wait for this line before they open the port.
    if (options.linkPath.empty()) {
        std::printf("tq4sim: serving on %s\n", slave.c_str());
    } else {
        std::printf("tq4sim: serving on %s (link %s)\n", slave.c_str(), options.linkPath.c_str());
    }
    std::fflush(stdout);

    emulator.Wait();
    if (emulator.HungUp()) {
        std::printf("tq4sim: hung up after %zu requests\n", emulator.RequestsHandled());
    }
    return 0;
}
