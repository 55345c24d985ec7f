#include "tools/tq4sim/command_table.h"

#include <array>
#include <cstdio>

#include "tools/tq4sim/exchange.h"
#include "tools/tq4sim/memory_blocks.h"
#include "tools/tq4sim/stored_records.h"
#include "tools/tq4sim/uploads.h"

namespace tq4sim {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::size_t ThreeBytes(std::string_view) { return 3; }
std::size_t FiveBytes(std::string_view) { return 5; }
std::size_t EighteenBytes(std::string_view) { return 18; }
std::size_t RecordRequestBytes(std::string_view) { return kRecordRequestSize; }
std::size_t BlockRequestBytes(std::string_view) { return kBlockRequestSize; }
std::size_t CalibrationBytes(std::string_view) { return kCalibrationRequestSize; }
std::size_t ExchangeBytes(std::string_view) { return kExchangeRequestSize; }

using Notes = std::vector<std::string>;

std::string Handshake(MeterState&, std::string_view, SteadyTime, Notes&) { return std::string(kAccepted); }

std::string Status(MeterState& state, std::string_view, SteadyTime, Notes&) { return StatusReply(state); }

std::string ClockRead(MeterState& state, std::string_view, SteadyTime now, Notes&) { return ClockReply(state, now); }

std::string TableRead(MeterState& state, std::string_view request, SteadyTime, Notes&) {
    return TableReply(state, request[1], request[2]);
}

std::string TableUpload(MeterState& state, std::string_view request, SteadyTime, Notes& notes) {
    return TableUploadReply(state, request, notes);
}

std::string Calibration(MeterState&, std::string_view request, SteadyTime, Notes& notes) {
    return CalibrationReply(request, notes);
}

std::string Exchange(MeterState&, std::string_view request, SteadyTime, Notes& notes) {
    return ExchangeReply(request, notes);
}

std::string MemoryBlock(MeterState& state, std::string_view request, SteadyTime, Notes&) {
    return MemoryBlockReply(state, request);
}

std::string RecordFetch(MeterState& state, std::string_view request, SteadyTime, Notes&) {
    unsigned number = 0;
    if (!RecordNumberOf(request, &number)) return std::string(kRefused);
    return RecordReply(state, number);
}

// "H", date order, "%Y%m%d%H%M%S", "\r\n".
std::string ClockSet(MeterState& state, std::string_view request, SteadyTime now, Notes&) {
    char order = request[1];
    if (order < '0' || order > '2') return std::string(kRefused);
    int fields[6] = {};
    static constexpr int kWidths[6] = {4, 2, 2, 2, 2, 2};
    std::size_t at = 2;
    for (int i = 0; i < 6; ++i) {
        for (int k = 0; k < kWidths[i]; ++k, ++at) {
            char c = request[at];
            if (c < '0' || c > '9') return std::string(kRefused);
            fields[i] = fields[i] * 10 + (c - '0');
        }
    }
    CivilTime time{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]};
    if (!IsValidCivil(time)) return std::string(kRefused);
    state.clock.Set(order, time, now);
    return std::string(kAccepted);
}

constexpr std::array<CommandHandler, 10> kCommands = {{
    {'?', ThreeBytes, Handshake},
    {'I', ThreeBytes, Status},
    {'F', ThreeBytes, ClockRead},
    {'T', FiveBytes, TableRead},
    {'H', EighteenBytes, ClockSet},
    {'R', RecordRequestBytes, RecordFetch},
    {'B', TableUploadLength, TableUpload},
    {'W', CalibrationBytes, Calibration},
    {'E', BlockRequestBytes, MemoryBlock},
    {'X', ExchangeBytes, Exchange},
}};

}  // namespace

std::span<const CommandHandler> CommandTable() { return kCommands; }

const CommandHandler* FindHandler(char letter) {
    for (const CommandHandler& handler : kCommands) {
        if (handler.letter == letter) return &handler;
    }
    return nullptr;
}

Framing FrameRequest(std::string_view input) {
    if (input.empty()) return {};
    if (const CommandHandler* handler = FindHandler(input[0])) {
        std::size_t length = handler->requestLength(input);
        if (length == 0 || (length != kUpToLineEnd && input.size() < length)) return {};
        if (length != kUpToLineEnd) return {true, length};
    }
    std::size_t end = input.find(kLineEnd);
    if (end != std::string_view::npos && end + 2 <= kLongestUnknownRequest) return {true, end + 2};
    if (input.size() >= kLongestUnknownRequest) return {true, kLongestUnknownRequest};
    return {};
}

std::string ServeRequest(MeterState& state, std::string_view request, SteadyTime now, std::vector<std::string>* notes) {
    if (request.empty()) return std::string(kRefused);
    const CommandHandler* handler = FindHandler(request[0]);
    if (handler == nullptr || request.size() != handler->requestLength(request) || !request.ends_with(kLineEnd)) {
        return std::string(kRefused);
    }
    Notes dropped;
    return handler->serve(state, request, now, notes != nullptr ? *notes : dropped);
}

std::string StatusReply(const MeterState& state) {
    std::string reply = "N";
    reply += state.version;
    reply += state.battery;
    reply += state.freeUnits;
    reply += state.usedUnits;
    reply += state.readings;
    reply += kLineEnd;
    return reply;
}

std::string ClockReply(const MeterState& state, SteadyTime now) {
    CivilTime t = state.clock.Read(now);
    char text[32];
    std::snprintf(text, sizeof text, "H%c%04d%02d%02d%02d%02d%02d\r\n", state.clock.order(), t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

bool RecordNumberOf(std::string_view request, unsigned* number) {
    if (request.size() != kRecordRequestSize || request[0] != 'R' || !request.ends_with(kLineEnd)) return false;
    unsigned value = 0;
    for (char c : request.substr(1, 5)) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    *number = value;
    return true;
}

std::string RecordReply(const MeterState& state, unsigned number) {
    if (number == 0 || number > state.records.size()) return std::string("Z") + kEndKind + std::string(kLineEnd);
    const StoredRecord& record = state.records[number - 1];
    return std::string("Z") + record.kind + std::string(kLineEnd) + record.body;
}

std::string TableReply(const MeterState& state, char part, char slot) {
    int index = SlotIndex(slot);
    if (index < 0 || (part != '1' && part != '2' && part != '3')) return std::string(kRefused);
    const TableSlot& table = state.tables[static_cast<std::size_t>(index)];
    if (!table.present) return std::string(kRefused);
    std::string reply = "B";
    reply += part;
    reply += table.reportedId;
    if (part == '1') {
        reply += table.status;
        reply += table.name;
        reply += table.count;
    } else {
        std::size_t first = part == '2' ? 0 : 10;
        for (std::size_t i = first; i < first + 10; ++i) reply += table.points[i];
    }
    reply += kLineEnd;
    return reply;
}

}  // namespace tq4sim
