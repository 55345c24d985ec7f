// The link over the termios backend on a pseudo-terminal, with the real clock.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "loamer/link/comm_port.h"
#include "loamer/link/meter_protocol.h"
#include "loamer/link/posix/serial_posix.h"
#include "loamer/link/status_queries.h"
#include "tests/support/recording_ui.h"

using namespace loamer;

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class LinkPtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&master, &slave, slaveName, nullptr, nullptr), 0);
        backend = MakePosixSerialBackend();
        previous = SetBackend(backend.get());
        uiScope = std::make_unique<ScopedUi>(&ui);
        SetCommPortName(slaveName);
    }
    void TearDown() override {
        if (writer.joinable()) writer.join();
        CloseCommPort();
        SetBackend(previous);
        if (master >= 0) close(master);
        close(slave);
    }
    // The meter's side: bytes after a delay, from another thread.
    void MeterSends(std::initializer_list<std::pair<int, std::string>> pieces) {
        std::vector<std::pair<int, std::string>> copy(pieces);
        writer = std::thread([this, copy] {
            for (const auto& [ms, bytes] : copy) {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            }
        });
    }
    std::string MeterReceived() {
        std::string got;
        char buf[256];
        pollfd p{master, POLLIN, 0};
        while (poll(&p, 1, 50) > 0) {
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

    int master = -1;
    int slave = -1;
    char slaveName[128] = {};
    std::unique_ptr<SerialBackend> backend;
    SerialBackend* previous = nullptr;
    RecordingUi ui;
    std::unique_ptr<ScopedUi> uiScope;
    std::thread writer;
};

TEST_F(LinkPtyTest, ReplyInPiecesWithGapsIsReadWhole) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    ASSERT_EQ(WriteCommPort("I\r\n", 3), ERR_NONE);
    EXPECT_EQ(MeterReceived(), "I\r\n");
    const std::string reply = "NV2.13  87280000200000000" "3\r\n";
    MeterSends({{20, reply.substr(0, 5)}, {300, reply.substr(5, 10)}, {150, reply.substr(15)}});
    unsigned char buf[28];
    ASSERT_EQ(ReadCommPort(buf, sizeof buf), ERR_NONE);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 28), reply);
    EXPECT_EQ(ui.cursorDepth, 0);
}

TEST_F(LinkPtyTest, RefusalEndsTheReadAtOnce) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    MeterSends({{10, "!\r\n"}});
    const auto t = Clock::now();
    unsigned char buf[28];
    ASSERT_EQ(ReadCommPort(buf, sizeof buf), ERR_NONE);
    EXPECT_LT(MsSince(t), 1000);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 28), std::string("!\r\n") + std::string(25, '\0'));
}

TEST_F(LinkPtyTest, VanishedDeviceEndsTheReadPromptlyAndIsReopened) {
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    writer = std::thread([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        close(master);
        master = -1;
    });
    const auto t = Clock::now();
    unsigned char buf[28];
    EXPECT_EQ(ReadCommPort(buf, sizeof buf), ERR_RECEIVE);
    EXPECT_LT(MsSince(t), 1000);
    EXPECT_FALSE(CommPortIsOpen());
    writer.join();
    // A new device at the same name: the next command opens it.
    close(slave);
    ASSERT_EQ(openpty(&master, &slave, slaveName, nullptr, nullptr), 0);
    SetCommPortName(slaveName);
    EXPECT_EQ(OpenCommPort(), ERR_NONE);
}

TEST_F(LinkPtyTest, HandshakeAndStatusAgainstAScriptedMeter) {
    MeterSends({{30, "A\r\n"}, {30, "NV2.13  87280000200000000" "3\r\n"}});
    MeterMemoryStatus m{};
    ASSERT_EQ(GetMeterMemory(m), ERR_NONE);
    EXPECT_EQ(m.freeUnits, 28000u);
    EXPECT_EQ(m.usedUnits, 2000u);
    EXPECT_EQ(m.readingsStored, 3u);
    EXPECT_EQ(MeterReceived(), "?\r\nI\r\n");
}

TEST_F(LinkPtyTest, CloseRestoresTheSettingsFoundAtOpen) {
    termios before{};
    ASSERT_EQ(tcgetattr(slave, &before), 0);
    ASSERT_EQ(OpenCommPort(), ERR_NONE);
    termios during{};
    ASSERT_EQ(tcgetattr(slave, &during), 0);
    EXPECT_EQ(cfgetospeed(&during), B9600);
    EXPECT_EQ(during.c_lflag & ICANON, 0u);
    CloseCommPort();
    termios after{};
    ASSERT_EQ(tcgetattr(slave, &after), 0);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(0, std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc));
}

}  // namespace
