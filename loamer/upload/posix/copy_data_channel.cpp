#include "loamer/upload/posix/copy_data_channel.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <utility>
#include <vector>

#include "loamer/link/command_scope.h"
#include "loamer/link/ui.h"
#include "loamer/upload/copy_data_frames.h"

namespace loamer {

// Blocks are the host's own structs: the protocol's byte order is the host's.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr std::uint64_t kListenerId = 0;
constexpr std::uint64_t kKickId = 1;
constexpr int kBacklog = 16;
constexpr std::size_t kMaxConnections = 64;
// Frames read ahead of a connection that cannot be handled yet (it has a message in hand, or the
// waits are nested too deep); beyond this the connection is not read until they are.
constexpr std::size_t kMaxQueuedFrames = 4;
// Waits inside waits: each needs a message whose handling waits for a result.
constexpr int kMaxNesting = 8;
constexpr int kPumpSliceMs = 50;
constexpr int kConnectRetryMs = 5000;

std::uint64_t MonotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

bool SameUser(int fd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && length == sizeof peer &&
           peer.uid == ::geteuid();
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Makes the socket folder, or checks the one found: a folder of this user, private to it.
int EnsurePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    struct stat facts {};
    if (::lstat(folder.c_str(), &facts) != 0) return errno;
    if (!S_ISDIR(facts.st_mode)) return ENOTDIR;
    if (facts.st_uid != ::geteuid()) return EPERM;
    if ((facts.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return errno;
    return 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

std::string CopyDataSocketFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return std::string(runtime) + "/loamer";
    return "/tmp/loamer-" + std::to_string(::geteuid());
}

std::string CopyDataSocketPath(std::string_view title) {
    if (title.empty() || title.find('/') != std::string_view::npos || title.find('\0') != std::string_view::npos) return {};
    std::string name(title);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return CopyDataSocketFolder() + "/" + name + ".sock";
}

struct CopyDataChannel::Impl {
    struct PendingSend {
        bool done = false;
        std::int32_t value = 0;
    };

    struct Connection {
        std::uint64_t id = 0;
        int fd = -1;
        Impl* owner = nullptr;  // null once the connection has left its channel
        CopyDataFrameDecoder decoder;
        std::deque<CopyDataFrame> frames;  // read, not yet acted on
        std::vector<unsigned char> out;    // not yet written
        std::vector<PendingSend*> sends;   // our messages waiting for results, innermost last
        bool held = false;       // a message of this connection is being handled or waits for the meter
        bool readEnded = false;  // the peer hung up: nothing more comes
        bool broken = false;     // nothing more goes either
        std::uint32_t watched = 0;

        bool HasMessageQueued() const {
            return std::any_of(frames.begin(), frames.end(),
                               [](const CopyDataFrame& f) { return f.kind == CopyDataFrame::Kind::Message; });
        }
        bool HasResultQueued() const {
            return std::any_of(frames.begin(), frames.end(),
                               [](const CopyDataFrame& f) { return f.kind == CopyDataFrame::Kind::Result; });
        }
    };

    // The program that sent a message, reached back on its connection.
    class AnswerSender final : public CopyDataSender {
    public:
        explicit AnswerSender(std::weak_ptr<Connection> c) : connection_(std::move(c)) {}
        std::int32_t SendCopyData(std::uint32_t type, const void* block, std::size_t size) override {
            const std::shared_ptr<Connection> c = connection_.lock();
            if (!c || !c->owner || c->broken) return 0;
            return c->owner->Answer(c, type, block, size);
        }

    private:
        std::weak_ptr<Connection> connection_;
    };

    Impl();
    ~Impl();

    ListenStatus ListenAt(const std::string& socketPath);
    void StopListening();
    void Poll(int timeoutMs);
    SendStatus SendTo(const std::string& socketPath, std::uint32_t type, const void* block, std::size_t size,
                      bool takesAnswers, std::int32_t& result, int limitMs);
    std::int32_t Answer(const std::shared_ptr<Connection>& c, std::uint32_t type, const void* block, std::size_t size);

    std::shared_ptr<Connection> Add(int fd);
    std::shared_ptr<Connection> Find(std::uint64_t id) const;
    void UpdateWatch(Connection& c);
    void Accept();
    void ReadFrom(const std::shared_ptr<Connection>& c);
    void Flush(Connection& c);
    void ProcessFrames(const std::shared_ptr<Connection>& c);
    void ProcessAll();
    void Dispatch(const std::shared_ptr<Connection>& c, CopyDataFrame frame);
    void Handle(const std::shared_ptr<Connection>& c, const CopyDataFrame& frame);
    SendStatus Post(const std::shared_ptr<Connection>& c, std::uint32_t type, std::uint32_t flags, const void* block,
                    std::size_t size, std::int32_t& result, int limitMs);
    SendStatus WaitFor(const std::shared_ptr<Connection>& c, PendingSend& pending, int limitMs);
    void Drop(const std::shared_ptr<Connection>& c);
    void Reap();
    void Kick();

    int epoll = -1;
    int kick = -1;
    int listener = -1;
    int lock = -1;
    std::string path;
    int err = 0;
    int refused = 0;
    int depth = 0;
    std::uint64_t nextId = kKickId + 1;
    std::vector<std::shared_ptr<Connection>> connections;
};

CopyDataChannel::Impl::Impl() {
    epoll = ::epoll_create1(EPOLL_CLOEXEC);
    kick = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kKickId;
    if (epoll >= 0 && kick >= 0) ::epoll_ctl(epoll, EPOLL_CTL_ADD, kick, &event);
}

CopyDataChannel::Impl::~Impl() {
    StopListening();
    for (const auto& c : connections) {
        c->owner = nullptr;
        CloseFd(c->fd);
    }
    connections.clear();
    CloseFd(kick);
    CloseFd(epoll);
}

ListenStatus CopyDataChannel::Impl::ListenAt(const std::string& socketPath) {
    StopListening();
    path = socketPath;
    const auto fail = [this](int e) {
        err = e;
        CloseFd(lock);
        return ListenStatus::Failed;
    };
    sockaddr_un address{};
    if (!FillAddress(path, address)) return fail(ENAMETOOLONG);
    if (epoll < 0 || kick < 0) return fail(EMFILE);

    // The lock file says who answers as this name; it outlives the socket and is never removed,
    // so that two programs starting together cannot both take the name.
    lock = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0) return fail(errno);
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) return fail(errno);
        CloseFd(lock);
        return ListenStatus::InUse;
    }
    struct stat facts {};
    if (::lstat(path.c_str(), &facts) == 0) {
        if (!S_ISSOCK(facts.st_mode)) return fail(EEXIST);
        // A socket that still answers has a listener that took no lock: leave it be.
        int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const bool live = probe >= 0 && (::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
                                         errno == EAGAIN);
        CloseFd(probe);
        if (live) {
            CloseFd(lock);
            return ListenStatus::InUse;
        }
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) return fail(errno);
    }
    listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0) return fail(errno);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, kBacklog) != 0) {
        const int e = errno;
        CloseFd(listener);
        return fail(e);
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kListenerId;
    if (::epoll_ctl(epoll, EPOLL_CTL_ADD, listener, &event) != 0) {
        const int e = errno;
        CloseFd(listener);
        ::unlink(path.c_str());
        return fail(e);
    }
    err = 0;
    return ListenStatus::Listening;
}

void CopyDataChannel::Impl::StopListening() {
    if (listener >= 0) {
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, listener, nullptr);
        CloseFd(listener);
        ::unlink(path.c_str());
    }
    CloseFd(lock);
}

std::shared_ptr<CopyDataChannel::Impl::Connection> CopyDataChannel::Impl::Add(int fd) {
    auto c = std::make_shared<Connection>();
    c->id = nextId++;
    c->fd = fd;
    c->owner = this;
    connections.push_back(c);
    UpdateWatch(*c);
    return c;
}

std::shared_ptr<CopyDataChannel::Impl::Connection> CopyDataChannel::Impl::Find(std::uint64_t id) const {
    for (const auto& c : connections) {
        if (c->id == id) return c;
    }
    return nullptr;
}

void CopyDataChannel::Impl::UpdateWatch(Connection& c) {
    std::uint32_t wanted = 0;
    if (c.fd >= 0 && !c.broken) {
        if (!c.readEnded && c.frames.size() < kMaxQueuedFrames) wanted |= EPOLLIN;
        if (!c.out.empty()) wanted |= EPOLLOUT;
    }
    if (wanted == c.watched) return;
    epoll_event event{};
    event.events = wanted;
    event.data.u64 = c.id;
    if (wanted == 0) {
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, c.fd, nullptr);
    } else {
        ::epoll_ctl(epoll, c.watched == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, c.fd, &event);
    }
    c.watched = wanted;
}

void CopyDataChannel::Impl::Accept() {
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        if (!SameUser(fd)) {
            ++refused;
            ::close(fd);
            continue;
        }
        if (connections.size() >= kMaxConnections) {
            ::close(fd);
            continue;
        }
        Add(fd);
    }
}

void CopyDataChannel::Impl::ReadFrom(const std::shared_ptr<Connection>& c) {
    unsigned char buffer[16384];
    while (c->fd >= 0 && !c->broken && !c->readEnded && c->frames.size() < kMaxQueuedFrames) {
        const ssize_t n = ::recv(c->fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) {
            c->readEnded = true;
            break;
        }
        std::size_t taken = 0;
        while (taken < static_cast<std::size_t>(n)) {
            std::size_t used = 0;
            CopyDataFrame frame;
            const FrameDecode decoded = c->decoder.Decode(buffer + taken, static_cast<std::size_t>(n) - taken, used, frame);
            taken += used;
            if (decoded == FrameDecode::Broken) {
                c->broken = true;
                break;
            }
            if (decoded == FrameDecode::Frame) c->frames.push_back(std::move(frame));
        }
    }
    UpdateWatch(*c);
}

void CopyDataChannel::Impl::Flush(Connection& c) {
    while (!c.out.empty() && c.fd >= 0 && !c.broken) {
        const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) {
            c.broken = true;
            break;
        }
        c.out.erase(c.out.begin(), c.out.begin() + n);
    }
    UpdateWatch(c);
}

void CopyDataChannel::Impl::ProcessFrames(const std::shared_ptr<Connection>& c) {
    for (auto it = c->frames.begin(); it != c->frames.end() && c->owner;) {
        if (it->kind == CopyDataFrame::Kind::Result) {
            // A result answers the innermost of our messages still waiting on this connection.
            auto waiting = std::find_if(c->sends.rbegin(), c->sends.rend(), [](const PendingSend* p) { return !p->done; });
            if (waiting == c->sends.rend()) {
                c->broken = true;
                c->frames.clear();
                break;
            }
            (*waiting)->done = true;
            (*waiting)->value = it->value;
            it = c->frames.erase(it);
            continue;
        }
        if (c->held || c->broken || depth >= kMaxNesting) {
            ++it;
            continue;
        }
        CopyDataFrame frame = std::move(*it);
        c->frames.erase(it);
        Dispatch(c, std::move(frame));
        // Nested serving may have read or taken frames of this connection meanwhile.
        it = c->frames.begin();
    }
    UpdateWatch(*c);
}

void CopyDataChannel::Impl::ProcessAll() {
    const std::vector<std::shared_ptr<Connection>> snapshot = connections;
    for (const auto& c : snapshot) {
        if (!c->frames.empty()) ProcessFrames(c);
    }
}

void CopyDataChannel::Impl::Dispatch(const std::shared_ptr<Connection>& c, CopyDataFrame frame) {
    c->held = true;
    auto message = std::make_shared<CopyDataFrame>(std::move(frame));
    std::weak_ptr<Connection> weak = c;
    auto task = [weak, message] {
        const std::shared_ptr<Connection> connection = weak.lock();
        if (connection && connection->owner) connection->owner->Handle(connection, *message);
    };
    // A request for the meter waits for a running command to end; everything else is handled now.
    if (!message->dropped && CopyDataUsesMeter(message->type, message->block.size())) {
        RunWhenIdle(task);
    } else {
        task();
    }
}

void CopyDataChannel::Impl::Handle(const std::shared_ptr<Connection>& c, const CopyDataFrame& frame) {
    std::int32_t value = 0;
    if (!frame.dropped) {
        AnswerSender sender(c);
        const CopyDataMessage message{frame.type, frame.block.size(), frame.block.data()};
        value = HandleCopyData(frame.TakesAnswers() ? &sender : nullptr, message);
    }
    c->held = false;
    if (c->owner && !c->broken) {
        AppendResultFrame(c->out, value);
        Flush(*c);
    }
    // Frames that came behind this message are taken up by the next serving pass.
    if (c->HasMessageQueued()) Kick();
}

std::int32_t CopyDataChannel::Impl::Answer(const std::shared_ptr<Connection>& c, std::uint32_t type, const void* block,
                                           std::size_t size) {
    std::int32_t result = 0;
    const SendStatus status = Post(c, type, LOAMER_CD_FLAG_TAKES_ANSWERS, block, size, result,
                                   CopyDataChannel::kAnswerLimitMs);
    return status == SendStatus::Done ? result : 0;
}

SendStatus CopyDataChannel::Impl::Post(const std::shared_ptr<Connection>& c, std::uint32_t type, std::uint32_t flags,
                                       const void* block, std::size_t size, std::int32_t& result, int limitMs) {
    AppendMessageFrame(c->out, type, flags, block, static_cast<std::uint32_t>(size));
    Flush(*c);
    PendingSend pending;
    c->sends.push_back(&pending);
    const SendStatus status = WaitFor(c, pending, limitMs);
    c->sends.erase(std::find(c->sends.begin(), c->sends.end(), &pending));
    result = pending.value;
    return status;
}

SendStatus CopyDataChannel::Impl::WaitFor(const std::shared_ptr<Connection>& c, PendingSend& pending, int limitMs) {
    const std::uint64_t start = MonotonicMs();
    SendStatus status = SendStatus::Done;
    ++depth;
    while (!pending.done) {
        if (c->broken || c->fd < 0 || (c->readEnded && !c->HasResultQueued())) {
            status = SendStatus::Lost;
            break;
        }
        int slice = kPumpSliceMs;
        if (limitMs >= 0) {
            const std::uint64_t spent = MonotonicMs() - start;
            if (spent >= static_cast<std::uint64_t>(limitMs)) {
                status = SendStatus::TimedOut;
                break;
            }
            slice = static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(limitMs) - spent, kPumpSliceMs));
        }
        Poll(slice);
        if (pending.done) break;
        if (Ui().PumpMessages()) {
            status = SendStatus::Aborted;
            break;
        }
    }
    --depth;
    // A result that comes later would answer the wrong message: the conversation ends here.
    if (status != SendStatus::Done) {
        c->broken = true;
        UpdateWatch(*c);
    }
    Kick();
    return status;
}

void CopyDataChannel::Impl::Poll(int timeoutMs) {
    if (epoll < 0) return;
    epoll_event events[16];
    const int n = ::epoll_wait(epoll, events, 16, timeoutMs);
    for (int i = 0; i < n; ++i) {
        const std::uint64_t id = events[i].data.u64;
        if (id == kListenerId) {
            if (listener >= 0) Accept();
        } else if (id == kKickId) {
            std::uint64_t count = 0;
            (void)!::read(kick, &count, sizeof count);
        } else if (const std::shared_ptr<Connection> c = Find(id)) {
            if (events[i].events & EPOLLOUT) Flush(*c);
            if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadFrom(c);
        }
    }
    ProcessAll();
    Reap();
}

void CopyDataChannel::Impl::Drop(const std::shared_ptr<Connection>& c) {
    if (c->watched != 0) ::epoll_ctl(epoll, EPOLL_CTL_DEL, c->fd, nullptr);
    c->watched = 0;
    CloseFd(c->fd);
    c->owner = nullptr;
    connections.erase(std::remove(connections.begin(), connections.end(), c), connections.end());
}

void CopyDataChannel::Impl::Reap() {
    const std::vector<std::shared_ptr<Connection>> snapshot = connections;
    for (const auto& c : snapshot) {
        if (c->held || !c->sends.empty()) continue;
        // Messages that came before a hang-up are still handled; after a broken frame, none are.
        if (c->broken || (c->readEnded && c->out.empty() && !c->HasMessageQueued())) Drop(c);
    }
}

void CopyDataChannel::Impl::Kick() {
    const bool waiting = std::any_of(connections.begin(), connections.end(), [](const std::shared_ptr<Connection>& c) {
        return !c->held && !c->broken && c->HasMessageQueued();
    });
    if (!waiting) return;
    const std::uint64_t one = 1;
    (void)!::write(kick, &one, sizeof one);
}

SendStatus CopyDataChannel::Impl::SendTo(const std::string& socketPath, std::uint32_t type, const void* block,
                                         std::size_t size, bool takesAnswers, std::int32_t& result, int limitMs) {
    sockaddr_un address{};
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        err = EMSGSIZE;
        return SendStatus::Failed;
    }
    if (!FillAddress(socketPath, address)) {
        err = ENAMETOOLONG;
        return SendStatus::Failed;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        err = errno;
        return SendStatus::Failed;
    }
    // A full backlog (a listener busy, perhaps this very program) clears while we serve.
    const std::uint64_t start = MonotonicMs();
    while (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int e = errno;
        if (e == EINTR) continue;
        if (e == EAGAIN && MonotonicMs() - start < kConnectRetryMs) {
            Poll(10);
            continue;
        }
        ::close(fd);
        if (e == ENOENT || e == ECONNREFUSED || e == ENOTDIR) return SendStatus::NoListener;
        err = e;
        return SendStatus::Failed;
    }
    if (!SameUser(fd)) {
        ::close(fd);
        return SendStatus::PeerRefused;
    }
    const std::shared_ptr<Connection> c = Add(fd);
    const SendStatus status =
        Post(c, type, takesAnswers ? LOAMER_CD_FLAG_TAKES_ANSWERS : 0u, block, size, result, limitMs);
    Drop(c);
    return status;
}

CopyDataChannel::CopyDataChannel() : impl_(std::make_shared<Impl>()) {}
CopyDataChannel::~CopyDataChannel() = default;

ListenStatus CopyDataChannel::Listen(std::string_view title) {
    const std::string socketPath = CopyDataSocketPath(title);
    if (socketPath.empty()) {
        impl_->StopListening();
        impl_->path.clear();
        return ListenStatus::BadTitle;
    }
    if (const int e = EnsurePrivateFolder(CopyDataSocketFolder()); e != 0) {
        impl_->StopListening();
        impl_->path = socketPath;
        impl_->err = e;
        return ListenStatus::Failed;
    }
    return impl_->ListenAt(socketPath);
}

ListenStatus CopyDataChannel::ListenAt(const std::string& socketPath) { return impl_->ListenAt(socketPath); }
void CopyDataChannel::StopListening() { impl_->StopListening(); }
bool CopyDataChannel::Listening() const { return impl_->listener >= 0; }
const std::string& CopyDataChannel::SocketPath() const { return impl_->path; }
int CopyDataChannel::SystemError() const { return impl_->err; }
int CopyDataChannel::ReadyDescriptor() const { return impl_->epoll; }
void CopyDataChannel::ServeReady() { impl_->Poll(0); }
void CopyDataChannel::ServeFor(int timeoutMs) { impl_->Poll(timeoutMs); }
int CopyDataChannel::RefusedPeers() const { return impl_->refused; }
std::size_t CopyDataChannel::Connections() const { return impl_->connections.size(); }

SendStatus CopyDataChannel::Send(std::string_view title, std::uint32_t type, const void* block, std::size_t size,
                                 bool takesAnswers, std::int32_t& result, int limitMs) {
    const std::string socketPath = CopyDataSocketPath(title);
    if (socketPath.empty()) return SendStatus::BadTitle;
    return impl_->SendTo(socketPath, type, block, size, takesAnswers, result, limitMs);
}

SendStatus CopyDataChannel::SendTo(const std::string& socketPath, std::uint32_t type, const void* block, std::size_t size,
                                   bool takesAnswers, std::int32_t& result, int limitMs) {
    return impl_->SendTo(socketPath, type, block, size, takesAnswers, result, limitMs);
}

CopyDataDelivery CopyDataChannel::SendCopyDataTo(std::string_view title, std::uint32_t type, const void* block,
                                                 std::size_t size, std::int32_t& result) {
    switch (Send(title, type, block, size, true, result)) {
    case SendStatus::Done: return CopyDataDelivery::Done;
    case SendStatus::BadTitle:
    case SendStatus::NoListener:
    case SendStatus::PeerRefused:
    case SendStatus::Failed: return CopyDataDelivery::NoListener;
    default: return CopyDataDelivery::Failed;
    }
}

std::string ListenProblemText(ListenStatus status, const CopyDataChannel& channel, std::string_view title) {
    switch (status) {
    case ListenStatus::Listening: return {};
    case ListenStatus::InUse:
        return "Another program already answers requests from other programs as '" + std::string(title) +
               "'; this one does not answer them.";
    case ListenStatus::BadTitle:
        return "Requests from other programs cannot be answered as '" + std::string(title) +
               "': a title must not be empty or contain '/'.";
    case ListenStatus::Failed: break;
    }
    return "Cannot answer requests from other programs at " + channel.SocketPath() + ":\n" +
           std::strerror(channel.SystemError());
}

}  // namespace loamer
