// loamer-cli serve as the gateway to the meter emulator and loamer-cli send as the program that
// uses it, each a child of its own, over sockets in the test's private runtime folder.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "loamer/upload/copy_data_frames.h"
#include "tests/cli/cli_fixture.h"

namespace {

using namespace loamer::testing;
namespace fs = std::filesystem;

const std::string kDataFlx = LOAMER_SOURCE_DIR "/examples/Data.flx";
const std::string kFlxCal = LOAMER_SOURCE_DIR "/examples/flx.cal";

Args Send(const Args& request) {
    Args args = {"send"};
    args.insert(args.end(), request.begin(), request.end());
    return args;
}

TEST_F(CliTest, TheGatewayServesRequestsOfOtherPrograms) {
    Serve({"--x-refuse", "1"});
    SetUnusualLineSettings(slave_);
    const std::string before = PortState(slave_);
    const auto gateway = StartGateway({"--port", slave_});
    ASSERT_TRUE(gateway);
    const std::string shortRecords = scratch_ / "short.flx";
    std::ofstream(shortRecords, std::ios::binary) << "probe 7\r\nsecond\r\n";

    const struct {
        Args request;
        int status;
        std::string out;
        std::string note;  // what the meter received, as its transcript says
    } cases[] = {
        // The meter refuses the first X message.
        {{"x", kDataFlx, "0", "6", "2", "1"}, 7, "7\n", "\nXREC0 PROBE A"},
        {{"x", kDataFlx, "0", "6", "2", "1"},
         0,
         "0\n8.000000 4.000000 12.000000 1.000000\n",
         "# X text \"REC0 PROBE A  SITE NORTH FIELD  DEPTH 10CM 00.125;"},
        // A short record ends at its line end; the title in any case; negative numbers.
        {{"--to", "LOAMER", "x", shortRecords, "0", "-.5", "2.25", "255"},
         0,
         "0\n1.750000 -2.750000 -1.120000 255.000000\n",
         "# X text \"probe 7\" and 126 zero bytes\n"},
        {{"cal", "flx", kFlxCal}, 0, "0\n", "# calibration for the FLX sensor (3), name \"flx         \"\n"},
    };
    for (const auto& c : cases) {
        const std::size_t seen = Received().size();
        const RunResult r = Run(Send(c.request));
        EXPECT_EQ(r.status, c.status) << Join(c.request) << r.err;
        EXPECT_EQ(r.out, c.out) << Join(c.request);
        EXPECT_EQ(r.err, "") << Join(c.request);
        EXPECT_NE(Received().find(c.note, seen), std::string::npos) << Join(c.request) << Received().substr(seen);
    }

    // One program answers as a title.
    const RunResult second = Run({"--port", slave_, "serve", "--title", "loaMER"});
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err,
              "Another program already answers requests from other programs as 'loaMER'; this one does not answer "
              "them.\n");

    // A runtime folder that cannot hold the sockets.
    ChildOptions blocked = Cli({"serve"});
    blocked.setEnv.back().second = shortRecords;
    const RunResult failed = RunProgram(blocked);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "Cannot answer requests from other programs at " + shortRecords +
                              "/loamer/loamer.sock:\nNot a directory\n");

    gateway->Signal(SIGTERM);
    EXPECT_EQ(gateway->Wait(5000), 0) << gateway->Err();
    EXPECT_EQ(gateway->Err(), "");
    EXPECT_FALSE(fs::exists(SocketOf("loamer")));
    EXPECT_EQ(PortState(slave_), before);
}

// A program that takes one message: it ends the connection at once, or gives the message its
// result and no answer.
class SilentListener {
public:
    SilentListener(const std::string& path, bool giveResult) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        fs::create_directories(fs::path(path).parent_path());
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool ok = fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                        ::listen(fd_, 1) == 0;
        EXPECT_TRUE(ok) << path;
        if (ok) thread_ = std::thread([this, giveResult] { TakeOne(giveResult); });
    }
    ~SilentListener() {
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }

private:
    void TakeOne(bool giveResult) {
        pollfd waiting{fd_, POLLIN, 0};
        if (::poll(&waiting, 1, 10000) != 1) return;
        const int peer = ::accept(fd_, nullptr, nullptr);
        if (peer < 0) return;
        unsigned char header[LOAMER_CD_MESSAGE_HEADER_SIZE];
        std::uint32_t size = 0;
        if (giveResult && ::recv(peer, header, sizeof header, MSG_WAITALL) == sizeof header) {
            std::memcpy(&size, header + 12, sizeof size);
            std::vector<unsigned char> block(size);
            (void)::recv(peer, block.data(), block.size(), MSG_WAITALL);
            std::vector<unsigned char> result;
            loamer::AppendResultFrame(result, 0);
            (void)::send(peer, result.data(), result.size(), MSG_NOSIGNAL);
        }
        ::close(peer);
    }

    int fd_ = -1;
    std::thread thread_;
};

// A send that gets no answer, or reads no file, says why on stderr and exits with 1.
TEST_F(CliTest, ASendWithoutAnAnswerFails) {
    const std::string missing = scratch_ / "missing";
    const struct {
        int listener;  // 0 none, 1 one that ends the connection, 2 one that gives a result only
        Args request;
        std::string err;
    } cases[] = {
        {0, {"x", kDataFlx, "0", "6", "2", "1"},
         "loamer-cli: no program answers requests as 'Loamer' (nothing listens at " + SocketOf("loamer") + ")\n"},
        {0, {"--to", "Other", "cal", "orbis", kFlxCal},
         "loamer-cli: no program answers requests as 'Other' (nothing listens at " + SocketOf("other") + ")\n"},
        {1, {"x", kDataFlx, "5", "6", "2", "1"}, "loamer-cli: 'Loamer' ended the exchange before it answered\n"},
        {2, {"cal", "flx", kFlxCal}, "loamer-cli: 'Loamer' took the request without answering it (result 0)\n"},
        // The files are read before anything is sent.
        {0, {"x", kDataFlx, "6", "6", "2", "1"}, "loamer-cli: " + kDataFlx + " holds 6 records, counted from 0\n"},
        {0, {"x", missing, "0", "6", "2", "1"}, "Cannot open " + missing + ":\nNo such file or directory\n"},
        {0, {"cal", "flx", missing}, "loamer-cli: cannot read the calibration file " + missing +
                                         ": No such file or directory\n"},
    };
    for (const auto& c : cases) {
        fs::remove_all(runtime_ + "/loamer");
        std::unique_ptr<SilentListener> listener;
        if (c.listener != 0) listener = std::make_unique<SilentListener>(SocketOf("loamer"), c.listener == 2);
        const RunResult r = Run(Send(c.request));
        EXPECT_EQ(r.status, 1) << Join(c.request);
        EXPECT_EQ(r.out, "") << Join(c.request);
        EXPECT_EQ(r.err, c.err) << Join(c.request);
    }
}

// Each stop signal ends the gateway with 0, its socket removed and the port closed as it was
// found; one that comes during an exchange ends it with 27 for its requester first, whichever
// signal it is.
TEST_F(CliTest, StopSignalsEndTheGateway) {
    const struct {
        int signal;
        bool duringExchange;
    } cases[] = {{SIGINT, false}, {SIGHUP, false}, {SIGINT, true}, {SIGTERM, true}};
    for (const auto& c : cases) {
        const std::string label = std::to_string(c.signal) + (c.duringExchange ? " during an exchange" : "");
        Serve({"--delay", "X:3000"});
        SetUnusualLineSettings(slave_);
        const std::string before = PortState(slave_);
        const auto gateway = StartGateway({"--port", slave_});
        ASSERT_TRUE(gateway) << label;
        std::unique_ptr<ChildProcess> requester;
        if (c.duringExchange) {
            requester = std::make_unique<ChildProcess>(Cli(Send({"x", kDataFlx, "1", "6", "2", "1"})));
            for (int waited = 0; Received().find("# X exchange") == std::string::npos && waited < 5000; waited += 20)
                Pause(20);
        }
        const auto start = std::chrono::steady_clock::now();
        gateway->Signal(c.signal);
        EXPECT_EQ(gateway->Wait(5000), 0) << label << gateway->Err();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500)) << label;
        EXPECT_FALSE(fs::exists(SocketOf("loamer"))) << label;
        EXPECT_EQ(PortState(slave_), before) << label;
        if (requester) {
            EXPECT_EQ(requester->Wait(5000), 27) << label << requester->Err();
            EXPECT_EQ(requester->Out(), "27\n") << label;
        }
    }
}

}  // namespace
