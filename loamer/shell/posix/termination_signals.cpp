#include "loamer/shell/posix/termination_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace loamer {

namespace {

// The handler's end of the pair; -1 while no watcher is installed.
volatile std::sig_atomic_t g_writeEnd = -1;

extern "C" void OnTerminationSignal(int signalNumber) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    // A full socket already holds a request; nothing more to say.
    [[maybe_unused]] const ssize_t ignored = write(static_cast<int>(g_writeEnd), &byte, 1);
    errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (g_writeEnd != -1) return;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair_) != 0) return;
    g_writeEnd = pair_[1];

    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // Reads and waits of the meter exchange go on; the request is seen at the next pump.
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, &previousTerm_);
    sigaction(SIGHUP, &action, &previousHangUp_);

    notifier_ = new QSocketNotifier(pair_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::OnReadable);
    installed_ = true;
}

TerminationSignals::~TerminationSignals() {
    if (!installed_) return;
    sigaction(SIGTERM, &previousTerm_, nullptr);
    sigaction(SIGHUP, &previousHangUp_, nullptr);
    g_writeEnd = -1;
    delete notifier_;
    close(pair_[0]);
    close(pair_[1]);
}

void TerminationSignals::OnReadable() {
    char received[16];
    const ssize_t count = read(pair_[0], received, sizeof received);
    for (ssize_t i = 0; i < count; ++i) emit terminationRequested(received[i]);
}

}  // namespace loamer
