// The termios backend against pseudo-terminals: the backend opens the slave by its path, the test
// plays the meter on the master. No real serial port is ever opened.
#include <fcntl.h>
#include <sys/file.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "loamer/link/posix/serial_posix.h"

using namespace loamer;

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

std::size_t OpenDescriptorCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

// Cooked settings unlike the meter's in every field the backend changes.
void MakeCooked(termios& tio, tcflag_t parity) {
    tio.c_iflag |= ICRNL | IXON | IXOFF | IXANY | INPCK | ISTRIP;
    tio.c_oflag |= OPOST | ONLCR;
    tio.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CLOCAL | PARENB | PARODD);
    tio.c_cflag |= CS7 | CSTOPB | CRTSCTS | parity;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 5;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
}

class PtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0) << std::strerror(errno);
        path_ = ttyname(slave_);
        backend_ = MakePosixSerialBackend();
    }

    void TearDown() override {
        backend_->Close();
        if (master_ >= 0) close(master_);
        close(slave_);
    }

    void SetSlave(const termios& tio) { ASSERT_EQ(tcsetattr(slave_, TCSANOW, &tio), 0) << std::strerror(errno); }

    termios GetSlave() {
        termios tio{};
        EXPECT_EQ(tcgetattr(slave_, &tio), 0) << std::strerror(errno);
        return tio;
    }

    // Opens and configures the port the way the link does.
    void OpenForMeter(LineSettings& found) {
        ASSERT_EQ(backend_->Open(path_).status, BackendStatus::Ok);
        ASSERT_TRUE(backend_->GetLineSettings(found).ok());
        ASSERT_TRUE(backend_->SetMeterLineSettings(found).ok());
    }
    void OpenForMeter() {
        LineSettings found;
        OpenForMeter(found);
    }

    void WriteMaster(const std::string& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // What the port sent, up to count bytes or until nothing comes for idleMs.
    std::string ReadMaster(std::size_t count, int idleMs = 1000) {
        std::string got;
        char buffer[4096];
        while (got.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, idleMs) <= 0) break;
            const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::unique_ptr<SerialBackend> backend_;
};

TEST(PortNameTest, ComNamesMapToStandardPortsAndOtherNamesToDev) {
    EXPECT_EQ(DevicePathForPortName("COM1"), "/dev/ttyS0");
    EXPECT_EQ(DevicePathForPortName("com4"), "/dev/ttyS3");
    EXPECT_EQ(DevicePathForPortName("Com12"), "/dev/ttyS11");
    // The same rule as the port list: what the list offers opens the port it names.
    EXPECT_EQ(DevicePathForPortName("COM5:"), "/dev/ttyS4");
    EXPECT_EQ(DevicePathForPortName("/dev/serial/by-id/usb-X-if00"), "/dev/serial/by-id/usb-X-if00");
    EXPECT_EQ(DevicePathForPortName("ttyUSB0"), "/dev/ttyUSB0");
    // Not COMn with n >= 1: looked up in /dev by name.
    EXPECT_EQ(DevicePathForPortName("COM0"), "/dev/COM0");
    EXPECT_EQ(DevicePathForPortName("COM"), "/dev/COM");
    EXPECT_EQ(DevicePathForPortName("COM1A"), "/dev/COM1A");
    EXPECT_EQ(DevicePathForPortName("COMX"), "/dev/COMX");
}

TEST(PosixBackendOpenTest, MissingDeviceFailsWithEnoent) {
    auto backend = MakePosixSerialBackend();
    for (const char* name : {"/nonexistent-loamer-dir/ttyX", "loamer-no-such-port"}) {
        const BackendResult r = backend->Open(name);
        EXPECT_EQ(r.status, BackendStatus::OsError) << name;
        EXPECT_EQ(r.err, ENOENT) << name;
        EXPECT_FALSE(backend->IsOpen()) << name;
    }
}

// A path that is no character device is refused before any lock or request touches it: a
// mistyped --port never locks, or writes to, a file or a folder.
TEST(PosixBackendOpenTest, OnlyACharacterDeviceOpens) {
    char path[] = "/tmp/loamer-plainXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "text", 4), 4);
    close(fd);
    auto backend = MakePosixSerialBackend();
    for (const char* name : {static_cast<const char*>(path), "/tmp"}) {
        const BackendResult r = backend->Open(name);
        EXPECT_FALSE(r.ok()) << name;
        EXPECT_FALSE(backend->IsOpen()) << name;
    }
    EXPECT_EQ(backend->Open(path).err, ENOTTY);
    // No lock was left on the file by the refused open.
    const int other = open(path, O_RDONLY);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    close(other);
    unlink(path);

    // A character device that is no terminal opens, and the line settings then fail.
    ASSERT_EQ(backend->Open("/dev/null").status, BackendStatus::Ok);
    LineSettings found;
    EXPECT_EQ(backend->GetLineSettings(found).err, ENOTTY);
    backend->Close();
}

TEST_F(PtyTest, MeterSettingsAreRaw9600OneStopBitWithParityModeAsFound) {
    constexpr tcflag_t kParityMode = PARENB | PARODD | CMSPAR;
    bool sawParityMode = false;
    for (const tcflag_t parity : {tcflag_t{0}, tcflag_t{PARENB | PARODD}}) {
        SCOPED_TRACE(testing::Message() << "parity bits " << parity);
        termios cooked = GetSlave();
        MakeCooked(cooked, parity);
        SetSlave(cooked);
        // A pseudo-terminal drops PARENB (and forces CS8) itself; PARODD shows what is kept.
        const tcflag_t foundParity = GetSlave().c_cflag & kParityMode;
        sawParityMode = sawParityMode || foundParity != 0;

        OpenForMeter();
        const termios tio = GetSlave();
        EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));
        EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
        EXPECT_EQ(tio.c_cflag & kParityMode, foundParity);
        EXPECT_EQ(tio.c_iflag & (INPCK | ISTRIP | ICRNL | INLCR | IGNCR | IXON | IXOFF | IXANY), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 0);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
        backend_->Close();
    }
    EXPECT_TRUE(sawParityMode) << "no parity mode bit survived on the pseudo-terminal to check";
}

TEST_F(PtyTest, SavedSettingsRestoreTheLineExactly) {
    termios cooked = GetSlave();
    MakeCooked(cooked, PARENB | PARODD);
    SetSlave(cooked);
    const termios before = GetSlave();

    LineSettings found;
    OpenForMeter(found);
    const termios configured = GetSlave();
    ASSERT_NE(cfgetospeed(&configured), cfgetospeed(&before));
    ASSERT_TRUE(backend_->SetLineSettings(found).ok());
    backend_->Close();

    const termios after = GetSlave();
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0);
    EXPECT_EQ(cfgetispeed(&after), cfgetispeed(&before));
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
}

TEST_F(PtyTest, MissingModemLinesAreNoFailure) {
    int bits = 0;
    ASSERT_NE(ioctl(slave_, TIOCMGET, &bits), 0);
    ASSERT_EQ(errno, ENOTTY) << "pseudo-terminals here are expected to lack modem lines";

    LineSettings found;
    OpenForMeter(found);
    EXPECT_TRUE(backend_->SetLineSettings(found).ok());
}

TEST_F(PtyTest, SecondOpenOfALockedPortIsBusyAndLeaksNothing) {
    ASSERT_EQ(backend_->Open(path_).status, BackendStatus::Ok);
    auto other = MakePosixSerialBackend();
    const std::size_t descriptors = OpenDescriptorCount();
    const BackendResult busy = other->Open(path_);
    EXPECT_EQ(busy.status, BackendStatus::OsError);
    EXPECT_EQ(busy.err, EBUSY);
    EXPECT_FALSE(other->IsOpen());
    EXPECT_EQ(OpenDescriptorCount(), descriptors);

    // Opening again on the same instance replaces its own descriptor instead of clashing with it.
    EXPECT_EQ(backend_->Open(path_).status, BackendStatus::Ok);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);

    // Programs that do not lock are kept out too (root excepted).
    int exclusive = 0;
    ASSERT_EQ(ioctl(slave_, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);

    // Closing lets the lock and the exclusive mode go, though the test still holds the device.
    backend_->Close();
    ASSERT_EQ(ioctl(slave_, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(other->Open(path_).status, BackendStatus::Ok);
    other->Close();
}

TEST_F(PtyTest, WrittenBytesReachTheOtherEndUnchanged) {
    OpenForMeter();
    ASSERT_TRUE(backend_->SetTimeouts({5000, 2, 10000, 2, 5000}).ok());
    std::string data = "V\r\n";
    for (int i = 0; i < 256; ++i) data.push_back(static_cast<char>(i));

    std::size_t written = 0;
    const BackendResult r =
        backend_->Write(reinterpret_cast<const unsigned char*>(data.data()), data.size(), written);
    EXPECT_EQ(r.status, BackendStatus::Ok);
    EXPECT_EQ(written, data.size());
    // One byte more is asked for, to catch any added by output processing.
    EXPECT_EQ(ReadMaster(data.size() + 1, 200), data);
}

TEST_F(PtyTest, LongWriteWaitsForRoomWhileTheOtherEndReads) {
    OpenForMeter();
    ASSERT_TRUE(backend_->SetTimeouts({5000, 2, 10000, 2, 5000}).ok());
    std::string data(256 * 1024, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);

    std::string received;
    std::thread reader([&] { received = ReadMaster(data.size()); });
    std::size_t written = 0;
    const BackendResult r =
        backend_->Write(reinterpret_cast<const unsigned char*>(data.data()), data.size(), written);
    reader.join();
    EXPECT_EQ(r.status, BackendStatus::Ok);
    EXPECT_EQ(written, data.size());
    EXPECT_TRUE(received == data) << "received " << received.size() << " of " << data.size() << " bytes";
}

TEST_F(PtyTest, WriteGivesUpAtTheDeadlineWhenNobodyReads) {
    OpenForMeter();
    ASSERT_TRUE(backend_->SetTimeouts({0, 0, 0, 0, 200}).ok());
    const std::vector<unsigned char> data(1024 * 1024, 'x');

    const auto start = Clock::now();
    std::size_t written = 0;
    const BackendResult r = backend_->Write(data.data(), data.size(), written);
    const long elapsed = ElapsedMs(start);
    EXPECT_EQ(r.status, BackendStatus::OsError);
    EXPECT_EQ(r.err, ETIMEDOUT);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, data.size());
    EXPECT_GE(elapsed, 150);
    EXPECT_LT(elapsed, 3000);
}

TEST_F(PtyTest, ReceivedBytesAreReadRaw) {
    OpenForMeter();
    // Flow control, line editing, signals and CR translation would each alter one of these.
    const std::string sent("\x11\x13\r\x03\x7f\x00!\r\n", 9);
    WriteMaster(sent);

    EXPECT_EQ(backend_->WaitReadable(2000), WaitResult::Readable);
    std::size_t waiting = 0;
    const auto start = Clock::now();
    while (waiting < sent.size() && ElapsedMs(start) < 2000) {
        ASSERT_TRUE(backend_->BytesWaiting(waiting).ok());
        if (waiting < sent.size()) backend_->WaitReadable(5);
    }
    EXPECT_EQ(waiting, sent.size());

    unsigned char buffer[64];
    std::size_t got = 0;
    ASSERT_EQ(backend_->Read(buffer, sizeof buffer, got).status, BackendStatus::Ok);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), got), sent);
}

TEST_F(PtyTest, WaitTimesOutAndReadFindsNothingWhenNothingArrives) {
    OpenForMeter();
    const auto start = Clock::now();
    EXPECT_EQ(backend_->WaitReadable(50), WaitResult::TimedOut);
    const long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 40);
    EXPECT_LT(elapsed, 2000);

    unsigned char buffer[8];
    std::size_t got = 99;
    EXPECT_EQ(backend_->Read(buffer, sizeof buffer, got).status, BackendStatus::Ok);
    EXPECT_EQ(got, 0u);
}

TEST_F(PtyTest, HangUpEndsEveryWaitAtOnce) {
    OpenForMeter();
    close(master_);
    master_ = -1;

    // Each wait returns at once rather than after its bound, so a reader sees the end promptly,
    // and keeps saying so rather than reporting bytes to read.
    for (int pass = 0; pass < 3; ++pass) {
        const auto start = Clock::now();
        EXPECT_EQ(backend_->WaitReadable(5000), WaitResult::HungUp) << "pass " << pass;
        EXPECT_LT(ElapsedMs(start), 1000) << "pass " << pass;
    }

    unsigned char buffer[8];
    std::size_t got = 99;
    const BackendResult read = backend_->Read(buffer, sizeof buffer, got);
    if (!read.ok()) {
        EXPECT_TRUE(read.gone()) << "a closed far end is a vanished device, not a passing error";
        EXPECT_EQ(read.err, EIO);
    } else {
        EXPECT_EQ(read.status, BackendStatus::Ok);
        EXPECT_EQ(got, 0u);
    }

    std::size_t written = 0;
    const unsigned char byte = 'V';
    EXPECT_EQ(backend_->Write(&byte, 1, written).status, BackendStatus::Gone);
}

void IgnoreSignal(int) {}

TEST_F(PtyTest, SignalInterruptsTheWait) {
    OpenForMeter();
    struct sigaction action {};
    action.sa_handler = IgnoreSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    const pthread_t waiter = pthread_self();
    std::thread signaller([waiter] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pthread_kill(waiter, SIGUSR1);
    });
    const auto start = Clock::now();
    const WaitResult result = backend_->WaitReadable(5000);
    const long elapsed = ElapsedMs(start);
    signaller.join();
    sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_EQ(result, WaitResult::Interrupted);
    EXPECT_LT(elapsed, 2000);
}

}  // namespace
