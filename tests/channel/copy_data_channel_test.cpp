// The local channel of inter-program messages over real sockets, with a scripted meter: listener
// names, refused blocks, nested serving (a program that sends to itself, two programs that send
// to each other, a request that comes during a meter command), the credential check, and the
// example client.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "loamer/link/command_scope.h"
#include "loamer/product.h"
#include "loamer/upload/copy_data.h"
#include "loamer/upload/copy_data_frames.h"
#include "loamer/upload/posix/copy_data_channel.h"
#include "tests/support/child_process.h"
#include "tests/support/link_fixture.h"

using namespace loamer;
using loamer::testing::ScratchDir;
using loamer::testing::ScopedEnv;

namespace {

const std::string kReply = "x0001.500-0002.25+3.00000 4.00000\r\n";

std::vector<unsigned char> MessageBytes(std::uint32_t type, const void* block, std::size_t size) {
    std::vector<unsigned char> bytes;
    AppendMessageFrame(bytes, type, LOAMER_CD_FLAG_TAKES_ANSWERS, block, static_cast<std::uint32_t>(size));
    return bytes;
}

XRequestBlock XRequest(const std::string& text) {
    XRequestBlock block{};
    text.copy(block.text, sizeof block.text);
    block.param1 = 6.0;
    block.param2 = 2.0;
    block.code = 1;
    return block;
}

// Another program written with plain blocking sockets: sends its bytes, answers each message that
// comes back with 1, and stops after the results it wants (or when the connection ends).
struct RawExchange {
    bool connected = false;
    std::vector<CopyDataFrame> messages;
    std::vector<std::int32_t> results;
};

RawExchange RawSend(const std::string& path, const std::vector<unsigned char>& bytes, std::size_t resultsWanted,
                    std::atomic<bool>* written = nullptr) {
    RawExchange exchange;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) ::close(fd);
        return exchange;
    }
    exchange.connected = true;
    const timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    bool ok = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    if (written) written->store(true);
    CopyDataFrameDecoder decoder;
    unsigned char buffer[4096];
    while (ok && exchange.results.size() < resultsWanted) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        for (std::size_t taken = 0; ok && taken < static_cast<std::size_t>(n);) {
            std::size_t used = 0;
            CopyDataFrame frame;
            const FrameDecode decoded = decoder.Decode(buffer + taken, static_cast<std::size_t>(n) - taken, used, frame);
            taken += used;
            ok = decoded != FrameDecode::Broken;
            if (decoded != FrameDecode::Frame) continue;
            if (frame.kind == CopyDataFrame::Kind::Result) {
                exchange.results.push_back(frame.value);
                continue;
            }
            exchange.messages.push_back(frame);
            std::vector<unsigned char> result;
            AppendResultFrame(result, 1);
            ok = ::send(fd, result.data(), result.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(result.size());
        }
    }
    ::close(fd);
    return exchange;
}

// Serves until done() holds or the limit has passed; false at the limit.
template <typename Done>
bool ServeUntil(CopyDataChannel& channel, Done done, int limitMs = 10000) {
    for (int waited = 0; !done(); waited += 20) {
        if (waited >= limitMs) return false;
        channel.ServeFor(20);
    }
    return true;
}

// Waits for a child, killing it after the limit; its wait status.
int WaitChild(pid_t pid, int limitMs = 15000) {
    int status = -1;
    for (int waited = 0; ::waitpid(pid, &status, WNOHANG) != pid; waited += 10) {
        if (waited >= limitMs) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        ::usleep(10000);
    }
    return status;
}

class ChannelTest : public LinkTest {
protected:
    ChannelTest() : runtime("XDG_RUNTIME_DIR", dir.Path().c_str()) {
        ResetCopyDataState();
        backend.onWrite = [this](const std::string& req) {
            if (req == "?\r\n") {
                backend.SendLater("A\r\n", 2);
            } else if (req[0] == 'X') {
                xMessages.push_back(req);
                backend.SendLater(kReply, 5);
            }
        };
    }

    // One of two programs that send to each other at once: listens as own, sends an X request
    // to other, then serves until the other's request has been carried out here too. 0 when all
    // went as it should, else the step that failed.
    int SendAcross(const std::string& own, const std::string& other, int syncFd) {
        CopyDataChannel channel;
        if (channel.Listen(own) != ListenStatus::Listening) return 10;
        char byte = 'r';
        if (::write(syncFd, &byte, 1) != 1 || ::read(syncFd, &byte, 1) != 1) return 11;
        const XRequestBlock block = XRequest(own);
        std::int32_t result = 0;
        if (channel.Send(other, CD_X_REQUEST, &block, sizeof block, true, result, 10000) != SendStatus::Done) return 12;
        if (result != 1 || CopyDataAnswersKept() != 1 || LastXResult().results[1] != -2.25) return 13;
        if (!ServeUntil(channel, [&] { return !xMessages.empty(); })) return 14;
        return xMessages.size() == 1 && xMessages[0].substr(1, other.size()) == other ? 0 : 15;
    }

    ScratchDir dir;
    ScopedEnv runtime;
    std::vector<std::string> xMessages;
};

TEST_F(ChannelTest, ListenerIsNamedAfterTheTitleInLowerCase) {
    CopyDataChannel first;
    ASSERT_EQ(first.Listen(kProgramTitle), ListenStatus::Listening);
    EXPECT_EQ(first.SocketPath(), dir / "loamer/loamer.sock");
    struct stat facts {};
    ASSERT_EQ(::stat((dir / "loamer").c_str(), &facts), 0);
    EXPECT_EQ(facts.st_mode & 0777, 0700u);

    // A second program finds the name taken, says so, and runs without a listener.
    CopyDataChannel second;
    EXPECT_EQ(second.Listen("LOAMER"), ListenStatus::InUse);
    EXPECT_EQ(ListenProblemText(ListenStatus::InUse, second, "LOAMER"),
              "Another program already answers requests from other programs as 'LOAMER'; this one does not answer them.");
    EXPECT_FALSE(second.Listening());
    EXPECT_TRUE(first.Listening());

    EXPECT_EQ(second.Listen("a/b"), ListenStatus::BadTitle);
    std::int32_t result = -1;
    EXPECT_EQ(second.Send("a/b", 5, nullptr, 0, true, result), SendStatus::BadTitle);
    EXPECT_EQ(second.Send("nobody", 5, nullptr, 0, true, result), SendStatus::NoListener);

    // A socket left behind by a program that has ended is replaced.
    const std::string stale = dir / "loamer/stale.sock";
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    stale.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    EXPECT_EQ(second.Listen("Stale"), ListenStatus::Listening);
    EXPECT_EQ(second.Send("STALE", 5, nullptr, 0, true, result, 10000), SendStatus::Done);
    EXPECT_EQ(result, 1);

    // Once the first program stops, the name is free again.
    first.StopListening();
    CopyDataChannel third;
    EXPECT_EQ(third.Listen(kProgramTitle), ListenStatus::Listening);

    ScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
    EXPECT_EQ(CopyDataSocketPath("Loamer"), "/tmp/loamer-" + std::to_string(::geteuid()) + "/loamer.sock");
}

TEST_F(ChannelTest, HiddenCommandIsServedByItsOwnProgramWhileItWaits) {
    CopyDataChannel channel;
    ASSERT_EQ(channel.Listen(kProgramTitle), ListenStatus::Listening);
    // The command waits without a limit: a deadlock ends the test program here.
    ::alarm(60);
    const std::string file = LOAMER_EXAMPLES_DIR "/Data.flx";
    const std::string records = loamer::testing::ReadFile(file);
    ASSERT_EQ(records.size(), 6 * 135u);

    for (int i = 0; i < 2; ++i) {
        const TestRequestOutcome outcome = SendTestRequest(channel, file);
        EXPECT_EQ(outcome.end, TestRequestEnd::Sent);
        EXPECT_EQ(outcome.result, 1);
    }
    ASSERT_EQ(xMessages.size(), 2u);
    EXPECT_EQ(xMessages[0].substr(1, 133), records.substr(135, 133));
    EXPECT_EQ(xMessages[1].substr(1, 133), records.substr(270, 133));
    EXPECT_EQ(CopyDataAnswersKept(), 2u);
    EXPECT_EQ(LastXResult().result, 0u);
    EXPECT_EQ(LastXResult().results[1], -2.25);

    // Without the answer flag the request is carried out, not answered, and its result is 0.
    const XRequestBlock block = XRequest("quiet");
    std::int32_t result = -1;
    EXPECT_EQ(channel.Send("loamer", CD_X_REQUEST, &block, sizeof block, false, result), SendStatus::Done);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(xMessages.size(), 3u);
    EXPECT_EQ(CopyDataAnswersKept(), 2u);

    EXPECT_TRUE(ServeUntil(channel, [&] { return channel.Connections() == 0; }));
    ::alarm(0);
}

TEST_F(ChannelTest, ShortAndOversizedBlocksAreDrainedAndRefused) {
    CopyDataChannel channel;
    ASSERT_EQ(channel.Listen(kProgramTitle), ListenStatus::Listening);
    struct Case {
        std::uint32_t type;
        std::size_t size;
        std::int32_t result;
    };
    const std::vector<Case> cases = {{1, 3, 0},     {2, 151, 0}, {3, 155, 0},       {4, 39, 0},
                                     {3, 65537, 0}, {9, 65536, 1}, {9, 300000, 0}, {0, 0, 1}};
    const std::vector<unsigned char> block(300000, 0x5A);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << ", " << c.size << " bytes");
        std::int32_t result = -1;
        EXPECT_EQ(channel.Send("loamer", c.type, block.data(), c.size, true, result, 10000), SendStatus::Done);
        EXPECT_EQ(result, c.result);
    }

    // The dropped block is read to its end: the next frame on the connection is read right.
    std::vector<unsigned char> two = MessageBytes(CD_X_REQUEST, block.data(), 70000);
    const std::vector<unsigned char> small = MessageBytes(7, block.data(), 4);
    two.insert(two.end(), small.begin(), small.end());
    RawExchange exchange;
    std::atomic<bool> done{false};
    std::thread peer([&] {
        exchange = RawSend(channel.SocketPath(), two, 2);
        done = true;
    });
    EXPECT_TRUE(ServeUntil(channel, [&] { return done.load(); }));
    peer.join();
    EXPECT_EQ(exchange.results, (std::vector<std::int32_t>{0, 1}));
    EXPECT_TRUE(exchange.messages.empty());

    EXPECT_TRUE(backend.written.empty());
    EXPECT_EQ(CopyDataAnswersKept(), 0u);
}

TEST_F(ChannelTest, RequestDuringAMeterCommandIsServedAfterIt) {
    CopyDataChannel channel;
    ASSERT_EQ(channel.Listen(kProgramTitle), ListenStatus::Listening);
    const XRequestBlock block = XRequest("queued");
    RawExchange exchange;
    std::atomic<bool> written{false};
    std::atomic<bool> done{false};
    std::thread peer;
    {
        MeterCommandScope command;
        peer = std::thread([&] {
            exchange = RawSend(channel.SocketPath(), MessageBytes(CD_X_REQUEST, &block, sizeof block), 1, &written);
            done = true;
        });
        EXPECT_TRUE(ServeUntil(channel, [&] { return written.load(); }));
        for (int i = 0; i < 5; ++i) channel.ServeFor(20);  // read now; it waits for the command
        EXPECT_TRUE(backend.written.empty());
        EXPECT_FALSE(done.load());
    }
    EXPECT_TRUE(ServeUntil(channel, [&] { return done.load(); }));
    peer.join();
    ASSERT_EQ(xMessages.size(), 1u);
    EXPECT_EQ(xMessages[0].substr(1, 7), std::string("queued\0", 7));
    ASSERT_EQ(exchange.messages.size(), 1u);
    EXPECT_EQ(exchange.messages[0].type, CD_X_RESULT);
    XResultBlock answer{};
    ASSERT_EQ(exchange.messages[0].block.size(), sizeof answer);
    std::memcpy(&answer, exchange.messages[0].block.data(), sizeof answer);
    EXPECT_EQ(answer.result, 0u);
    EXPECT_EQ(answer.results[0], 1.5);
    EXPECT_EQ(exchange.results, (std::vector<std::int32_t>{1}));
}

TEST_F(ChannelTest, PeerOfAnotherUserIsRefusedByTheCredentialCheck) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the peer as another user";
    // A test-only listener in a folder that everyone may search, on a socket that everyone may
    // connect to: only the credential check stands in the other user's way.
    ScratchDir open;
    ASSERT_EQ(::chmod(open.Path().c_str(), 0755), 0);
    CopyDataChannel channel;
    ASSERT_EQ(channel.ListenAt(open / "open.sock"), ListenStatus::Listening);
    ASSERT_EQ(::chmod((open / "open.sock").c_str(), 0777), 0);
    const XRequestBlock block = XRequest("intruder");
    const std::vector<unsigned char> bytes = MessageBytes(CD_X_REQUEST, &block, sizeof block);

    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
        const RawExchange exchange = RawSend(open / "open.sock", bytes, 1);
        ::_exit(!exchange.connected ? 2 : exchange.results.empty() && exchange.messages.empty() ? 0 : 3);
    }
    ASSERT_GT(pid, 0);
    int status = -1;
    ServeUntil(channel, [&] { return ::waitpid(pid, &status, WNOHANG) == pid; });
    if (!WIFEXITED(status)) status = WaitChild(pid, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not drop to another user, 2: connect failed, 3: it was served";
    EXPECT_EQ(channel.RefusedPeers(), 1);
    EXPECT_EQ(channel.Connections(), 0u);
    EXPECT_TRUE(xMessages.empty());
}

TEST_F(ChannelTest, TwoProgramsSendingToEachOtherAtOnceBothGetTheirAnswers) {
    // Each serves the other's request only while it waits for its own result.
    int sync[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sync), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(sync[0]);
        ::_exit(SendAcross("beta", "alpha", sync[1]));
    }
    ASSERT_GT(pid, 0);
    ::close(sync[1]);
    const int mine = SendAcross("alpha", "beta", sync[0]);
    ::close(sync[0]);
    const int status = WaitChild(pid);
    EXPECT_EQ(mine, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ChannelTest, ExampleClientGetsItsAnswer) {
    CopyDataChannel channel;
    ASSERT_EQ(channel.Listen(kProgramTitle), ListenStatus::Listening);
    loamer::testing::RunResult run;
    std::atomic<bool> done{false};
    std::thread client([&] {
        loamer::testing::ChildOptions options;
        options.argv = {COPYDATA_CLIENT, "-t", "LOAMER", "hello", "6", "2.5", "1"};
        options.setEnv = {{"XDG_RUNTIME_DIR", dir.Path()}};
        run = loamer::testing::RunProgram(options, 15000);
        done = true;
    });
    EXPECT_TRUE(ServeUntil(channel, [&] { return done.load(); }, 20000));
    client.join();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "0\n1.500000 -2.250000 3.000000 4.000000\n");
    ASSERT_EQ(xMessages.size(), 1u);
    EXPECT_EQ(xMessages[0].substr(1, 6), std::string("hello\0", 6));
    EXPECT_EQ(xMessages[0].substr(135, 12), "00006.000000");
    EXPECT_EQ(xMessages[0][147], '\x01');
    EXPECT_EQ(xMessages[0].substr(148, 12), "00002.500000");
}

}  // namespace
