// The Qt interface services on their own: box styles, the counted wait cursor, the progress
// bar's steps, and the pump's handling of keys.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

#include "loamer/shell/qt_ui.h"
#include "tests/shell/shell_test.h"

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
};

SHELL_TEST(QtUiTest);
#include "qt_ui_test.moc"
