// Bytes of any kind as what the program sends the emulated meter: framed into requests, served
// and answered through the session, faults included. The first byte chooses the faults and
// how the rest arrives in pieces. Every request must be what arrived, in order, every answer
// must have a length the program can frame, table uploads must leave every slot's status
// parts their lengths, and an X exchange answered in its own form must carry four fields that
// the program's scans read one each.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "tools/tq4sim/command_table.h"
#include "tools/tq4sim/exchange.h"
#include "tools/tq4sim/memory_blocks.h"
#include "tools/tq4sim/session.h"
#include "tools/tq4sim/stored_records.h"

using namespace tq4sim;

namespace {

MeterState FuzzMeter() {
    MeterState state = DefaultMeterState(CivilTime{2024, 3, 5, 14, 7, 9}, SteadyTime{});
    for (char id : {'1', '4', 'F'}) {
        TableSlot& slot = state.tables[static_cast<std::size_t>(SlotIndex(id))];
        slot.present = true;
        slot.reportedId = id;
        slot.status = '2';
        slot.name = std::string("Fuzz\0\0\0\0\0\0", 10);
        slot.count = "03";
        slot.points.fill(std::string(kEmptyPoint));
        slot.points[0] = "0100,005.200";
    }
    return state;
}

FaultOptions FuzzFaults(std::uint8_t choice) {
    FaultOptions faults;
    faults.silentHandshakes = choice & 1u;
    faults.busyHandshakes = (choice >> 1) & 1u;
    faults.refusedHandshakes = (choice >> 2) & 1u;
    faults.brokenHandshakes = (choice >> 3) & 1u;
    if (choice & 0x10u) {
        faults.garbageCommands = "ITE";
        faults.tableFaults[2] = UploadFault::Garbage;
        faults.blockLetters[1] = 'H';
        faults.brokenExchanges = 1;
        faults.exchangeBreak = static_cast<ExchangeBreak>(choice % 3);
    }
    if (choice & 0x20u) {
        faults.silentCommands = "F";
        faults.tableFaults[1] = UploadFault::Busy;
        faults.tableFaults[3] = UploadFault::Refused;
        faults.busyCalibrations = 1;
        faults.refusedCalibrations = 1;
        faults.silentBlocks[2] = 1;
        faults.busyExchanges = 1;
        faults.refusedExchanges = 1;
    }
    if (choice & 0x40u) faults.split['T'] = SplitFault{7, 0};
    if (choice & 0x80u) faults.hangupAfter = 5;
    return faults;
}

bool FramableLength(std::size_t size) {
    static constexpr std::array<std::size_t, 7> kLengths = {
        3, kRecordPrefixSize, kClockReplySize, kStatusReplySize, kExchangeReplySize, kTablePointsReplySize,
        kBlockReplySize};
    for (std::size_t length : kLengths) {
        if (size == length) return true;
    }
    return false;
}

// An exchange reply in its own form: each field, scanned with "%lf" on through the reply as
// the program scans it, reads one number and ends where its field ends. (The fault that makes
// a field unreadable is left out by the caller.)
void CheckExchangeReply(const std::string& reply) {
    if (reply.size() != kExchangeReplySize || !reply.starts_with(kExchangeReplyLetter) || !reply.ends_with("\r\n")) {
        return;
    }
    for (std::size_t i = 0; i < kExchangeResults; ++i) {
        double value = 0.0;
        int used = 0;
        if (std::sscanf(reply.c_str() + 1 + i * kExchangeFieldSize, "%lf%n", &value, &used) != 1 ||
            used != static_cast<int>(kExchangeFieldSize)) {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t choice = data[0];
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t piece = 1 + (choice % 5) * 4;  // 1 to 17 bytes at a time

    static const MeterState kMeter = FuzzMeter();  // built once: its memory image is 32 KiB
    const FaultOptions faults = FuzzFaults(choice);
    const bool fieldsReadable = faults.brokenExchanges == 0 || faults.exchangeBreak != ExchangeBreak::Number;
    Session session(kMeter, faults);
    std::string pending;  // what arrived and was not taken as a request yet
    SteadyTime now{};
    bool open = true;
    while (open && !input.empty()) {
        std::string_view bytes = input.substr(0, piece);
        input.remove_prefix(bytes.size());
        session.Receive(bytes);
        pending.append(bytes);
        std::string request;
        while (open && session.NextRequest(&request)) {
            if (request.empty() || !pending.starts_with(request)) __builtin_trap();
            pending.erase(0, request.size());
            (void)EscapeBytes(request);
            now += std::chrono::seconds(1);  // the clock runs on between requests
            const std::size_t before = session.requestsHandled();
            ReplyPlan plan = session.Handle(request, now);
            if (session.requestsHandled() != before + 1) __builtin_trap();
            if (!plan.bytes.empty() && !FramableLength(plan.bytes.size())) __builtin_trap();
            if (fieldsReadable && request[0] == 'X') CheckExchangeReply(plan.bytes);
            open = !plan.hangUp;
        }
        if (session.HasPartial() != !pending.empty()) __builtin_trap();
    }
    for (char slot : kSlotIds) {
        for (char part : {'1', '2', '3'}) {
            const std::size_t length = TableReply(session.state(), part, slot).size();
            if (length != kRefused.size() && length != (part == '1' ? kTableHeaderReplySize : kTablePointsReplySize)) {
                __builtin_trap();
            }
        }
    }
    if (session.DropPartial() != pending) __builtin_trap();
    return 0;
}
