// Inter-program frames and blocks of any bytes. The frames read alike whether the bytes come at
// once or in pieces, and read back the same once built again; a block over the limit is dropped,
// never held. Each message is then handled against a meter that answers at once: what is refused
// never reaches the meter, a request reaches it with exactly its bytes (or is refused with 7
// when a parameter or value does not fit), and a request with a sender gets exactly one answer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/instant_meter.h"
#include "loamer/link/clock.h"
#include "loamer/link/comm_port.h"
#include "loamer/upload/cal_install.h"
#include "loamer/upload/copy_data.h"
#include "loamer/upload/copy_data_frames.h"

using namespace loamer;

namespace {

constexpr std::size_t kMaxFrames = 64;
const std::string kReply = "x0001.500-0002.25+3.00000 4.00000\r\n";

struct Decoded {
    std::vector<CopyDataFrame> frames;
    bool broken = false;
    bool midFrame = false;
};

// Pieces of 1 to 16 bytes, their lengths taken from the bytes themselves, or all at once.
Decoded DecodeAll(const std::uint8_t* data, std::size_t size, bool inPieces) {
    Decoded out;
    CopyDataFrameDecoder decoder;
    std::size_t at = 0;
    while (at < size && !out.broken && out.frames.size() < kMaxFrames) {
        std::size_t piece = inPieces ? 1 + data[at] % 16 : size - at;
        if (piece > size - at) piece = size - at;
        std::size_t taken = 0;
        while (taken < piece && out.frames.size() < kMaxFrames) {
            std::size_t used = 0;
            CopyDataFrame frame;
            const FrameDecode decoded = decoder.Decode(data + at + taken, piece - taken, used, frame);
            if (used > piece - taken) __builtin_trap();
            taken += used;
            if (decoded == FrameDecode::Broken) {
                out.broken = true;
                break;
            }
            if (decoded == FrameDecode::Frame) out.frames.push_back(std::move(frame));
            else if (taken != piece) __builtin_trap();  // NeedMore takes every byte
        }
        at += taken;
    }
    out.midFrame = decoder.MidFrame();
    return out;
}

bool Same(const CopyDataFrame& a, const CopyDataFrame& b) {
    return a.kind == b.kind && a.type == b.type && a.flags == b.flags && a.size == b.size && a.dropped == b.dropped &&
           a.block == b.block && a.value == b.value;
}

class RecordingSender final : public CopyDataSender {
public:
    std::int32_t SendCopyData(std::uint32_t type, const void* block, std::size_t size) override {
        answers.push_back({type, std::string(static_cast<const char*>(block), size)});
        return 77;
    }
    struct Answer {
        std::uint32_t type;
        std::string block;
    };
    std::vector<Answer> answers;
};

void CheckHandled(const CopyDataFrame& frame) {
    const std::vector<unsigned char>& block = frame.block;
    FakeClock clock;
    fuzz::InstantMeter meter(clock);
    // Reserved flag bit 1 makes the meter refuse the X exchange.
    const bool refuse = (frame.flags & 2u) != 0;
    meter.answer = [refuse](const std::string& request) -> std::string {
        if (request == "?\r\n" || request[0] == 'W') return "A\r\n";
        if (request[0] == 'X') return refuse ? "!\r\n" : kReply;
        return "";
    };
    RecordingSender sender;
    const bool withSender = frame.TakesAnswers();
    const std::uint64_t keptBefore = CopyDataAnswersKept();
    std::int32_t result = 0;
    {
        ScopedClock clockScope(&clock);
        ScopedBackend backendScope(&meter);
        result = HandleCopyData(withSender ? &sender : nullptr, CopyDataMessage{frame.type, block.size(), block.data()});
        CloseCommPort();
    }
    const bool accepted = CopyDataBlockAccepted(frame.type, block.size());
    const bool request = accepted && (frame.type == CD_CAL_INSTALL || frame.type == CD_X_REQUEST);
    const bool answer = accepted && (frame.type == CD_CAL_RESULT || frame.type == CD_X_RESULT);

    if (CopyDataAnswersKept() != keptBefore + (answer ? 1 : 0)) __builtin_trap();
    if (!request) {
        if (!meter.requests.empty() || !sender.answers.empty()) __builtin_trap();
        if (result != (accepted ? 1 : 0)) __builtin_trap();
        return;
    }
    if (result != (withSender ? 77 : 0) || sender.answers.size() != (withSender ? 1u : 0u)) __builtin_trap();

    std::uint32_t code = 0;
    if (frame.type == CD_X_REQUEST) {
        double first = 0;
        double second = 0;
        std::memcpy(&first, block.data() + offsetof(XRequestBlock, param1), sizeof first);
        std::memcpy(&second, block.data() + offsetof(XRequestBlock, param2), sizeof second);
        char firstField[12];
        char secondField[12];
        const bool fits = FormatXParameter(first, firstField) && FormatXParameter(second, secondField);
        if (!fits) {
            if (!meter.requests.empty()) __builtin_trap();
            code = ERR_BAD_FRAME;
        } else {
            if (meter.requests.size() != 2 || meter.requests[1].size() != 162) __builtin_trap();
            const std::string& x = meter.requests[1];
            if (x[0] != 'X' || std::memcmp(x.data() + 1, block.data(), 133) != 0 || x[134] != '\0') __builtin_trap();
            if (x.compare(135, 12, firstField, 12) != 0 || x.compare(148, 12, secondField, 12) != 0) __builtin_trap();
            if (static_cast<unsigned char>(x[147]) != block[offsetof(XRequestBlock, code)]) __builtin_trap();
            code = refuse ? ERR_BAD_FRAME : ERR_NONE;
        }
        if (withSender) {
            const auto& a = sender.answers[0];
            XResultBlock answered{};
            if (a.type != CD_X_RESULT || a.block.size() != sizeof answered) __builtin_trap();
            std::memcpy(&answered, a.block.data(), sizeof answered);
            if (answered.result != code || answered.reserved != 0) __builtin_trap();
            if (code == ERR_NONE && (answered.results[0] != 1.5 || answered.results[3] != 4.0)) __builtin_trap();
        }
        return;
    }
    CalRecord record{};
    std::memcpy(&record, block.data(), sizeof record);
    if (UnsendableCalValue(record) != 0) {
        if (!meter.requests.empty()) __builtin_trap();
        code = ERR_BAD_FRAME;
    } else {
        if (meter.requests.size() != 2 || meter.requests[1].size() != 220 || meter.requests[1][0] != 'W') __builtin_trap();
        if (meter.requests[1][1] != (block[0] == 0 ? '2' : '3')) __builtin_trap();
        if (std::memcmp(meter.requests[1].data() + 2, block.data() + 1, 12) != 0) __builtin_trap();
    }
    if (withSender) {
        const auto& a = sender.answers[0];
        if (a.type != CD_CAL_RESULT || a.block.size() != 4 || std::memcmp(a.block.data(), &code, 4) != 0) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Decoded whole = DecodeAll(data, size, false);
    const Decoded pieces = DecodeAll(data, size, true);
    if (whole.frames.size() != pieces.frames.size() || whole.broken != pieces.broken) __builtin_trap();
    for (std::size_t i = 0; i < whole.frames.size(); ++i) {
        if (!Same(whole.frames[i], pieces.frames[i])) __builtin_trap();
    }

    for (const CopyDataFrame& frame : whole.frames) {
        if (frame.kind == CopyDataFrame::Kind::Result) {
            std::vector<unsigned char> again;
            AppendResultFrame(again, frame.value);
            const Decoded back = DecodeAll(again.data(), again.size(), false);
            if (back.frames.size() != 1 || !Same(back.frames[0], frame)) __builtin_trap();
            continue;
        }
        if (frame.dropped != (frame.size > kCopyDataMaxBlock)) __builtin_trap();
        if (frame.dropped) {
            if (!frame.block.empty()) __builtin_trap();
            continue;
        }
        if (frame.block.size() != frame.size) __builtin_trap();
        std::vector<unsigned char> again;
        AppendMessageFrame(again, frame.type, frame.flags, frame.block.data(), frame.size);
        const Decoded back = DecodeAll(again.data(), again.size(), false);
        if (back.frames.size() != 1 || !Same(back.frames[0], frame) || back.midFrame) __builtin_trap();
        CheckHandled(frame);
    }

    // A reply of any bytes: a success has the reply's letter and line end.
    unsigned char reply[35] = {};
    std::memcpy(reply, data, size < sizeof reply ? size : sizeof reply);
    double results[4] = {};
    if (ScanXReply(reply, results) == ERR_NONE && (reply[0] != 'x' || reply[33] != '\r' || reply[34] != '\n')) {
        __builtin_trap();
    }
    return 0;
}
