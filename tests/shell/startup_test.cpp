// Start-up: the stored port setting chosen and shown, a settings file that cannot be read
// reported, the main dialog as the main window with the Qt services installed while it runs.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QTest>

#include "loamer/link/comm_port.h"
#include "loamer/settings/port_setting.h"
#include "loamer/shell/loamer_app.h"
#include "loamer/shell/main_dialog.h"
#include "loamer/shell/port_dialog.h"
#include "loamer/shell/qt_ui.h"
#include "tests/shell/shell_test.h"

using namespace loamer;

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QSettings store(QStringLiteral("Norvane"), QStringLiteral("Loamer"));
        store.clear();
        store.sync();
        SetCommPortName("unset");
    }

    void portFromSettings_data() {
        QTest::addColumn<QVariant>("comPortName");
        QTest::addColumn<QVariant>("comPort");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing stored") << QVariant() << QVariant() << "COM1";
        QTest::newRow("COMPORT 3") << QVariant() << QVariant(3) << "COM3";
        QTest::newRow("COMPORT 0") << QVariant() << QVariant(0) << "COM1";
        QTest::newRow("COMPORT negative") << QVariant() << QVariant(-2) << "COM1";
        QTest::newRow("ComPortName wins") << QVariant("/dev/ttyUSB0") << QVariant(3) << "/dev/ttyUSB0";
        QTest::newRow("empty ComPortName") << QVariant("") << QVariant(12) << "COM12";
    }

    void portFromSettings() {
        QFETCH(QVariant, comPortName);
        QFETCH(QVariant, comPort);
        QFETCH(QString, expected);
        {
            QSettings store(QStringLiteral("Norvane"), QStringLiteral("Loamer"));
            if (comPortName.isValid()) store.setValue(QStringLiteral("SETTINGS/ComPortName"), comPortName);
            if (comPort.isValid()) store.setValue(QStringLiteral("SETTINGS/COMPORT"), comPort);
        }

        CLOAMERApp app;
        QString portWhileRunning;
        QString portShown;
        bool mainWindowIsDialog = false;
        bool qtServicesInstalled = false;
        ModalAnswerer answerer([&](QWidget* window) {
            auto* dialog = qobject_cast<CLOAMERDlg*>(window);
            QVERIFY(dialog);
            portWhileRunning = QString::fromStdString(CommPortName());
            portShown = dialog->findChild<QLabel*>(QStringLiteral("status"))->toolTip();
            mainWindowIsDialog = app.mainWindow() == dialog;
            qtServicesInstalled = &Ui() == &dialog->uiServices();
            dialog->close();
        });
        QCOMPARE(app.InitInstance(), false);

        QCOMPARE(portWhileRunning, expected);
        QCOMPARE(portShown, QStringLiteral("Port: ") + expected);
        QVERIFY(mainWindowIsDialog);
        QVERIFY(qtServicesInstalled);
        QVERIFY(answerer.boxes.empty());
        // Once the dialog has gone, nothing points at it.
        QCOMPARE(app.mainWindow(), nullptr);
        QVERIFY(dynamic_cast<QtUi*>(&Ui()) == nullptr);
    }

    void portChosenLaterShowsInTheStatusBox() {
        FakeLink link;
        CLOAMERApp app;
        QString shown;
        ModalAnswerer answerer([&](QWidget* window) {
            if (auto* port = qobject_cast<CPortDlg*>(window)) {
                port->findChild<QComboBox*>(QStringLiteral("port"))->setEditText(QStringLiteral("COM12"));
                port->accept();
                return;
            }
            auto* dialog = qobject_cast<CLOAMERDlg*>(window);
            QVERIFY(dialog);
            dialog->findChild<QAction*>(QStringLiteral("serialPort"))->trigger();
            shown = dialog->findChild<QLabel*>(QStringLiteral("status"))->toolTip();
            dialog->close();
        });
        app.InitInstance();
        QCOMPARE(shown, QStringLiteral("Port: COM12"));
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void unreadableSettingsAreReportedOnceAndTheDefaultPortUsed() {
        const QString file = QString::fromStdString(SettingsFilePath());
        QFile::remove(file);
        QVERIFY(QDir().mkpath(file));
        CLOAMERApp app;
        QString portWhileRunning;
        ModalAnswerer answerer([&](QWidget* window) {
            portWhileRunning = QString::fromStdString(CommPortName());
            window->close();
        });
        app.InitInstance();
        QDir(file).removeRecursively();

        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].title, QStringLiteral("Loamer"));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(answerer.boxes[0].text, QString::fromStdString(SettingsProblemText(SettingsStatus::Unreadable)));
        QCOMPARE(portWhileRunning, QStringLiteral("COM1"));
        QVERIFY(answerer.unexpected.isEmpty());
    }
};

SHELL_TEST(StartupTest);
#include "startup_test.moc"
