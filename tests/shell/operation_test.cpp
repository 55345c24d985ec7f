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
        link_ = std::make_unique<FakeLink>();
        // The meter never answers: the command's first read waits the full 5 s (fake time).
        link_->meter.silent = true;
        dialog_ = std::make_unique<CLOAMERDlg>();
        previousUi_ = SetUi(&dialog_->uiServices());
        dialog_->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
    }

    void cleanup() {
        dialog_.reset();
        SetUi(previousUi_);
        link_.reset();
    }

    void escapeDuringAReadAbortsIt() {
        ModalAnswerer answerer;
        const std::uint64_t start = link_->clock.NowMs();
        // Runs from the first events pumped by the waiting read.
        QTimer::singleShot(0, dialog_.get(), [this] {
            QVERIFY(dialog_->CommandRunning());
            QTest::keyClick(dialog_->findChild<QPushButton*>(QStringLiteral("version")), Qt::Key_Escape);
        });
        dialog_->findChild<QPushButton*>(QStringLiteral("version"))->click();

        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(answerer.boxes[0].text, QString::fromStdString(FormatErrorReport(ERR_ABORTED)));
        // Ended in the first handshake's read, long before its 5 s limit.
        QVERIFY(link_->clock.NowMs() - start < 5000);
        QCOMPARE(Handshakes(link_->meter.requests), 1);
        // The Escape went to the read, not to the dialog.
        QVERIFY(dialog_->isVisible());
        QVERIFY(!dialog_->CommandRunning());
        QCOMPARE(QApplication::overrideCursor(), nullptr);

        // Without a command running, Escape ends the dialog.
        QTest::keyClick(dialog_.get(), Qt::Key_Escape);
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(dialog_->result(), int(QDialog::Rejected));
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
        QTimer::singleShot(0, dialog_.get(), [&] {
            if (closeBox) {
                dialog_->close();
            } else {
                dialog_->findChild<QPushButton*>(QStringLiteral("exit"))->click();
            }
            // Still open: the command has not returned yet.
            visibleAtReport = dialog_->isVisible();
        });
        dialog_->findChild<QPushButton*>(QStringLiteral("battery"))->click();

        QVERIFY(visibleAtReport);
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, QString::fromStdString(FormatErrorReport(ERR_ABORTED)));
        QCOMPARE(Handshakes(link_->meter.requests), 1);
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(dialog_->result(), result);
    }

    void otherCommandsWaitTheirTurnButAboutOpens() {
        QSignalSpy serialPort(dialog_.get(), &CLOAMERDlg::serialPortRequested);
        QStringList opened;
        ModalAnswerer answerer([&](QWidget* window) {
            opened << QString::fromLatin1(window->metaObject()->className());
            if (auto* about = qobject_cast<CAboutDlg*>(window)) about->accept();
        });
        QTimer::singleShot(0, dialog_.get(), [this] {
            dialog_->findChild<QPushButton*>(QStringLiteral("memory"))->click();
            dialog_->findChild<QAction*>(QStringLiteral("clock"))->trigger();
            dialog_->findChild<QAction*>(QStringLiteral("serialPort"))->trigger();
            dialog_->findChild<QAction*>(QStringLiteral("viewTablesStatus"))->trigger();
            dialog_->findChild<QPushButton*>(QStringLiteral("about"))->click();
        });
        dialog_->findChild<QPushButton*>(QStringLiteral("version"))->click();

        QCOMPARE(opened, QStringList({"loamer::CAboutDlg"}));
        QCOMPARE(serialPort.count(), 0);
        // Only the Version command talked to the meter: its handshakes, one time-out report.
        QCOMPARE(Handshakes(link_->meter.requests), 2);
        QCOMPARE(link_->meter.requests.size(), std::size_t{2});
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, QString::fromStdString(FormatErrorReport(ERR_TIMEOUT)));

        // Once the command has ended, Serial Port goes through again.
        dialog_->findChild<QAction*>(QStringLiteral("serialPort"))->trigger();
        QCOMPARE(serialPort.count(), 1);
    }

    void closingTheDialogClosesThePort() {
        link_->meter.silent = false;
        ModalAnswerer answerer;
        dialog_->findChild<QPushButton*>(QStringLiteral("version"))->click();
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Information);
        QVERIFY(CommPortIsOpen());
        QVERIFY(dialog_->ClockTimerRunning());

        dialog_.reset();
        QVERIFY(!CommPortIsOpen());
        QVERIFY(!link_->backend.IsOpen());
    }

private:
    std::unique_ptr<FakeLink> link_;
    std::unique_ptr<CLOAMERDlg> dialog_;
    UiServices* previousUi_ = nullptr;
};

SHELL_TEST(OperationTest);
#include "operation_test.moc"
