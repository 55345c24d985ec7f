// The meter's side of the protocol: how requests are framed on the line and what the meter
// answers to each. The lengths here are the emulator's own, written from the meter's point of
// view and kept apart from the program's table, so that a wrong length on either side shows
// up as a failed exchange in end-to-end tests.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tq4sim/meter_state.h"

namespace tq4sim {

// Short answers.
inline constexpr std::string_view kAccepted = "A\r\n";
inline constexpr std::string_view kBusy = "K\r\n";
inline constexpr std::string_view kRefused = "!\r\n";

// Replies of the queries, "\r\n" included.
inline constexpr std::size_t kStatusReplySize = 28;
inline constexpr std::size_t kClockReplySize = 18;
inline constexpr std::size_t kTableHeaderReplySize = 18;
inline constexpr std::size_t kTablePointsReplySize = 125;

// An unknown request ends at "\r\n"; one that runs on this long without it is taken whole.
inline constexpr std::size_t kLongestUnknownRequest = 256;

struct CommandHandler {
    char letter;
    // Length of the request, "\r\n" included, judged from its first bytes (at least one);
    // 0 while more bytes are needed to tell (a command whose length depends on its second byte);
    // kUpToLineEnd when those bytes make it no request of this command.
    std::size_t (*requestLength)(std::string_view head);
    // Carries out a request of the right length that ends in "\r\n"; returns the reply bytes
    // and adds any notes for the transcript.
    std::string (*serve)(MeterState& state, std::string_view request, SteadyTime now, std::vector<std::string>& notes);
};

// Every command the meter serves, one row each.
std::span<const CommandHandler> CommandTable();
const CommandHandler* FindHandler(char letter);

struct Framing {
    bool complete = false;
    std::size_t length = 0;  // bytes of the first request when complete
};

// Finds the first request in the bytes received so far: a known command by its fixed length,
// anything else (a known letter whose second byte names no request of it too) up to and
// including the first "\r\n".
Framing FrameRequest(std::string_view input);

// Carries out one framed request as the meter would and returns its reply. A request of a
// known command that does not end in "\r\n", an unknown command, or one the meter cannot
// serve is refused. Notes for the transcript (without "# ") go to *notes when given.
std::string ServeRequest(MeterState& state, std::string_view request, SteadyTime now,
                         std::vector<std::string>* notes = nullptr);

std::string StatusReply(const MeterState& state);
std::string ClockReply(const MeterState& state, SteadyTime now);
// The answer to 'T' part slot: a table part, or the refusal for a slot the meter lacks.
std::string TableReply(const MeterState& state, char part, char slot);
// The number of a record fetch "R" + 5 digits + "\r\n"; false for any other request.
bool RecordNumberOf(std::string_view request, unsigned* number);
// The answer to a record fetch: "Z", the record's kind, "\r\n" and its body; "Z0\r\n" for a
// number that holds no record (0, or past the last).
std::string RecordReply(const MeterState& state, unsigned number);

}  // namespace tq4sim
