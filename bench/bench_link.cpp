// What waiting for the meter costs: processor time of a handshake with a silent meter, the
// delay before a byte that arrives is handed back, and how fast Ctrl-C ends a waiting read.
// Each figure is set against a baseline measured in the same run.
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "loamer/cli/term_ui.h"
#include "loamer/link/comm_port.h"
#include "loamer/link/meter_protocol.h"

using namespace loamer;
using loamer::bench::CpuSeconds;

namespace {

using Steady = std::chrono::steady_clock;

double Seconds(Steady::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Pty {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    Pty() { openpty(&master, &slave, name, nullptr, nullptr); }
    ~Pty() {
        close(master);
        close(slave);
    }
};

void HandshakeCpu() {
    Pty pty;
    SetCommPortName(pty.name);
    // Baseline: a loop that polls without waiting, for one second.
    double cpu0 = CpuSeconds();
    auto t0 = Steady::now();
    while (Steady::now() - t0 < std::chrono::seconds(1)) {
        pollfd p{pty.slave, POLLIN, 0};
        poll(&p, 1, 0);
    }
    const double spinShare = (CpuSeconds() - cpu0) / Seconds(Steady::now() - t0);

    cpu0 = CpuSeconds();
    t0 = Steady::now();
    const ErrorCode rc = ConnectMeter();
    const double wall = Seconds(Steady::now() - t0);
    const double share = (CpuSeconds() - cpu0) / wall;
    CloseCommPort();
    std::printf("handshake with a silent meter: code %u after %.2f s, %.3f%% of one core "
                "(spinning baseline %.1f%%, ratio %.5f)\n",
                rc, wall, 100 * share, 100 * spinShare, share / spinShare);
}

void ByteLatency() {
    Pty pty;
    SetCommPortName(pty.name);
    if (OpenCommPort() != ERR_NONE) return;
    constexpr int kReplies = 1000;
    std::atomic<Steady::rep> sentAt{0};
    std::atomic<int> turn{0};

    auto measure = [&](auto readOne) {
        std::vector<double> delays;
        std::thread meter([&] {
            for (int i = 0; i < kReplies; ++i) {
                while (turn.load() != i) std::this_thread::yield();
                std::this_thread::sleep_for(std::chrono::microseconds(300));
                sentAt = Steady::now().time_since_epoch().count();
                (void)!write(pty.master, "A", 1);
            }
        });
        for (int i = 0; i < kReplies; ++i) {
            turn = i;
            readOne();
            const auto now = Steady::now().time_since_epoch().count();
            delays.push_back(Seconds(Steady::duration(now - sentAt.load())) * 1000);
        }
        meter.join();
        turn = -1;
        return Median(delays);
    };

    // Baseline: the bare poll() and read() on the same line.
    const double floor = measure([&] {
        pollfd p{pty.slave, POLLIN, 0};
        poll(&p, 1, 1000);
        char c;
        (void)!read(pty.slave, &c, 1);
    });
    turn = 0;
    const double link = measure([] {
        unsigned char c;
        (void)ReadCommPort(&c, 1);
    });
    CloseCommPort();
    std::printf("reply byte handed back: median %.3f ms over %d replies (bare poll+read %.3f ms, ratio %.2f)\n",
                link, kReplies, floor, link / floor);
}

void InterruptLatency() {
    Pty pty;
    SetCommPortName(pty.name);
    if (OpenCommPort() != ERR_NONE) return;
    TerminalUi ui;
    UiServices* previous = SetUi(&ui);
    const pthread_t reader = pthread_self();
    std::vector<double> delays;
    for (int i = 0; i < 10; ++i) {
        Steady::time_point sent;
        std::thread user([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            sent = Steady::now();
            pthread_kill(reader, SIGINT);
        });
        unsigned char buf[28];
        const ErrorCode rc = ReadCommPort(buf, sizeof buf);
        const auto ended = Steady::now();
        user.join();
        if (rc != ERR_ABORTED) std::printf("  read ended with %u, not 27\n", rc);
        delays.push_back(Seconds(ended - sent) * 1000);
    }
    SetUi(previous);
    CloseCommPort();
    std::printf("Ctrl-C during a waiting read: ends in %.3f ms median, %.3f ms worst "
                "(limit 100 ms, ratio %.4f)\n",
                Median(delays), *std::max_element(delays.begin(), delays.end()),
                *std::max_element(delays.begin(), delays.end()) / 100.0);
}

}  // namespace

int main() {
    ByteLatency();
    InterruptLatency();
    HandshakeCpu();
    return 0;
}
