// The Qt interface services on their own: box styles, the counted wait cursor, the progress
// bar's steps, the pump's handling of keys, and the file dialogs.
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QTest>
#include <fstream>

#include "loamer/retrieval/retrieve_command.h"
#include "loamer/shell/qt_ui.h"
#include "tests/shell/shell_test.h"
#include "tests/support/child_process.h"

using namespace loamer;

class QtUiTest : public QObject {
    Q_OBJECT

private slots:
    void boxesCarryTheProgramsCaptionAndTheirStylesIcon() {
        QtUi ui;
        ModalAnswerer answerer;
        ui.MessageBox("plain", BoxStyle::Plain);
        ui.MessageBox("information", BoxStyle::Information);
        ui.MessageBox("exclamation <b>not bold</b>", BoxStyle::Exclamation);
        ui.MessageBox("error", BoxStyle::Error);
        // A meter's 8-bit character that is not UTF-8 still shows.
        ui.MessageBox("V2.1\xb0", BoxStyle::Information);

        QCOMPARE(answerer.boxes.size(), std::size_t{5});
        const QMessageBox::Icon icons[] = {QMessageBox::NoIcon, QMessageBox::Information, QMessageBox::Warning,
                                           QMessageBox::Critical, QMessageBox::Information};
        for (std::size_t i = 0; i < answerer.boxes.size(); ++i) {
            QCOMPARE(answerer.boxes[i].title, QStringLiteral("Loamer"));
            QCOMPARE(answerer.boxes[i].icon, icons[i]);
        }
        QCOMPARE(answerer.boxes[2].text, QStringLiteral("exclamation <b>not bold</b>"));
        QCOMPARE(answerer.boxes[4].text, QStringLiteral("V2.1\u00b0"));
    }

    void waitCursorIsCounted() {
        QtUi ui;
        ui.RestoreWaitCursor();
        QCOMPARE(QApplication::overrideCursor(), nullptr);

        ui.BeginWaitCursor();
        ui.BeginWaitCursor();
        QGuiApplication::changeOverrideCursor(Qt::IBeamCursor);  // what a dispatched event may do
        ui.RestoreWaitCursor();
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        ui.EndWaitCursor();
        QVERIFY(QApplication::overrideCursor());
        {
            // A box over a running operation shows the arrow, and gives the wait cursor back.
            ArrowCursorScope arrow;
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
        }
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        ui.EndWaitCursor();
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        // An unmatched end leaves the stack of others alone.
        QGuiApplication::setOverrideCursor(Qt::CrossCursor);
        ui.EndWaitCursor();
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
        QGuiApplication::restoreOverrideCursor();
    }

    void progressStepsAndStartsOverPastTheTop() {
        QProgressBar bar;
        bar.setRange(0, 100);
        bar.setValue(0);
        bar.hide();
        QtUi ui(nullptr, &bar);

        ui.ProgressSetStep(1);
        ui.ProgressSetPos(0);
        ui.ProgressShow();
        QVERIFY(!bar.isHidden());
        ui.ProgressStep();
        ui.ProgressStep();
        QCOMPARE(bar.value(), 2);

        ui.ProgressSetStep(40);
        ui.ProgressStep();  // 42
        ui.ProgressStep();  // 82
        QCOMPARE(bar.value(), 82);
        ui.ProgressStep();  // 122 is past the top
        QCOMPARE(bar.value(), 0);
        ui.ProgressSetPos(100);
        ui.ProgressSetStep(1);
        ui.ProgressStep();
        QCOMPARE(bar.value(), 0);

        ui.ProgressHide();
        QVERIFY(bar.isHidden());
        QCOMPARE(bar.minimum(), 0);
        QCOMPARE(bar.maximum(), 100);
    }

    void pumpSwallowsKeysAndReportsEscapeOnceAndACloseUntilCleared() {
        QtUi ui;
        QLineEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));

        QApplication::postEvent(&edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")));
        QVERIFY(!ui.PumpMessages());
        QCOMPARE(edit.text(), QString());

        QApplication::postEvent(&edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        QVERIFY(ui.PumpMessages());
        QVERIFY(!ui.PumpMessages());

        // A close request holds until the command has ended.
        ui.RequestAbort();
        QVERIFY(ui.PumpMessages());
        QVERIFY(ui.PumpMessages());
        ui.ClearAbortRequest();
        QVERIFY(!ui.PumpMessages());

        // Outside the pump keys reach the widget as usual.
        QTest::keyClicks(&edit, QStringLiteral("ok"));
        QCOMPARE(edit.text(), QStringLiteral("ok"));
    }

    void fileFiltersTakeQtsForm_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("qt");
        QTest::newRow("retrieve") << kRetrieveFileDialog.filter
                                  << QStringList{"CSV Files (*.CSV)", "All Files (*)"};
        // The pattern field decides, not what the description shows.
        QTest::newRow("two patterns") << "Tables (*.LIN)|*.LIN;*.TXT|Dumps|*.DMP||"
                                      << QStringList{"Tables (*.LIN *.TXT)", "Dumps (*.DMP)"};
        QTest::newRow("unclosed") << "All Files (*.*)|*.*|Orphan" << QStringList{"All Files (*)"};
        QTest::newRow("empty") << "" << QStringList{};
    }

    void fileFiltersTakeQtsForm() {
        QFETCH(QString, filter);
        QFETCH(QStringList, qt);
        QCOMPARE(QtNameFilters(filter.toLatin1().constData()), qt);
    }

    // The dialog as a user drives it: a name typed without extension gets one, an existing file
    // is replaced only when the user says so, the next dialog opens where the last one ended.
    void saveDialogAddsTheExtensionAsksBeforeReplacingAndRemembersTheFolder() {
        loamer::testing::ScratchDir dir;
        const QString folder = QString::fromStdString(dir.Path());
        for (const char* name : {"old.csv", "notes.txt"}) std::ofstream(dir / name) << "x";
        QtUi ui;
        QString typed = folder + QStringLiteral("/readings");
        QStringList shown;  // folder, proposed name, listed files, cursor of each dialog
        ModalAnswerer answerer([&](QWidget* window) {
            auto* dialog = qobject_cast<QFileDialog*>(window);
            auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
            auto* list = dialog ? dialog->findChild<QListView*>(QStringLiteral("listView")) : nullptr;
            if (!name || !list) return;
            shown << dialog->windowTitle() << dialog->directory().absolutePath() << name->text();
            if (dialog->directory().absolutePath() == folder) {
                // Listed once the folder has been read: *.CSV matches old.csv, not notes.txt.
                QTRY_COMPARE(list->model()->rowCount(list->rootIndex()), 2);
                QStringList files;
                for (int row = 0; row < 2; ++row)
                    files << list->model()->index(row, 0, list->rootIndex()).data().toString();
                files.sort();
                shown << files;
            }
            shown << QString::number(QApplication::overrideCursor()->shape());
            name->setText(typed);
            QTest::keyClick(name, Qt::Key_Return);
        });

        ui.BeginWaitCursor();
        std::string path;
        QVERIFY(ui.ChooseSaveFile(kRetrieveFileDialog, path));
        QCOMPARE(path, dir / "readings.CSV");
        std::ofstream(path) << "x";
        typed = QStringLiteral("readings");
        QVERIFY(ui.ChooseSaveFile(kRetrieveFileDialog, path));
        QCOMPARE(path, dir / "readings.CSV");
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        ui.EndWaitCursor();

        const QString arrow = QString::number(Qt::ArrowCursor);
        QCOMPARE(shown, QStringList({"Save As", QDir::currentPath(), "LOAMER.CSV", arrow, "Save As", folder,
                                     "LOAMER.CSV", "old.csv", "readings.CSV", arrow}));
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QVERIFY2(answerer.boxes[0].text.contains(QStringLiteral("already exists")),
                 qPrintable(answerer.boxes[0].text));
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void fileDialogsCancelAndAnUnattendedOneIsNotShown() {
        QtUi ui;
        std::string path = "kept";
        {
            ModalAnswerer answerer(ChooseFileAs(QString()));
            QVERIFY(!ui.ChooseOpenFile(kRetrieveFileDialog, path));
            QVERIFY(answerer.unexpected.isEmpty());
        }
        ui.SetUnattended(true);
        ModalAnswerer answerer;  // would record any window as unexpected
        QVERIFY(!ui.ChooseSaveFile(kRetrieveFileDialog, path));
        QCOMPARE(path, std::string("kept"));
        QVERIFY(answerer.unexpected.isEmpty());
    }
};

SHELL_TEST(QtUiTest);
#include "qt_ui_test.moc"
