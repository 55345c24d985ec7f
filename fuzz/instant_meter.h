// A meter for fuzz targets: answers each request at once with what the target's function
// returns, on a clock that moves only while the link waits, so that a silent meter costs no
// time. Header only: the targets link the product library alone.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "loamer/link/serial_backend.h"
#include "tests/support/fake_clock.h"

namespace loamer::fuzz {

class InstantMeter final : public SerialBackend {
public:
    explicit InstantMeter(FakeClock& clock) : clock_(clock) {}

    BackendResult Open(const std::string&) override {
        open_ = true;
        return {};
    }
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    BackendResult Purge() override {
        inbox_.clear();
        return {};
    }
    BackendResult GetLineSettings(LineSettings&) override { return {}; }
    BackendResult SetMeterLineSettings(const LineSettings&) override { return {}; }
    BackendResult SetLineSettings(const LineSettings&) override { return {}; }
    BackendResult GetTimeouts(LinkTimeouts&) override { return {}; }
    BackendResult SetTimeouts(const LinkTimeouts&) override { return {}; }
    BackendResult GetCapabilities() override { return {}; }
    BackendResult SetQueueSizes(std::size_t, std::size_t) override { return {}; }
    BackendResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written) override {
        const std::string request(reinterpret_cast<const char*>(bytes), count);
        written = count;
        requests.push_back(request);
        if (answer) inbox_ += answer(request);
        return {};
    }
    WaitResult WaitReadable(int timeoutMs) override {
        if (!inbox_.empty()) return WaitResult::Readable;
        clock_.SleepMs(static_cast<std::uint32_t>(timeoutMs > 0 ? timeoutMs : 1));
        return WaitResult::TimedOut;
    }
    BackendResult BytesWaiting(std::size_t& count) override {
        count = inbox_.size();
        return {};
    }
    BackendResult Read(unsigned char* buffer, std::size_t max, std::size_t& got) override {
        got = max < inbox_.size() ? max : inbox_.size();
        std::memcpy(buffer, inbox_.data(), got);
        inbox_.erase(0, got);
        return {};
    }
    BackendResult ListDevices(std::vector<SerialDeviceName>&) override { return {}; }
    PortAccessFacts CheckAccess(const std::string&) override { return {}; }

    // The bytes sent back for a request ("" is silence).
    std::function<std::string(const std::string&)> answer;
    std::vector<std::string> requests;

private:
    FakeClock& clock_;
    bool open_ = false;
    std::string inbox_;
};

}  // namespace loamer::fuzz
