#include "tools/tq4sim/uploads.h"

#include "tools/tq4sim/command_table.h"
#include "tools/tq4sim/session.h"

namespace tq4sim {

namespace {

constexpr std::size_t kRowsPerMessage = 10;
constexpr std::size_t kRowSize = 12;
constexpr std::size_t kNameSize = 10;
constexpr std::size_t kCalibrationNameSize = 12;
constexpr std::size_t kNumberSize = 12;

std::string Quoted(std::string_view bytes) { return "\"" + EscapeBytes(bytes) + "\""; }

std::string Refuse(std::vector<std::string>& notes, std::string why) {
    notes.push_back(std::move(why));
    return std::string(kRefused);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSign(char c) { return c == '+' || c == '-'; }

// Sign, 8 mantissa digits, exponent sign, 2 exponent digits.
bool IsMeterNumber(std::string_view text) {
    if (text.size() != kNumberSize || !IsSign(text[0]) || !IsSign(text[9])) return false;
    for (std::size_t i : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 10u, 11u}) {
        if (!IsDigit(text[i])) return false;
    }
    return true;
}

// The number as it reads in the usual notation: +15000000+00 is +1.5000000E+00.
std::string Readable(std::string_view text) {
    return std::string(text.substr(0, 2)) + "." + std::string(text.substr(2, 7)) + "E" + std::string(text.substr(9));
}

const char* ProbeName(char code) {
    switch (code) {
    case '2': return "the Orbis probe";
    case '3': return "the FLX sensor";
    default: return nullptr;
    }
}

}  // namespace

std::size_t TableUploadLength(std::string_view head) {
    if (head.size() < 2) return 0;
    switch (head[1]) {
    case '1': return kTableHeaderRequestSize;
    case '2':
    case '3': return kTableRowsRequestSize;
    default: return kUpToLineEnd;
    }
}

std::string TableUploadReply(MeterState& state, std::string_view request, std::vector<std::string>& notes) {
    const char part = request[1];
    const char code = request[2];
    const int index = SlotIndex(code);
    if (index < 0 || !state.tables[static_cast<std::size_t>(index)].present) {
        return Refuse(notes, std::string("table message ") + part + " for slot " + Quoted(request.substr(2, 1)) +
                                 " refused: the meter has no such slot");
    }
    TableSlot& slot = state.tables[static_cast<std::size_t>(index)];
    if (part == '1') {
        slot.reportedId = code;
        slot.status = '1';  // not ready until its rows have come
        slot.name = request.substr(4, kNameSize);
        slot.count = request.substr(4 + kNameSize, 2);
        state.upload = TableUpload{code, '2', request[3]};
        return std::string(kAccepted);
    }
    if (state.upload.slot != code || state.upload.nextPart != part) {
        return Refuse(notes, std::string("table message ") + part + " for slot " + code +
                                 " refused: it does not follow its header and the rows before it");
    }
    const std::size_t first = part == '2' ? 0 : kRowsPerMessage;
    for (std::size_t k = 0; k < kRowsPerMessage; ++k) slot.points[first + k] = request.substr(3 + kRowSize * k, kRowSize);
    if (part == '2') {
        state.upload.nextPart = '3';
    } else {
        slot.status = state.upload.status;
        state.upload = TableUpload{};
        notes.push_back(std::string("table installed in slot ") + code + ": name " + Quoted(slot.name) + ", count " +
                        Quoted(slot.count) + ", status " + Quoted(std::string(1, slot.status)));
    }
    return std::string(kAccepted);
}

std::string CalibrationReply(std::string_view request, std::vector<std::string>& notes) {
    const char code = request[1];
    const char* probe = ProbeName(code);
    if (probe == nullptr) {
        return Refuse(notes, "calibration refused: probe kind code " + Quoted(request.substr(1, 1)) +
                                 " is neither \"2\" (Orbis probe) nor \"3\" (FLX sensor)");
    }
    notes.push_back(std::string("calibration for ") + probe + " (" + code + "), name " +
                    Quoted(request.substr(2, kCalibrationNameSize)));
    for (std::size_t k = 0; k < kCalibrationValues; ++k) {
        std::string_view number = request.substr(2 + kCalibrationNameSize + kNumberSize * k, kNumberSize);
        std::string label = "value " + std::to_string(k + 1) + ": ";
        if (!IsMeterNumber(number)) {
            return Refuse(notes, "calibration refused: " + label + Quoted(number) +
                                     " is not a number of the form +12345678+00");
        }
        notes.push_back(label + std::string(number) + " = " + Readable(number));
    }
    return std::string(kAccepted);
}

}  // namespace tq4sim
