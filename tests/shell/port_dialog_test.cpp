// Settings, Serial Port: the list of ports found, the edit field at opening, the access note
// under it, and what OK and Cancel do to the stored setting, the link's port name and an open
// port; a store that fails is reported.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include "loamer/link/comm_port.h"
#include "loamer/settings/port_setting.h"
#include "loamer/shell/qt_ui.h"
#include "loamer/shell/loamer_app.h"
#include "loamer/shell/port_dialog.h"
#include "tests/shell/shell_test.h"

using namespace loamer;

namespace {

QVariant StoredPortName() {
    QSettings store(QStringLiteral("Norvane"), QStringLiteral("Loamer"));
    return store.value(QStringLiteral("SETTINGS/ComPortName"));
}

void StorePortName(const QString& name) {
    QSettings store(QStringLiteral("Norvane"), QStringLiteral("Loamer"));
    store.setValue(QStringLiteral("SETTINGS/ComPortName"), name);
}

QStringList Entries(QComboBox* combo) {
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i) entries << combo->itemText(i);
    return entries;
}

// Answers the Serial Port dialog: types text unless it is null, then presses the button.
ModalAnswerer::Handler TypeAndPress(const QString& text, const char* button, QString* seenAtOpening = nullptr) {
    return [=](QWidget* window) {
        auto* dialog = qobject_cast<CPortDlg*>(window);
        QVERIFY(dialog);
        auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("port"));
        if (seenAtOpening) *seenAtOpening = combo->currentText();
        if (!text.isNull()) {
            combo->lineEdit()->selectAll();
            QTest::keyClicks(combo->lineEdit(), text);
        }
        dialog->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    };
}

}  // namespace

class PortDialogTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QSettings store(QStringLiteral("Norvane"), QStringLiteral("Loamer"));
        store.clear();
        link_ = std::make_unique<FakeLink>();
        link_->backend.devices = {{"COM3", true}, {"com1", true}, {"/dev/ttyUSB0", false}, {"LPT1", true}};
    }
    void cleanup() {
        link_.reset();
        QDir(QString::fromStdString(SettingsFilePath())).removeRecursively();
    }

    void opensWithThePortsFoundAndTheCurrentOneSelected() {
        CPortDlg dialog("COM3");
        auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("port"));
        // Sorted ignoring case, platform names upper-cased, names that are no ports left out.
        QCOMPARE(Entries(combo), QStringList({"/dev/ttyUSB0", "COM1", "COM3"}));
        QCOMPARE(combo->currentIndex(), 2);
        QCOMPARE(combo->currentText(), QStringLiteral("COM3"));
    }

    void currentNameMatchesAnEntryIgnoringCase() {
        CPortDlg dialog("com1");
        auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("port"));
        QCOMPARE(combo->currentIndex(), 1);
        QCOMPARE(combo->currentText(), QStringLiteral("COM1"));
    }

    void portNotFoundOpensWithAnEmptyField() {
        CPortDlg dialog("COM7");
        auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("port"));
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->currentText(), QString());
    }

    void addedNamesGoToTheirSortedPlaceOnce() {
        link_->backend.devices.clear();
        CPortDlg dialog("");
        auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("port"));
        for (const char* name : {"COM3", "COM1", "/dev/ttyACM0", "COM10", "com10", "/dev/ttyacm0"}) dialog.AddPort(name);
        QCOMPARE(Entries(combo), QStringList({"/dev/ttyACM0", "COM1", "COM10", "COM3"}));
        // Each name added becomes the selection; a name skipped as already there does not.
        QCOMPARE(combo->currentText(), QStringLiteral("COM10"));
    }

    void typedNameIsStoredAndUsed() {
        StorePortName("COM3");
        SetCommPortName("COM3");
        QCOMPARE(OpenCommPort(), ERR_NONE);

        CLOAMERApp app;
        QString atOpening;
        ModalAnswerer answerer(TypeAndPress("COM12", "ok", &atOpening));
        app.OnSerialPort();

        QCOMPARE(atOpening, QStringLiteral("COM3"));
        QCOMPARE(StoredPortName(), QVariant("COM12"));
        QCOMPARE(CommPortName(), std::string("COM12"));
        // The port open before is closed, so the next command opens the new one.
        QVERIFY(!CommPortIsOpen());
        QVERIFY(!link_->backend.IsOpen());
        QCOMPARE(OpenCommPort(), ERR_NONE);
        QCOMPARE(link_->backend.openedName, std::string("COM12"));
        QCOMPARE(link_->backend.opens, 2);
    }

    void okWithAnEmptyFieldKeepsThePort_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("field left empty") << QString();
        QTest::newRow("blanks") << "   ";
    }

    void okWithAnEmptyFieldKeepsThePort() {
        QFETCH(QString, typed);
        StorePortName("COM7");
        SetCommPortName("COM7");
        QCOMPARE(OpenCommPort(), ERR_NONE);
        CLOAMERApp app;
        QString atOpening = "not seen";
        ModalAnswerer answerer(TypeAndPress(typed, "ok", &atOpening));
        app.OnSerialPort();

        QCOMPARE(atOpening, QString());
        QCOMPARE(StoredPortName(), QVariant("COM7"));
        QCOMPARE(CommPortName(), std::string("COM7"));
        QVERIFY(link_->backend.IsOpen());
    }

    void accessNoteFollowsTheField_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("note");
        QTest::newRow("allowed") << "COM3" << "";
        QTest::newRow("no permission") << "/dev/ttyUSB0" << "(no permission: the port belongs to group dialout)";
        QTest::newRow("missing") << "COM9" << "(no such device)";
        QTest::newRow("empty") << "" << "";
    }

    void accessNoteFollowsTheField() {
        QFETCH(QString, typed);
        QFETCH(QString, note);
        link_->backend.access["/dev/ttyUSB0"] = {PortAccess::NoPermission, "dialout", ""};
        link_->backend.access["COM9"] = {PortAccess::Missing, "", ""};
        // Opens on a port the user may not open: the note is there from the start.
        CPortDlg dialog("/dev/ttyUSB0");
        auto* label = dialog.findChild<QLabel*>(QStringLiteral("access"));
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("(no permission: the port belongs to group dialout)"));

        auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("port"));
        combo->lineEdit()->selectAll();
        QTest::keyClick(combo->lineEdit(), Qt::Key_Delete);
        QTest::keyClicks(combo->lineEdit(), typed);
        QCOMPARE(label->text(), note);
    }

    void failedStoreIsReportedAndTheNameStillApplies() {
        // A folder where the settings file should be: nothing can be written there.
        const QString file = QString::fromStdString(SettingsFilePath());
        QFile::remove(file);
        QVERIFY(QDir().mkpath(file));
        QtUi ui;
        ScopedUi services(&ui);
        CLOAMERApp app;
        ModalAnswerer answerer(TypeAndPress("COM12", "ok"));
        app.OnSerialPort();

        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].title, QStringLiteral("Loamer"));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(answerer.boxes[0].text, QString::fromStdString(SettingsProblemText(SettingsStatus::Unwritable)));
        QCOMPARE(CommPortName(), std::string("COM12"));
    }

    void cancelChangesNothing() {
        StorePortName("COM3");
        SetCommPortName("COM3");
        QCOMPARE(OpenCommPort(), ERR_NONE);

        CLOAMERApp app;
        ModalAnswerer answerer(TypeAndPress("COM9", "cancel"));
        app.OnSerialPort();

        QCOMPARE(StoredPortName(), QVariant("COM3"));
        QCOMPARE(CommPortName(), std::string("COM3"));
        QVERIFY(CommPortIsOpen());
        QVERIFY(link_->backend.IsOpen());
        QCOMPARE(link_->backend.opens, 1);
        QCOMPARE(OpenCommPort(), ERR_NONE);
        QCOMPARE(link_->backend.opens, 1);
    }

private:
    std::unique_ptr<FakeLink> link_;
};

SHELL_TEST(PortDialogTest);
#include "port_dialog_test.moc"
