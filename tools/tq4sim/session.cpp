#include "tools/tq4sim/session.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "tools/tq4sim/command_table.h"
#include "tools/tq4sim/memory_blocks.h"
#include "tools/tq4sim/stored_records.h"

namespace tq4sim {

namespace {

// True while `index` (1-based, within the current stage) falls inside a stage of `count`
// handshakes; otherwise moves index past the stage.
bool InStage(unsigned count, unsigned* index) {
    if (count == kEveryTime || *index <= count) return true;
    *index -= count;
    return false;
}

// Line noise of the reply's length: no identifying letter, no line end.
std::string Garbage(std::size_t size) {
    static constexpr std::string_view kNoise = "#%~*";
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) bytes += kNoise[i % kNoise.size()];
    return bytes;
}

}  // namespace

std::string EscapeBytes(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c > 0x7E || (c == '#' && i == 0)) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::vector<ReplyPiece> SplitReply(const ReplyPlan& plan) {
    std::vector<ReplyPiece> pieces;
    const std::size_t size = plan.bytes.size();
    const std::size_t pieceBytes = plan.pieceBytes == 0 ? size : plan.pieceBytes;
    unsigned gap = plan.delayMs;
    for (std::size_t at = 0; at < size;) {
        std::size_t end = std::min(size, at + pieceBytes);
        if (plan.pauseAfter > at && plan.pauseAfter < end) end = plan.pauseAfter;
        pieces.push_back({at, end - at, gap});
        gap = end == plan.pauseAfter ? plan.pauseMs : plan.pieceGapMs;
        at = end;
    }
    return pieces;
}

Session::Session(MeterState state, FaultOptions faults) : state_(std::move(state)), faults_(std::move(faults)) {}

void Session::Receive(std::string_view bytes) { input_.append(bytes); }

bool Session::NextRequest(std::string* request) {
    Framing framing = FrameRequest(input_);
    if (!framing.complete) return false;
    request->assign(input_, 0, framing.length);
    input_.erase(0, framing.length);
    return true;
}

std::string Session::DropPartial() { return std::exchange(input_, std::string()); }

std::string Session::ShapeHandshake(std::string reply) {
    unsigned index = ++handshakes_;
    if (InStage(faults_.silentHandshakes, &index)) return {};
    if (InStage(faults_.busyHandshakes, &index)) return std::string(kBusy);
    if (InStage(faults_.refusedHandshakes, &index)) return std::string(kRefused);
    // An accepted handshake whose line end was lost on the way.
    if (InStage(faults_.brokenHandshakes, &index)) return "A\n\r";
    return reply;
}

bool Session::ShapeRecordFetch(unsigned number, ReplyPlan* plan) {
    if (faults_.hangupAtRecord != 0 && number == faults_.hangupAtRecord) {
        // The meter goes away before it answers: the line closes on the request.
        plan->bytes.clear();
        plan->hangUp = true;
        return false;
    }
    if (auto it = faults_.silentRecords.find(number); it != faults_.silentRecords.end()) {
        unsigned seen = ++recordRequests_[number];
        if (it->second == kEveryTime || seen <= it->second) {
            plan->bytes.clear();
            return false;
        }
    }
    if (faults_.corruptAt != 0 && number == faults_.corruptAt) plan->bytes = std::string("Z") + kCorruptKind + "\r\n";
    if (auto it = faults_.recordKinds.find(number); it != faults_.recordKinds.end()) plan->bytes[1] = it->second;
    if (plan->bytes.size() > kRecordPrefixSize) {
        plan->pauseAfter = kRecordPrefixSize;
        plan->pauseMs = faults_.recordGapMs;
    }
    return true;
}

std::string Session::UploadFaultReply(char letter, bool* garbled) {
    *garbled = false;
    if (letter == 'B') {
        auto it = faults_.tableFaults.find(++tableMessages_);
        if (it == faults_.tableFaults.end()) return {};
        switch (it->second) {
        case UploadFault::Busy: return std::string(kBusy);
        case UploadFault::Refused: return std::string(kRefused);
        case UploadFault::Garbage: *garbled = true; return {};
        }
    }
    if (letter == 'W') {
        unsigned index = ++calibrations_;
        if (InStage(faults_.busyCalibrations, &index)) return std::string(kBusy);
        if (InStage(faults_.refusedCalibrations, &index)) return std::string(kRefused);
    }
    return {};
}

bool Session::ShapeBlock(unsigned number, ReplyPlan* plan) {
    if (auto it = faults_.silentBlocks.find(number); it != faults_.silentBlocks.end()) {
        unsigned seen = ++blockRequests_[number];
        if (it->second == kEveryTime || seen <= it->second) {
            plan->bytes.clear();
            return false;
        }
    }
    if (auto it = faults_.blockLetters.find(number); it != faults_.blockLetters.end() && plan->bytes.size() == kBlockReplySize) {
        plan->bytes[0] = it->second;
    }
    return true;
}

std::string Session::ExchangeFaultReply(bool* broken) {
    unsigned index = ++exchanges_;
    *broken = false;
    if (InStage(faults_.busyExchanges, &index)) return std::string(kBusy);
    if (InStage(faults_.refusedExchanges, &index)) return std::string(kRefused);
    *broken = InStage(faults_.brokenExchanges, &index);
    return {};
}

ReplyPlan Session::Handle(std::string_view request, SteadyTime now) {
    ++requests_;
    ReplyPlan plan;
    plan.hangUp = faults_.hangupAfter != 0 && requests_ == faults_.hangupAfter;
    char letter = request.empty() ? '\0' : request[0];
    if (faults_.silentCommands.find(letter) != std::string::npos) return plan;

    bool garbled = false;
    bool broken = false;
    // An upload answered busy or refused is not taken: the meter's memory stays as it was.
    plan.bytes = letter == 'X' ? ExchangeFaultReply(&broken) : UploadFaultReply(letter, &garbled);
    if (plan.bytes.empty()) plan.bytes = ServeRequest(state_, request, now, &plan.notes);
    if (broken) BreakExchangeReply(faults_.exchangeBreak, &plan.bytes);
    if (letter == '?') plan.bytes = ShapeHandshake(std::move(plan.bytes));
    if (unsigned number = 0; RecordNumberOf(request, &number) && !ShapeRecordFetch(number, &plan)) return plan;
    if (unsigned number = 0; BlockNumberOf(request, &number) && !ShapeBlock(number, &plan)) return plan;
    if (plan.bytes.empty()) return plan;

    if (garbled || faults_.garbageCommands.find(letter) != std::string::npos) plan.bytes = Garbage(plan.bytes.size());
    if (auto it = faults_.delayMs.find(letter); it != faults_.delayMs.end()) plan.delayMs = it->second;
    if (auto it = faults_.split.find(letter); it != faults_.split.end()) {
        plan.pieceBytes = it->second.pieceBytes;
        plan.pieceGapMs = it->second.gapMs;
    }
    return plan;
}

}  // namespace tq4sim
