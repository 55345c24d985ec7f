// Memory block replies of any bytes through the dump. The input, cut into 137-byte pieces, is
// what the meter answers to blocks 0, 1, 2 and on (a short last piece, then silence). The file
// must hold exactly the data of the replies before the first that fails its check, and a
// failure must show the debug box with at most five echoed characters before the report's code.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/instant_meter.h"
#include "loamer/link/clock.h"
#include "loamer/link/comm_port.h"
#include "loamer/retrieval/memory_dump.h"
#include "tests/support/memory_file.h"

using namespace loamer;
using loamer::testing::MemoryFile;

namespace {

class BoxUi final : public UiServices {
public:
    void MessageBox(std::string_view text, BoxStyle style) override {
        boxes.emplace_back(text);
        plain = plain && style == BoxStyle::Plain;
    }
    void BeginWaitCursor() override {}
    void RestoreWaitCursor() override {}
    void EndWaitCursor() override {}
    void ProgressSetStep(int) override {}
    void ProgressSetPos(int) override {}
    void ProgressShow() override { ++shown; }
    void ProgressStep() override {}
    void ProgressHide() override { --shown; }
    bool PumpMessages() override { return false; }
    std::vector<std::string> boxes;
    bool plain = true;
    int shown = 0;
};

constexpr std::size_t kReply = kMemoryBlock.reply;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // The check of one whole reply, and the box's text for it.
    unsigned char first[kReply] = {};
    std::memcpy(first, data, size < kReply ? size : kReply);
    const ErrorCode check = CheckMemoryBlockReply(first);
    if (check != ERR_NONE && check != ERR_BAD_REPLY && check != ERR_BAD_FRAME) __builtin_trap();
    const std::string box = DebugErrorText(first, '2');
    const std::string head = "LOAMER : Debug Error Message:";
    const std::string tail = "\nTQ4 Memory Type: External";
    if (box.compare(0, head.size(), head) != 0 || box.size() < tail.size() ||
        box.compare(box.size() - tail.size(), tail.size(), tail) != 0)
        __builtin_trap();
    const std::size_t echo = box.size() - tail.size() - (box.rfind("Sequence Number: ") + 17);
    if (echo > 5 || box.find('\0') != std::string::npos) __builtin_trap();

    // The whole dump on the pieces.
    FakeClock clock;
    fuzz::InstantMeter meter(clock);
    meter.answer = [&input](const std::string& request) -> std::string {
        if (request == "?\r\n") return "A\r\n";
        if (request.size() != 9 || request.compare(0, 2, "E2") != 0) __builtin_trap();
        const std::size_t at = std::stoul(request.substr(2, 5)) * kReply;
        return at < input.size() ? input.substr(at, kReply) : "";
    };
    BoxUi ui;
    MemoryFile file;
    ErrorCode rc = ERR_NONE;
    {
        ScopedClock clockScope(&clock);
        ScopedBackend backendScope(&meter);
        ScopedUi uiScope(&ui);
        rc = DumpMemory(file);
        CloseCommPort();
    }

    std::size_t good = 0;
    std::string expected;
    for (; good < 256; ++good) {
        unsigned char reply[kReply] = {};
        const std::size_t at = good * kReply;
        if (at + kReply > size) break;  // a short piece times out
        std::memcpy(reply, data + at, kReply);
        if (CheckMemoryBlockReply(reply) != ERR_NONE) break;
        expected.append(reinterpret_cast<const char*>(reply) + 7, 128);
    }
    if (file.content != expected || ui.shown != 0 || !ui.plain) __builtin_trap();
    if (good == 256) {
        if (rc != ERR_NONE || !ui.boxes.empty() || meter.requests.size() != 257) __builtin_trap();
    } else if (rc != ERR_FILE_WRITE || ui.boxes.size() != 1 || meter.requests.size() != good + 2) {
        __builtin_trap();
    }
    return 0;
}
