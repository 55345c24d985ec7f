#include "tests/support/fake_backend.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

namespace loamer {

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '0': out += '\0'; break;
        case 'x':
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
            break;
        default: out += c; break;
        }
    }
    return out;
}

FakeBackend::FakeBackend(FakeClock& clock) : clock_(clock) {
    const char found[] = "device-found";
    std::memcpy(deviceSettings.bytes, found, sizeof found);
    deviceSettings.size = sizeof found;
}

BackendResult FakeBackend::Fail(FakeStep step) const {
    return failStep == step ? BackendResult::Failure(failErrno) : BackendResult::Success();
}

BackendResult FakeBackend::Open(const std::string& name) {
    if (!existingNames.empty() &&
        std::find(existingNames.begin(), existingNames.end(), name) == existingNames.end())
        return BackendResult::Failure(ENOENT);
    if (BackendResult r = Fail(FakeStep::Open); !r.ok()) return r;
    open_ = true;
    hungUp_ = false;
    openedName = name;
    ++opens;
    return {};
}

void FakeBackend::Close() { open_ = false; }

BackendResult FakeBackend::Purge() {
    ++purges;
    inbox_.clear();
    return {};
}

BackendResult FakeBackend::GetLineSettings(LineSettings& found) {
    if (BackendResult r = Fail(FakeStep::GetLine); !r.ok()) return r;
    found = deviceSettings;
    return {};
}

BackendResult FakeBackend::SetMeterLineSettings(const LineSettings&) {
    // A real driver may have changed the line before it reports the failure.
    const char meter[] = "meter-9600-8N1";
    std::memcpy(deviceSettings.bytes, meter, sizeof meter);
    deviceSettings.size = sizeof meter;
    return Fail(FakeStep::SetMeterLine);
}

BackendResult FakeBackend::SetLineSettings(const LineSettings& saved) {
    deviceSettings = saved;
    return {};
}

BackendResult FakeBackend::GetTimeouts(LinkTimeouts& out) {
    if (BackendResult r = Fail(FakeStep::GetTimeouts); !r.ok()) return r;
    out = deviceTimeouts;
    return {};
}

BackendResult FakeBackend::SetTimeouts(const LinkTimeouts& timeouts) {
    deviceTimeouts = timeouts;
    return Fail(FakeStep::SetTimeouts);
}

BackendResult FakeBackend::GetCapabilities() { return Fail(FakeStep::Capabilities); }

BackendResult FakeBackend::SetQueueSizes(std::size_t, std::size_t) {
    return Fail(FakeStep::QueueSizes);
}

BackendResult FakeBackend::Write(const unsigned char* bytes, std::size_t count, std::size_t& n) {
    n = 0;
    if (hungUp_) return BackendResult::Vanished(EIO);
    if (BackendResult r = Fail(FakeStep::Write); !r.ok()) return r;
    const std::string request(reinterpret_cast<const char*>(bytes), count);
    written += request;
    n = count;
    if (transcript_) {
        if (problem_.empty()) {
            const std::size_t at = expected_.size() < request.size() ? expected_.size() : request.size();
            std::size_t i = 0;
            while (i < at && expected_[i] == request[i]) ++i;
            if (i < request.size()) {
                problem_ = "write differs at byte " + std::to_string(written.size() - request.size() + i);
            } else {
                expected_.erase(0, request.size());
                if (expected_.empty()) RunTranscript();
            }
        }
    } else if (onWrite) {
        onWrite(request);
    }
    return {};
}

void FakeBackend::SendLater(const std::string& bytes, std::uint64_t delayMs) {
    pending_.push_back({clock_.NowMs() + delayMs, bytes, false});
}

void FakeBackend::HangUpLater(std::uint64_t delayMs) {
    pending_.push_back({clock_.NowMs() + delayMs, {}, true});
}

void FakeBackend::Deliver() {
    while (!pending_.empty() && pending_.front().at <= clock_.NowMs()) {
        if (pending_.front().hangUp) {
            hungUp_ = true;
            inbox_.clear();
        } else {
            inbox_ += pending_.front().bytes;
        }
        pending_.pop_front();
    }
}

WaitResult FakeBackend::WaitReadable(int timeoutMs) {
    ++waits;
    Deliver();
    if (hungUp_) return WaitResult::HungUp;
    if (!inbox_.empty()) return WaitResult::Readable;
    const std::uint64_t deadline = clock_.NowMs() + static_cast<std::uint64_t>(timeoutMs);
    // Bytes due exactly at the bound come too late, as for a wait that has just ended.
    if (!pending_.empty() && pending_.front().at < deadline) {
        clock_.Advance(pending_.front().at - clock_.NowMs());
        Deliver();
        return hungUp_ ? WaitResult::HungUp : WaitResult::Readable;
    }
    clock_.Advance(static_cast<std::uint64_t>(timeoutMs));
    return WaitResult::TimedOut;
}

BackendResult FakeBackend::BytesWaiting(std::size_t& count) {
    Deliver();
    if (hungUp_) return BackendResult::Vanished(EIO);
    count = inbox_.size();
    return {};
}

BackendResult FakeBackend::Read(unsigned char* buffer, std::size_t max, std::size_t& got) {
    if (hungUp_) return BackendResult::Vanished(EIO);
    got = std::min(max, inbox_.size());
    std::memcpy(buffer, inbox_.data(), got);
    inbox_.erase(0, got);
    return {};
}

BackendResult FakeBackend::ListDevices(std::vector<SerialDeviceName>& names) {
    names = devices;
    return {};
}

PortAccessFacts FakeBackend::CheckAccess(const std::string& name) {
    const auto found = access.find(name);
    return found == access.end() ? PortAccessFacts{} : found->second;
}

void FakeBackend::LoadTranscript(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '>' || line[0] == '<') {
            script_.push_back({line[0], Unescape(line.substr(line.size() > 1 ? 2 : 1)), 0});
        } else if (line[0] == '~') {
            script_.push_back({'~', {}, std::stoull(line.substr(1))});
        } else if (line == "!hangup") {
            script_.push_back({'!', {}, 0});
        }
    }
    transcript_ = true;
    RunTranscript();
}

// Schedules the meter's side up to the next bytes the program must send.
void FakeBackend::RunTranscript() {
    std::uint64_t delay = 0;
    while (scriptPos_ < script_.size()) {
        const Line& l = script_[scriptPos_];
        if (l.kind == '>') {
            expected_ = l.bytes;
            ++scriptPos_;
            return;
        }
        if (l.kind == '<') SendLater(l.bytes, delay);
        if (l.kind == '~') delay += l.ms;
        if (l.kind == '!') HangUpLater(delay);
        ++scriptPos_;
    }
}

std::string FakeBackend::TranscriptProblem() const {
    if (!problem_.empty()) return problem_;
    if (!expected_.empty() || scriptPos_ < script_.size()) return "transcript not finished";
    return {};
}

}  // namespace loamer
