// The Retrieve command in the main dialog: the save dialog, the file it writes, the boxes it
// shows, the clock refresh after success, and the progress bar after every ending.
//
// The record bodies come first: a decoder struct has a member called slots, which Qt's macro of
// that name would empty once a Qt header is in.
#include "tests/retrieval/records.h"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <string>

#include "loamer/link/error_codes.h"
#include "loamer/retrieval/retrieve_command.h"
#include "loamer/version.h"
#include "tests/shell/shell_test.h"
#include "tests/support/child_process.h"

using namespace loamer;
using loamer::testing::ReadFile;
using loamer::testing::ScratchDir;
using loamer::testing::TestDataPath;

namespace {

// A profile set's file (clock order '1', every table slot empty) written by version 1.0.0, up
// to just before the text `before`, with this program's version in the banner.
std::string ProfileSetFileUpTo(const std::string& before) {
    std::string file = ReadFile(TestDataPath("retrieval/profile_set.csv"));
    file.resize(file.find(before));
    const std::string written = "PC Software:,1.0.0,";
    return file.replace(file.find(written), written.size(), "PC Software:," LOAMER_FILE_VERSION ",");
}

QString Report(ErrorCode code) { return QString::fromStdString(FormatErrorReport(code)); }

}  // namespace

class RetrieveCommandTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(f_.SetUp());
        dir_ = std::make_unique<ScratchDir>();
        path_ = QString::fromStdString(*dir_ / "READINGS.CSV");
    }
    void cleanup() {
        f_.TearDown();
        dir_.reset();
    }

    void anEmptyMeterGivesBannerAndTablesThenTheSavedBoxThenTheClock() {
        QString statusAtBox = QStringLiteral("<no box>");
        ModalAnswerer answerer(ChooseFileAs(path_));
        answerer.onBox = [&] { statusAtBox = f_.StatusText(); };
        f_.Button("retrieve")->click();

        QCOMPARE(ReadFile(path_.toStdString()), ProfileSetFileUpTo("\r\nSoil   >>"));
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, QString::fromLatin1(kReadingsSavedText));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::NoIcon);
        // The clock is read once the box has been closed.
        QCOMPARE(statusAtBox, QString());
        QCOMPARE(f_.StatusText(), QStringLiteral("2024/03/05  14:07:09"));
        QCOMPARE(f_.dialog().clockTimerStarts(), 1);
        QVERIFY(answerer.unexpected.isEmpty());
        QVERIFY(Progress()->isHidden());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void aFailureKeepsTheRecordsBeforeItAndShowsOnlyTheReport() {
        FakeMeter& meter = f_.link().meter;
        meter.clock = "H120240305140709\r\n";
        meter.records[1] = "Z1\r\n" + loamer::testing::ProfileBody('2', '2', '0');
        meter.records[2] =
            "Z3\r\n" + loamer::testing::ReadingBody("00002", "0003", 'A', "  0.345   1.234E  9.999   9.999 ");
        meter.records[3] = "Z9\r\n";
        ModalAnswerer answerer(ChooseFileAs(path_));
        f_.Button("retrieve")->click();

        QCOMPARE(ReadFile(path_.toStdString()), ProfileSetFileUpTo("05/03/2016  15:00:00"));
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, Report(ERR_MEMORY_CORRUPT));
        QCOMPARE(f_.StatusText(), QString());
        QVERIFY(!f_.dialog().ClockTimerRunning());
        QVERIFY(Progress()->isHidden());
    }

    // Every way of starting it opens the save dialog; Cancel there ends the command silently.
    void enterAltRAndTheButtonOpenTheSaveDialog_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("button") << "button";
        QTest::newRow("Enter on another button") << "enter";
        QTest::newRow("Alt+R") << "alt";
    }

    void enterAltRAndTheButtonOpenTheSaveDialog() {
        QFETCH(QString, how);
        f_.dialog().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f_.dialog()));
        QStringList titles;
        ModalAnswerer answerer(ChooseFileAs(QString(), &titles));
        if (how == QLatin1String("button")) {
            f_.Button("retrieve")->click();
        } else if (how == QLatin1String("enter")) {
            f_.Button("version")->setFocus();
            QTest::keyClick(f_.Button("version"), Qt::Key_Return);
        } else {
            QTest::keyClick(&f_.dialog(), Qt::Key_R, Qt::AltModifier);
        }

        QCOMPARE(titles, QStringList{QStringLiteral("Save As")});
        QVERIFY(f_.link().meter.requests.empty());
        QVERIFY(answerer.boxes.empty());
        QVERIFY(!f_.dialog().CommandRunning());
    }

    void aFileThatCannotBeOpenedShowsTheSystemsMessageThenReport12() {
        ModalAnswerer answerer(ChooseFileAs(QString::fromStdString(*dir_ / "missing/READINGS.CSV")));
        f_.Button("retrieve")->click();

        QCOMPARE(answerer.boxes.size(), std::size_t{2});
        QVERIFY2(answerer.boxes[0].text.contains(QStringLiteral("No such file or directory")),
                 qPrintable(answerer.boxes[0].text));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(answerer.boxes[1].text, Report(ERR_FILE_OPEN));
        QVERIFY(f_.link().meter.requests.empty());
        QVERIFY(Progress()->isHidden());
    }

    void escapeDuringTheRetrievalGivesReport27() {
        FakeMeter& meter = f_.link().meter;
        meter.records[1] = "Z1\r\n" + loamer::testing::ProfileBody('2', '2', '0');
        meter.records[2] = "";  // never answered
        bool barShown = false;
        meter.onRequest = [&](const std::string& request) {
            if (request != "R00002\r\n") return;
            // Runs from the first events pumped by the waiting read.
            QTimer::singleShot(0, &f_.dialog(), [&] {
                barShown = Progress()->isVisible();
                QTest::keyClick(f_.Button("retrieve"), Qt::Key_Escape);
            });
        };
        ModalAnswerer answerer(ChooseFileAs(path_));
        f_.Button("retrieve")->click();

        QVERIFY(barShown);
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, Report(ERR_ABORTED));
        QVERIFY(Progress()->isHidden());
        QVERIFY(f_.dialog().isVisible());
        QVERIFY(ReadFile(path_.toStdString()).ends_with("Error,\r\n"));
    }

private:
    QProgressBar* Progress() { return f_.dialog().findChild<QProgressBar*>(QStringLiteral("progress")); }

    MainDialogFixture f_;
    std::unique_ptr<ScratchDir> dir_;
    QString path_;
};

SHELL_TEST(RetrieveCommandTest);
#include "retrieve_command_test.moc"
