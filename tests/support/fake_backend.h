// A serial backend without a device: a scripted meter on the other end of a fake clock.
//
// Transcripts describe an exchange line by line:
//   > ?\r\n        bytes the program must send next (C escapes; \xNN for any byte)
//   < A\r\n        bytes the meter sends back
//   ~200ms         a pause before the meter's next bytes
//   !hangup        the line hangs up at this point
//   # ...          a comment
// A write that differs from the expected bytes is recorded with the byte offset of the first
// difference; the meter then goes silent.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "loamer/link/serial_backend.h"
#include "tests/support/fake_clock.h"

namespace loamer {

// Steps of opening a port that a test can make fail.
enum class FakeStep {
    None, Open, GetLine, SetMeterLine, GetTimeouts, SetTimeouts, Capabilities, QueueSizes, Write
};

class FakeBackend final : public SerialBackend {
public:
    explicit FakeBackend(FakeClock& clock);

    BackendResult Open(const std::string& name) override;
    bool IsOpen() const override { return open_; }
    void Close() override;
    BackendResult Purge() override;
    BackendResult GetLineSettings(LineSettings& found) override;
    BackendResult SetMeterLineSettings(const LineSettings& found) override;
    BackendResult SetLineSettings(const LineSettings& saved) override;
    BackendResult GetTimeouts(LinkTimeouts& out) override;
    BackendResult SetTimeouts(const LinkTimeouts& timeouts) override;
    BackendResult GetCapabilities() override;
    BackendResult SetQueueSizes(std::size_t input, std::size_t output) override;
    BackendResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written) override;
    WaitResult WaitReadable(int timeoutMs) override;
    BackendResult BytesWaiting(std::size_t& count) override;
    BackendResult Read(unsigned char* buffer, std::size_t max, std::size_t& got) override;
    BackendResult ListDevices(std::vector<SerialDeviceName>& names) override;
    PortAccessFacts CheckAccess(const std::string& name) override;

    // What CheckAccess says of a port; a port not listed may be opened.
    std::map<std::string, PortAccessFacts> access;

    // The meter sends bytes delayMs after now.
    void SendLater(const std::string& bytes, std::uint64_t delayMs = 0);
    void HangUpLater(std::uint64_t delayMs = 0);
    // Called with each complete write; the default does nothing (a silent meter).
    std::function<void(const std::string& request)> onWrite;
    // Loads a transcript; it then answers writes in place of onWrite.
    void LoadTranscript(const std::string& text);
    // Empty when every expected write came, in order, byte for byte.
    std::string TranscriptProblem() const;

    // Which names exist; an empty set means every name opens.
    std::vector<std::string> existingNames;
    FakeStep failStep = FakeStep::None;
    int failErrno = 5;
    std::vector<SerialDeviceName> devices;

    // The device's own line state, as a real port would keep it between opens.
    LineSettings deviceSettings;
    LinkTimeouts deviceTimeouts{1, 2, 3, 4, 5};
    std::string written;
    std::string openedName;
    int opens = 0;
    int purges = 0;
    int waits = 0;

private:
    struct Arrival {
        std::uint64_t at;
        std::string bytes;
        bool hangUp;
    };
    struct Line {
        char kind;
        std::string bytes;
        std::uint64_t ms;
    };
    BackendResult Fail(FakeStep step) const;
    void RunTranscript();
    void Deliver();

    FakeClock& clock_;
    bool open_ = false;
    bool hungUp_ = false;
    std::deque<Arrival> pending_;
    std::string inbox_;
    std::vector<Line> script_;
    std::size_t scriptPos_ = 0;
    std::string expected_;
    std::string problem_;
    bool transcript_ = false;
};

// Decodes C escapes (\r \n \t \\ \xNN) of a transcript line.
std::string Unescape(const std::string& text);

}  // namespace loamer
