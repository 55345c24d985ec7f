// SIGTERM and SIGHUP (logout, a closed terminal, `kill`) delivered as a Qt signal, so that the
// program ends the way the user would end it and its port is closed and restored on the way
// out. The handler only writes the signal's number to a socket pair; a socket notifier reads
// it in the event loop.
#pragma once

#include <QObject>
#include <csignal>

class QSocketNotifier;

namespace loamer {

class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; one watcher at a time (a second one installs nothing).
    explicit TerminationSignals(QObject* parent = nullptr);
    // Puts the previous handlers back.
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    bool Installed() const { return installed_; }

signals:
    // From the event loop, once per signal received.
    void terminationRequested(int signalNumber);

private:
    void OnReadable();

    bool installed_ = false;
    int pair_[2] = {-1, -1};
    struct sigaction previousTerm_ {};
    struct sigaction previousHangUp_ {};
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace loamer
