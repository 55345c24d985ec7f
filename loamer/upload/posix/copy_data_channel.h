// The local channel that carries inter-program messages: a Unix stream socket per listening
// program, named after its title, with the frames of copy_data_protocol.h.
//
// One channel per program serves everything: its listener, the connections it accepted and the
// ones it opened to send. Messages are handed to HandleCopyData as they come; a request for the
// meter that comes while a meter command runs waits for it to end (RunWhenIdle), and its
// connection is read on only once it has its result. While the channel waits for a result (of a
// message it sent, or of an answer), it keeps serving all its connections and pumps the user
// interface (Ui().PumpMessages(), whose abort ends the wait), so a program that sends to its
// own title, or two programs that send to each other, never wait for each other.
//
// Event loops: ReadyDescriptor() becomes readable whenever there is something to do; call
// ServeReady() then (a QSocketNotifier on it, or poll() beside other descriptors). ServeFor()
// waits for it itself. Every call may be made from inside another (a pump during a wait).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "loamer/upload/copy_data.h"

namespace loamer {

enum class ListenStatus {
    Listening,
    InUse,     // a running program already listens as this title
    BadTitle,  // empty, or holds '/' or a zero byte
    Failed,    // the system refused (SystemError() says why)
};

enum class SendStatus {
    Done,         // the result came
    BadTitle,     // nothing sent
    NoListener,   // nothing listens there: nothing sent
    PeerRefused,  // the listener runs as another user: nothing sent
    Lost,         // the connection ended before the result came
    TimedOut,     // the limit passed before the result came
    Aborted,      // the user interface asked to abort the wait
    Failed,       // the system refused (SystemError() says why): nothing sent
};

// The folder of the sockets: $XDG_RUNTIME_DIR/loamer when that is an absolute path, else
// /tmp/loamer-<uid>.
std::string CopyDataSocketFolder();
// The socket of a title: the folder, the title in lower case (ASCII letters), ".sock". Empty for
// a title that names no socket (empty, '/' or a zero byte in it).
std::string CopyDataSocketPath(std::string_view title);

class CopyDataChannel final : public CopyDataRequester {
public:
    CopyDataChannel();
    // Stops listening and closes every connection; requests waiting for the meter are dropped.
    ~CopyDataChannel() override;
    CopyDataChannel(const CopyDataChannel&) = delete;
    CopyDataChannel& operator=(const CopyDataChannel&) = delete;

    // Listens as title in the socket folder (made private to the user when it has to be made).
    // A socket left by a program that has ended is replaced.
    ListenStatus Listen(std::string_view title);
    // Listens at a socket path of the caller's choice, with the same rules (tests).
    ListenStatus ListenAt(const std::string& socketPath);
    void StopListening();
    bool Listening() const;
    // The socket path listened at, or the one that Listen found in use or failed at.
    const std::string& SocketPath() const;
    // The system's error number of the last Failed.
    int SystemError() const;

    // Readable whenever ServeReady has something to do; valid for the channel's life.
    int ReadyDescriptor() const;
    // Serves what is ready now: accepts, reads, handles messages (which may wait nested).
    void ServeReady();
    // Waits up to timeoutMs (-1: no limit) for something to do, then serves it.
    void ServeFor(int timeoutMs);

    // Sends a message to the program listening as title and waits for its result (limitMs: -1
    // for no limit). takesAnswers sets flag bit 0: the answer of a request comes back on the
    // connection and is kept (LastCalResult, LastXResult).
    SendStatus Send(std::string_view title, std::uint32_t type, const void* block, std::size_t size, bool takesAnswers,
                    std::int32_t& result, int limitMs = -1);
    // The same to a socket path.
    SendStatus SendTo(const std::string& socketPath, std::uint32_t type, const void* block, std::size_t size,
                      bool takesAnswers, std::int32_t& result, int limitMs = -1);

    // The requester that the hidden command uses: Send with the answer flag and no limit.
    CopyDataDelivery SendCopyDataTo(std::string_view title, std::uint32_t type, const void* block, std::size_t size,
                                    std::int32_t& result) override;

    // Peers of another user that were disconnected, and the connections open now.
    int RefusedPeers() const;
    std::size_t Connections() const;

    // How long an answer may wait for its result before its connection is given up.
    static constexpr int kAnswerLimitMs = 30000;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

// One sentence on a listener that could not be set up, for the front end to show once: in use
// (the program runs without answering), a bad title, or the system's words.
std::string ListenProblemText(ListenStatus status, const CopyDataChannel& channel, std::string_view title);

}  // namespace loamer
