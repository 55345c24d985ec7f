// SIGTERM and SIGHUP end the program as Exit does: a running exchange is aborted, windows that
// wait for a user are cancelled, the dialog closes, and the port is closed with the line
// settings it had before the program opened it.
#include <QAction>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <csignal>

#include "loamer/link/comm_port.h"
#include "loamer/shell/loamer_app.h"
#include "loamer/shell/main_dialog.h"
#include "loamer/shell/set_time_dialog.h"
#include "tests/shell/shell_test.h"

using namespace loamer;

namespace {

volatile std::sig_atomic_t g_unhandled = 0;

// Stands in while the program's own handlers are not installed, so that a signal the program
// fails to take is counted instead of ending the test run.
extern "C" void CountUnhandled(int) { g_unhandled = g_unhandled + 1; }

std::string LineOf(const FakeBackend& backend) {
    return std::string(reinterpret_cast<const char*>(backend.deviceSettings.bytes), backend.deviceSettings.size);
}

}  // namespace

class TerminationTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QSettings(QStringLiteral("Norvane"), QStringLiteral("Loamer")).clear();
        struct sigaction guard {};
        guard.sa_handler = CountUnhandled;
        sigemptyset(&guard.sa_mask);
        sigaction(SIGTERM, &guard, &previousTerm_);
        sigaction(SIGHUP, &guard, &previousHangUp_);
        g_unhandled = 0;
    }

    void cleanup() {
        sigaction(SIGTERM, &previousTerm_, nullptr);
        sigaction(SIGHUP, &previousHangUp_, nullptr);
    }

    void signalClosesTheDialogAndThePort_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QString>("during");
        QTest::newRow("SIGTERM, idle") << SIGTERM << "idle";
        QTest::newRow("SIGHUP, a read") << SIGHUP << "read";
        QTest::newRow("SIGTERM, a read") << SIGTERM << "read";
        QTest::newRow("SIGTERM, Set Time open") << SIGTERM << "set time";
    }

    void signalClosesTheDialogAndThePort() {
        QFETCH(int, signalNumber);
        QFETCH(QString, during);
        FakeLink link;
        link.meter.silent = during == "read";
        const std::string lineBefore = LineOf(link.backend);
        bool closedWhenCommandEnded = false;
        bool setTimeCancelled = false;

        CLOAMERApp app;
        ModalAnswerer answerer([&](QWidget* window) {
            if (qobject_cast<CSetTime*>(window)) {
                std::raise(signalNumber);
                QTRY_VERIFY(!window->isVisible());
                setTimeCancelled = true;
                return;
            }
            auto* dialog = qobject_cast<CLOAMERDlg*>(window);
            QVERIFY(dialog);
            if (during == "idle") {
                std::raise(signalNumber);
                QTRY_VERIFY(!dialog->isVisible());
            } else if (during == "read") {
                // From the first events that the waiting read pumps.
                QTimer::singleShot(0, dialog, [signalNumber] { std::raise(signalNumber); });
                dialog->findChild<QPushButton*>(QStringLiteral("version"))->click();
                closedWhenCommandEnded = !dialog->isVisible();
            } else {
                dialog->findChild<QAction*>(QStringLiteral("clock"))->trigger();
                closedWhenCommandEnded = !dialog->isVisible();
            }
        });
        app.InitInstance();

        QCOMPARE(int(g_unhandled), 0);
        QVERIFY(answerer.unexpected.isEmpty());
        // Nobody had to close a report box.
        QVERIFY(answerer.boxes.empty());
        QCOMPARE(setTimeCancelled, during == "set time");
        if (during != "idle") {
            QVERIFY(closedWhenCommandEnded);
            QCOMPARE(link.backend.opens, 1);
        }
        QVERIFY(!CommPortIsOpen());
        QVERIFY(!link.backend.IsOpen());
        QCOMPARE(LineOf(link.backend), lineBefore);
        // No clock was sent from the cancelled Set Time dialog.
        for (const std::string& request : link.meter.requests) QVERIFY(request[0] != 'H');

        // The program's handlers are gone with it.
        std::raise(signalNumber);
        QCOMPARE(int(g_unhandled), 1);
    }

private:
    struct sigaction previousTerm_ {};
    struct sigaction previousHangUp_ {};
};

SHELL_TEST(TerminationTest);
#include "termination_test.moc"
