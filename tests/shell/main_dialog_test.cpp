// The main dialog's own behaviour apart from the commands: the Tab order of its buttons,
// numbers in a decimal-comma locale, and the Set Time dialog's calendar drop-down.
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QPushButton>
#include <QTest>
#include <clocale>

#include "loamer/shell/loamer_app.h"
#include "loamer/shell/set_time_dialog.h"
#include "tests/shell/shell_test.h"
#include "tests/support/child_process.h"

using namespace loamer;

class MainDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(f_.SetUp()); }
    void cleanup() { f_.TearDown(); }

    void tabFollowsTheButtonsDownThenAcross() {
        f_.dialog().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f_.dialog()));
        f_.Button("version")->setFocus();
        QStringList order{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, QStringList({"version", "battery", "memory", "tablesStatus", "retrieve", "about", "exit",
                                     "version"}));
    }

    void batteryKeepsTheDecimalPointUnderADecimalCommaLocale() {
        loamer::testing::ScopedLocale german(LC_ALL, "de_DE.UTF-8");
        if (!german.Ok()) QSKIP("the de_DE.UTF-8 locale is missing (./run setup generates it)");
        PinNumericLocale();
        ModalAnswerer answerer;
        f_.Button("battery")->click();
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, QStringLiteral("Battery Life = 87.0 Percent"));
    }

    void datePickersCalendarOpensRightAligned() {
        CSetTime setTime(f_.dialog());
        // Room on either side of the picker for the calendar.
        setTime.move(300, 150);
        setTime.show();
        QVERIFY(QTest::qWaitForWindowExposed(&setTime));
        setTime.findChild<QCheckBox*>(QStringLiteral("setToSystem"))->click();
        auto* date = setTime.findChild<QDateEdit*>(QStringLiteral("date"));
        // The drop-down is right-aligned, the date text is not.
        QVERIFY(!(date->alignment() & Qt::AlignRight));

        // The drop-down arrow is at the picker's right end.
        QTest::mouseClick(date, Qt::LeftButton, {}, QPoint(date->width() - 4, date->height() / 2));
        QWidget* popup = date->calendarWidget()->window();
        QTRY_VERIFY(popup->isVisible());
        const QRect shown = popup->geometry();
        popup->hide();
        QCOMPARE(shown.right(), date->mapToGlobal(QPoint(date->width() - 1, 0)).x());
        QVERIFY(shown.top() >= date->mapToGlobal(QPoint(0, date->height())).y());
        setTime.reject();
    }

private:
    MainDialogFixture f_;
};

SHELL_TEST(MainDialogTest);
#include "main_dialog_test.moc"
