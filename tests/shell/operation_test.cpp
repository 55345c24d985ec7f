// One command at a time while a read waits for the meter: Escape aborts it, Exit and the close
// box abort it and close the dialog after its report, other commands are refused, About opens.
// Closing the dialog closes the port.
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

#include "loamer/link/comm_port.h"
#include "loamer/link/error_codes.h"
#include "loamer/shell/about_dialog.h"
#include "loamer/shell/main_dialog.h"
#include "tests/shell/shell_test.h"

using namespace loamer;

namespace {

long Handshakes(const std::vector<std::string>& requests) {
    return std::count(requests.begin(), requests.end(), std::string("?\r\n"));
}

}  // namespace

class OperationTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(f_.SetUp());
        // The meter never answers: the command's first read waits the full 5 s (fake time).
        f_.link().meter.silent = true;
    }
    void cleanup() { f_.TearDown(); }

    void escapeDuringAReadAbortsIt() {
        ModalAnswerer answerer;
        const std::uint64_t start = f_.link().clock.NowMs();
        // Runs from the first events pumped by the waiting read.
        QTimer::singleShot(0, &f_.dialog(), [this] {
            QVERIFY(f_.dialog().CommandRunning());
            QTest::keyClick(f_.Button("version"), Qt::Key_Escape);
        });
        f_.Button("version")->click();

        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(answerer.boxes[0].text, QString::fromStdString(FormatErrorReport(ERR_ABORTED)));
        // Ended in the first handshake's read, long before its 5 s limit.
        QVERIFY(f_.link().clock.NowMs() - start < 5000);
        QCOMPARE(Handshakes(f_.link().meter.requests), 1);
        // The Escape went to the read, not to the dialog.
        QVERIFY(f_.dialog().isVisible());
        QVERIFY(!f_.dialog().CommandRunning());
        QCOMPARE(QApplication::overrideCursor(), nullptr);

        // Without a command running, Escape ends the dialog.
        QTest::keyClick(&f_.dialog(), Qt::Key_Escape);
        QVERIFY(!f_.dialog().isVisible());
        QCOMPARE(f_.dialog().result(), int(QDialog::Rejected));
    }

    void exitDuringAReadReportsThenCloses_data() {
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<int>("result");
        QTest::newRow("Exit") << false << int(QDialog::Accepted);
        QTest::newRow("close box") << true << int(QDialog::Rejected);
    }

    void exitDuringAReadReportsThenCloses() {
        QFETCH(bool, closeBox);
        QFETCH(int, result);
        bool visibleAtReport = false;
        ModalAnswerer answerer;
        QTimer::singleShot(0, &f_.dialog(), [&] {
            if (closeBox) {
                f_.dialog().close();
            } else {
                f_.Button("exit")->click();
            }
            // Still open: the command has not returned yet.
            visibleAtReport = f_.dialog().isVisible();
        });
        f_.Button("battery")->click();

        QVERIFY(visibleAtReport);
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, QString::fromStdString(FormatErrorReport(ERR_ABORTED)));
        QCOMPARE(Handshakes(f_.link().meter.requests), 1);
        QVERIFY(!f_.dialog().isVisible());
        QCOMPARE(f_.dialog().result(), result);
    }

    void otherCommandsWaitTheirTurnButAboutOpens() {
        QSignalSpy serialPort(&f_.dialog(), &CLOAMERDlg::serialPortRequested);
        QStringList opened;
        ModalAnswerer answerer([&](QWidget* window) {
            opened << QString::fromLatin1(window->metaObject()->className());
            if (auto* about = qobject_cast<CAboutDlg*>(window)) about->accept();
        });
        QTimer::singleShot(0, &f_.dialog(), [this] {
            f_.Button("memory")->click();
            f_.Action("clock")->trigger();
            f_.Action("serialPort")->trigger();
            f_.Action("viewTablesStatus")->trigger();
            f_.Button("about")->click();
        });
        f_.Button("version")->click();

        QCOMPARE(opened, QStringList({"loamer::CAboutDlg"}));
        QCOMPARE(serialPort.count(), 0);
        // Only the Version command talked to the meter: its handshakes, one time-out report.
        QCOMPARE(Handshakes(f_.link().meter.requests), 2);
        QCOMPARE(f_.link().meter.requests.size(), std::size_t{2});
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, QString::fromStdString(FormatErrorReport(ERR_TIMEOUT)));

        // Once the command has ended, Serial Port goes through again.
        f_.Action("serialPort")->trigger();
        QCOMPARE(serialPort.count(), 1);
    }

    void closingTheDialogClosesThePort() {
        f_.link().meter.silent = false;
        ModalAnswerer answerer;
        f_.Button("version")->click();
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Information);
        QVERIFY(CommPortIsOpen());
        QVERIFY(f_.dialog().ClockTimerRunning());

        f_.DestroyDialog();
        QVERIFY(!CommPortIsOpen());
        QVERIFY(!f_.link().backend.IsOpen());
    }

private:
    MainDialogFixture f_;
};

SHELL_TEST(OperationTest);
#include "operation_test.moc"
