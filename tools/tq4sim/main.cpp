// tq4sim: a TQ4 meter on a pseudo-terminal, for tests, demos and users without a meter.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/tq4sim/emulator.h"

namespace {

tq4sim::MeterEmulator* g_emulator = nullptr;

void OnSignal(int) {
    if (g_emulator != nullptr) g_emulator->RequestStop();
}

constexpr int kUsageError = 64;

}  // namespace

int main(int argc, char** argv) {
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

    static tq4sim::MeterEmulator emulator;
    std::string slave;
    if (!emulator.Start(options, &slave, &error)) {
        std::fprintf(stderr, "tq4sim: %s\n", error.c_str());
        return 1;
    }
    g_emulator = &emulator;
    struct sigaction action{};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);

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
