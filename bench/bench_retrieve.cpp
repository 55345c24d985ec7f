// What a retrieval of many stored readings costs, against the emulator as a separate process.
//
// Paced at 9600 bit/s, the wall time is set against the wire time of every byte that crossed the
// line (10 bits a byte, requests and replies both), and the processor time of this process against
// the wall time. Unpaced, the processor time per record is set against a baseline measured in the
// same run: the same requests and replies exchanged by a bare loop that neither decodes nor writes.
//   bench_retrieve [READINGS]   (default 2000; the paced run takes the wire time, about 2.5 min)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "loamer/link/comm_port.h"
#include "loamer/link/serial_backend.h"
#include "loamer/link/ui.h"
#include "loamer/retrieval/output_file.h"
#include "loamer/retrieval/retrieve_readings.h"

extern char** environ;

using namespace loamer;
using loamer::bench::CpuSeconds;

namespace {

using Steady = std::chrono::steady_clock;

// The termios backend, counting the bytes that cross the line.
class CountingBackend final : public SerialBackend {
public:
    explicit CountingBackend(SerialBackend& inner) : inner_(inner) {}
    BackendResult Open(const std::string& name) override { return inner_.Open(name); }
    bool IsOpen() const override { return inner_.IsOpen(); }
    void Close() override { inner_.Close(); }
    BackendResult Purge() override { return inner_.Purge(); }
    BackendResult GetLineSettings(LineSettings& found) override { return inner_.GetLineSettings(found); }
    BackendResult SetMeterLineSettings(const LineSettings& found) override { return inner_.SetMeterLineSettings(found); }
    BackendResult SetLineSettings(const LineSettings& saved) override { return inner_.SetLineSettings(saved); }
    BackendResult GetTimeouts(LinkTimeouts& out) override { return inner_.GetTimeouts(out); }
    BackendResult SetTimeouts(const LinkTimeouts& t) override { return inner_.SetTimeouts(t); }
    BackendResult GetCapabilities() override { return inner_.GetCapabilities(); }
    BackendResult SetQueueSizes(std::size_t in, std::size_t out) override { return inner_.SetQueueSizes(in, out); }
    BackendResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written) override {
        const BackendResult r = inner_.Write(bytes, count, written);
        sent += written;
        return r;
    }
    WaitResult WaitReadable(int timeoutMs) override { return inner_.WaitReadable(timeoutMs); }
    BackendResult BytesWaiting(std::size_t& count) override { return inner_.BytesWaiting(count); }
    BackendResult Read(unsigned char* buffer, std::size_t max, std::size_t& got) override {
        const BackendResult r = inner_.Read(buffer, max, got);
        received += got;
        return r;
    }
    BackendResult ListDevices(std::vector<SerialDeviceName>& names) override { return inner_.ListDevices(names); }
    PortAccessFacts CheckAccess(const std::string& name) override { return inner_.CheckAccess(name); }

    std::size_t sent = 0;
    std::size_t received = 0;

private:
    SerialBackend& inner_;
};

// tq4sim in a process of its own, serving until the end of the scope.
class Emulator {
public:
    Emulator(const std::string& link, const std::vector<std::string>& extra) {
        std::vector<std::string> args = {LOAMER_TQ4SIM, "--link", link, "--memory", LOAMER_EXAMPLES_DIR "/meter.json",
                                         "--record-gap", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        // Ready once it has said where it serves.
        char c = 0;
        pollfd p{out[0], POLLIN, 0};
        while (poll(&p, 1, 5000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') {
        }
        close(out[0]);
    }
    ~Emulator() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

struct Run {
    ErrorCode code = ERR_NONE;
    double wall = 0;
    double cpu = 0;
    std::size_t bytes = 0;
};

Run Retrieve(const std::string& link, const std::string& file) {
    CountingBackend counting(PosixSerialBackend());
    ScopedBackend backend(&counting);
    SetCommPortName(link);
    std::string problem;
    auto out = OpenOutputFile(file, problem);
    Run r;
    const double cpu0 = CpuSeconds();
    const auto t0 = Steady::now();
    r.code = out ? RetrieveReadings(*out, "bench") : ERR_FILE_OPEN;
    r.wall = std::chrono::duration<double>(Steady::now() - t0).count();
    r.cpu = CpuSeconds() - cpu0;
    r.bytes = counting.sent + counting.received;
    CloseCommPort();
    return r;
}

// The baseline: the same record fetches, answered by the same emulator, read whole by a bare loop.
Run BareExchange(const std::string& link, unsigned records) {
    Run r;
    const int fd = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return r;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    const double cpu0 = CpuSeconds();
    const auto t0 = Steady::now();
    char buffer[256];
    for (unsigned n = 1; n <= records + 1; ++n) {
        char request[16];
        std::snprintf(request, sizeof request, "R%05u\r\n", n);
        if (write(fd, request, 8) != 8) break;
        // The prefix, then the body up to its line end.
        std::size_t got = 0;
        bool prefixDone = false;
        bool end = false;
        while (!end) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) break;
            const ssize_t k = read(fd, buffer + got, sizeof buffer - got);
            if (k <= 0) break;
            got += static_cast<std::size_t>(k);
            r.bytes += static_cast<std::size_t>(k);
            const char* lf = static_cast<const char*>(std::memchr(buffer, '\n', got));
            if (!lf) continue;
            if (!prefixDone && buffer[1] == '0') end = true;  // the end record has no body
            if (!prefixDone && !end) {
                const std::size_t rest = got - static_cast<std::size_t>(lf + 1 - buffer);
                std::memmove(buffer, lf + 1, rest);
                got = rest;
                prefixDone = true;
                if (!std::memchr(buffer, '\n', got)) continue;
            }
            end = true;
        }
        r.bytes += 8;
    }
    r.wall = std::chrono::duration<double>(Steady::now() - t0).count();
    r.cpu = CpuSeconds() - cpu0;
    close(fd);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned readings = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 2000;
    char dir[] = "/tmp/loamer-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string link = std::string(dir) + "/tq4";
    const std::string file = std::string(dir) + "/READINGS.CSV";
    const std::string count = std::to_string(readings);
    int status = 0;

    {
        Emulator meter(link, {"--generate-readings", count});
        const Run bare = BareExchange(link, readings);
        const Run fast = Retrieve(link, file);
        if (!meter.Running() || fast.code != ERR_NONE) {
            std::printf("unpaced retrieval failed: code %u\n", fast.code);
            status = 1;
        }
        const double records = readings + 1.0;
        std::printf("unpaced, %u readings: retrieval %.1f us CPU and %.1f us wall per record; bare exchange "
                    "%.1f us CPU and %.1f us wall per record; CPU ratio %.2f\n",
                    readings, 1e6 * fast.cpu / records, 1e6 * fast.wall / records, 1e6 * bare.cpu / records,
                    1e6 * bare.wall / records, bare.cpu > 0 ? fast.cpu / bare.cpu : 0.0);
    }
    {
        Emulator meter(link, {"--generate-readings", count, "--pace", "9600"});
        const Run paced = Retrieve(link, file);
        if (!meter.Running() || paced.code != ERR_NONE) {
            std::printf("paced retrieval failed: code %u\n", paced.code);
            status = 1;
        }
        const double wire = static_cast<double>(paced.bytes) * 10.0 / 9600.0;
        std::printf("paced at 9600 bit/s, %u readings: wall %.2f s, wire time %.2f s (%zu bytes), ratio %.4f; "
                    "CPU %.3f s = %.3f%% of the wall time\n",
                    readings, paced.wall, wire, paced.bytes, paced.wall / wire, paced.cpu,
                    100.0 * paced.cpu / paced.wall);
    }
    unlink(file.c_str());
    rmdir(dir);
    return status;
}
