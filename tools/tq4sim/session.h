// One emulated meter on one line: the bytes received, the requests framed from them, the
// faults chosen by the user, and what goes back. No I/O here: the platform loop feeds bytes
// in and carries out the reply plans (timing, pieces, hang-up).
#pragma once

#include <climits>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tq4sim/exchange.h"
#include "tools/tq4sim/meter_state.h"

namespace tq4sim {

// A count that never runs out ("--busy" without a number).
inline constexpr unsigned kEveryTime = UINT_MAX;

struct SplitFault {
    std::size_t pieceBytes = 1;
    unsigned gapMs = 0;
};

// What the meter answers to a table upload message instead of accepting it.
enum class UploadFault {
    Busy,     // "K\r\n", the message not taken
    Refused,  // "!\r\n", the message not taken
    Garbage,  // taken, but the acknowledgement is garbled on the way
};

struct FaultOptions {
    // Handshakes go through these in turn: the first silentHandshakes get no answer, the
    // next busyHandshakes get "K\r\n", the next refusedHandshakes "!\r\n", the next
    // brokenHandshakes 'A' with a broken line end; the rest are accepted.
    unsigned silentHandshakes = 0;
    unsigned busyHandshakes = 0;
    unsigned refusedHandshakes = 0;
    unsigned brokenHandshakes = 0;
    std::string silentCommands;   // letters never answered (nor carried out)
    std::string garbageCommands;  // letters answered with garbage of the reply's length
    std::map<char, SplitFault> split;
    std::map<char, unsigned> delayMs;
    unsigned hangupAfter = 0;  // close the line after this many requests; 0: never

    // Faults at stored records, by record number: requests for a record left unanswered (the
    // first so many, or kEveryTime), the kind a record's prefix shows instead of its own (the
    // body that follows is the record's own), the record answered "Z9\r\n" (memory corrupted),
    // the record whose request closes the line unanswered (0: none).
    std::map<unsigned, unsigned> silentRecords;
    std::map<unsigned, char> recordKinds;
    unsigned corruptAt = 0;
    unsigned hangupAtRecord = 0;
    // Not a fault: the pause between a record's prefix and its body, while the meter reads it.
    unsigned recordGapMs = 10;

    // Faults of the uploads: by the number of the 'B' message (counted from 1 over the whole
    // run: 1 to 3 are the first table's header and rows); calibration messages go through
    // stages as handshakes do, the first busyCalibrations answered "K\r\n", the next
    // refusedCalibrations "!\r\n", neither taken.
    std::map<unsigned, UploadFault> tableFaults;
    unsigned busyCalibrations = 0;
    unsigned refusedCalibrations = 0;

    // Faults of the memory dump, by block number: requests left unanswered (the first so many,
    // or kEveryTime), and the letter a block's reply starts with instead of 'G'.
    std::map<unsigned, unsigned> silentBlocks;
    std::map<unsigned, char> blockLetters;

    // Faults of the X exchange, in stages as handshakes: the first busyExchanges X messages
    // answered "K\r\n", the next refusedExchanges "!\r\n", the next brokenExchanges with their
    // reply broken as exchangeBreak says; the rest answered as they should be.
    unsigned busyExchanges = 0;
    unsigned refusedExchanges = 0;
    unsigned brokenExchanges = 0;
    ExchangeBreak exchangeBreak = ExchangeBreak::Letter;
};

// What to send for one request, and how.
struct ReplyPlan {
    std::string bytes;           // empty: no answer
    unsigned delayMs = 0;        // before the first byte
    std::size_t pieceBytes = 0;  // 0: in one piece
    unsigned pieceGapMs = 0;
    std::size_t pauseAfter = 0;  // a pause of pauseMs after this many bytes; 0: none
    unsigned pauseMs = 0;
    bool hangUp = false;  // close the line once the reply is sent
    std::vector<std::string> notes;  // for the transcript after the request, without "# "
};

// One piece of a reply, sent after a gap.
struct ReplyPiece {
    std::size_t offset = 0;
    std::size_t size = 0;
    unsigned gapBeforeMs = 0;
};

// The pieces a reply goes out in: the delay before the first, the pause where the plan has
// one, the split pieces with their gaps.
std::vector<ReplyPiece> SplitReply(const ReplyPlan& plan);

// A readable form of received bytes for the transcript: printable ASCII as it is, C escapes
// for \r \n \t \\, and \xHH for other bytes. A '#' at the start is escaped too, because
// transcript lines of the emulator's own notes start with "# ".
std::string EscapeBytes(std::string_view bytes);

class Session {
public:
    Session(MeterState state, FaultOptions faults);

    // Adds bytes that arrived on the line.
    void Receive(std::string_view bytes);
    // Takes the next complete request from what arrived; false when none is complete.
    bool NextRequest(std::string* request);
    bool HasPartial() const { return !input_.empty(); }
    // Throws away an incomplete request (the line fell silent in the middle of it); returns it.
    std::string DropPartial();

    // Carries out one request, faults included.
    ReplyPlan Handle(std::string_view request, SteadyTime now);

    const MeterState& state() const { return state_; }
    std::size_t requestsHandled() const { return requests_; }

private:
    std::string ShapeHandshake(std::string reply);
    // A record fetch under the record faults; false when it goes unanswered.
    bool ShapeRecordFetch(unsigned number, ReplyPlan* plan);
    // The fault of an upload message, if it has one: the reply it gets instead of being taken
    // ("" for none), and whether its acknowledgement is garbled.
    std::string UploadFaultReply(char letter, bool* garbled);
    // A block request under the block faults; false when it goes unanswered.
    bool ShapeBlock(unsigned number, ReplyPlan* plan);
    // The fault of an X message, if it has one: the reply it gets instead of its answer ("" for
    // none), and whether its answer is to be broken.
    std::string ExchangeFaultReply(bool* broken);

    MeterState state_;
    FaultOptions faults_;
    std::string input_;
    std::size_t requests_ = 0;
    unsigned handshakes_ = 0;
    std::map<unsigned, unsigned> recordRequests_;  // requests seen, by record number
    std::map<unsigned, unsigned> blockRequests_;   // requests seen, by block number
    unsigned tableMessages_ = 0;
    unsigned calibrations_ = 0;
    unsigned exchanges_ = 0;
};

}  // namespace tq4sim
