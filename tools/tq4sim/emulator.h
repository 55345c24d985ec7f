// The emulated TQ4 meter on a pseudo-terminal, served on a thread of its own. Tests run it in
// their own process and talk to the slave side as the program would; the tq4sim program is a
// thin shell around it.
//
//   tq4sim::MeterEmulator meter;
//   tq4sim::EmulatorOptions options;
//   options.memoryFile = "examples/meter.json";
//   std::string slave, error;
//   if (!meter.Start(options, &slave, &error)) ...;
//   ... open `slave`, write "I\r\n", read 28 bytes ...
//   meter.Stop();
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "tools/tq4sim/meter_state.h"
#include "tools/tq4sim/options.h"

namespace tq4sim {

class MeterEmulator {
public:
    MeterEmulator();
    ~MeterEmulator();  // stops serving
    MeterEmulator(const MeterEmulator&) = delete;
    MeterEmulator& operator=(const MeterEmulator&) = delete;

    // Loads the meter's memory, opens a pseudo-terminal pair (or takes over options.masterFd),
    // makes the link and starts serving. Puts the slave path in *slavePath. On failure returns
    // false with the reason in *error and leaves nothing behind. One Start per object.
    [[nodiscard]] bool Start(const EmulatorOptions& options, std::string* slavePath, std::string* error = nullptr);

    // Stops serving, closes the line and removes the link. Safe to call more than once.
    void Stop();
    // Asks the serving thread to stop, without waiting. Safe inside a signal handler.
    void RequestStop() noexcept;
    // Waits until serving ends (a stop request, or the hang-up fault), then cleans up as Stop.
    void Wait();

    bool Serving() const;
    // True when serving ended because --hangup-after closed the line.
    bool HungUp() const;
    const std::string& slavePath() const;

    // A copy of the meter's memory as it is now (a set clock, later uploads).
    MeterState Snapshot() const;
    std::size_t RequestsHandled() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tq4sim
