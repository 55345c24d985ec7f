// The Install menu and Tools > Debug in the main dialog: the items as the menu shows them, each
// table item's sensor code on the wire, a calibration's 'W' message, the refusal while readings
// are stored, and a whole memory dump into the chosen file.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "loamer/link/error_codes.h"
#include "loamer/retrieval/memory_dump.h"
#include "loamer/upload/lin_install.h"
#include "tests/shell/shell_test.h"
#include "tests/support/child_process.h"

using namespace loamer;
using loamer::testing::ReadFile;
using loamer::testing::ScratchDir;

namespace {

constexpr char kEverySlot[] = "12469CDEGF";
constexpr char kRefreshedClock[] = "2024/03/05  14:07:09";

QString Report(ErrorCode code) { return QString::fromStdString(FormatErrorReport(code)); }

QString Example(const QString& name) { return QStringLiteral(LOAMER_EXAMPLES_DIR "/") + name; }

// A menu's items as shown: "-" for a separator, " (disabled)" after an item that is.
QStringList Items(const QMenu* menu) {
    QStringList items;
    if (!menu) return {QStringLiteral("<no menu>")};
    for (const QAction* action : menu->actions()) {
        QString item = action->isSeparator() ? QStringLiteral("-") : action->text();
        if (!action->isEnabled()) item += QStringLiteral(" (disabled)");
        items << item;
    }
    return items;
}

QMenu* Menu(QWidget* dialog, const QString& title) {
    for (QMenu* menu : dialog->findChildren<QMenu*>()) {
        if (menu->title() == title) return menu;
    }
    return nullptr;
}

// Part of a request, printable when a comparison fails.
QByteArray Bytes(const std::string& request, std::size_t at, std::size_t count) {
    return QByteArray::fromStdString(request.substr(at, count));
}

// Chooses the menu item of that object name; false when the dialog has none.
bool Trigger(MainDialogFixture& f, const QString& name) {
    QAction* action = f.Action(qPrintable(name));
    if (!action) return false;
    action->trigger();
    return true;
}

std::vector<std::string> RequestsStartingWith(const FakeMeter& meter, char letter) {
    std::vector<std::string> found;
    for (const std::string& request : meter.requests) {
        if (!request.empty() && request[0] == letter) found.push_back(request);
    }
    return found;
}

}  // namespace

class InstallCommandTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(f_.SetUp()); }
    void cleanup() { f_.TearDown(); }

    void itemsAreShownInOrderAndEnabled() {
        QWidget* dialog = &f_.dialog();
        QCOMPARE(Items(Menu(dialog, QStringLiteral("&Linearisation Table"))),
                 QStringList({"KR&5...", "KR&6...", "&GX420...", "GX&630...", "GX310 / GX310T", "KR7", "KR6 Special",
                              "-", "&VP4...", "V&P4 Special...", "VP5..."}));
        QCOMPARE(Items(Menu(dialog, QStringLiteral("&Sensor Calibration"))),
                 QStringList({"&OB3 Orbis Probe...", "&FLX Sensor..."}));
        QCOMPARE(Items(Menu(dialog, QStringLiteral("T&ools"))), QStringList{QStringLiteral("&Debug")});
        QCOMPARE(f_.Action("debug")->toolTip(), QStringLiteral("Save whole of TQ4 memory to file."));
    }

    // Each item proposes its file name, sends the chosen table with its own sensor code in all
    // three messages, shows the sent box and then the meter's clock.
    void tableItemSendsItsSensorCode_data() {
        QTest::addColumn<QString>("sensor");
        QTest::addColumn<char>("code");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("KR5") << "KR5" << '1' << "KR5.LIN";
        QTest::newRow("KR6") << "KR6" << '2' << "KR6.LIN";
        QTest::newRow("KR6 Special") << "KR6-Special" << 'F' << "KR6.LIN";
        QTest::newRow("KR7") << "KR7" << 'G' << "KR7.LIN";
        QTest::newRow("VP4") << "VP4" << '4' << "VP4.LIN";
        QTest::newRow("VP4 Special") << "VP4-Special" << '6' << "";
        QTest::newRow("VP5") << "VP5" << '9' << "VP5.LIN";
        QTest::newRow("GX420") << "GX420" << 'C' << "GX420.LIN";
        QTest::newRow("GX630") << "GX630" << 'D' << "GX630.LIN";
        QTest::newRow("GX310") << "GX310" << 'E' << "GX310.LIN";
    }

    void tableItemSendsItsSensorCode() {
        QFETCH(QString, sensor);
        QFETCH(char, code);
        QFETCH(QString, proposed);
        FakeMeter& meter = f_.link().meter;
        meter.tableSlots = kEverySlot;
        const QString file = Example(sensor + QStringLiteral(".LIN"));
        QStringList titles;
        QStringList names;
        QString statusAtBox = QStringLiteral("<no box>");
        ModalAnswerer answerer(ChooseFileAs(file, &titles, &names));
        answerer.onBox = [&] { statusAtBox = f_.StatusText(); };
        QVERIFY(Trigger(f_, QStringLiteral("table") + sensor));

        QCOMPARE(titles, QStringList{QStringLiteral("Open")});
        QCOMPARE(names, QStringList{proposed});
        const std::vector<std::string> sent = RequestsStartingWith(meter, 'B');
        QCOMPARE(sent.size(), std::size_t{3});
        QCOMPARE(sent[0].size(), std::size_t{18});
        QCOMPARE(Bytes(sent[0], 0, 4), QByteArray("B1") + code + '2');
        // The file's title line reached the header.
        const std::string title = ReadFile(file.toStdString()).substr(0, 10);
        QCOMPARE(sent[0].substr(4, 10).c_str(), title.substr(0, title.find('\n')).c_str());
        QCOMPARE(Bytes(sent[1], 0, 3), QByteArray("B2") + code);
        QCOMPARE(Bytes(sent[2], 0, 3), QByteArray("B3") + code);
        QCOMPARE(sent[2].size(), std::size_t{125});

        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, QString::fromLatin1(kLinSentText));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::NoIcon);
        QCOMPARE(statusAtBox, QString());
        QCOMPARE(f_.StatusText(), QString::fromLatin1(kRefreshedClock));
        QVERIFY(answerer.unexpected.isEmpty());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QVERIFY(!f_.dialog().CommandRunning());
    }

    void calibrationSendsItsProbeLetter_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("file");
        QTest::addColumn<char>("letter");
        QTest::newRow("Orbis") << "calibrationOrbis" << "orbis.cal" << '2';
        QTest::newRow("FLX") << "calibrationFlx" << "flx.cal" << '3';
    }

    void calibrationSendsItsProbeLetter() {
        QFETCH(QString, item);
        QFETCH(QString, file);
        QFETCH(char, letter);
        QStringList names;
        ModalAnswerer answerer(ChooseFileAs(Example(file), nullptr, &names));
        QVERIFY(Trigger(f_, item));

        QCOMPARE(names, QStringList{QString()});
        const std::vector<std::string> sent = RequestsStartingWith(f_.link().meter, 'W');
        QCOMPARE(sent.size(), std::size_t{1});
        QCOMPARE(sent[0].size(), std::size_t{220});
        QCOMPARE(sent[0][1], letter);
        QCOMPARE(QString::fromStdString(sent[0].substr(2, 12)), file.chopped(4).leftJustified(12));
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text,
                 QStringLiteral("Orbis/FLX calibration file '%1' installed\nin the TQ4, ok.").arg(file));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Information);
        QCOMPARE(f_.StatusText(), QString::fromLatin1(kRefreshedClock));
    }

    // Nothing is asked for and nothing sent: neither the tables status nor a file dialog.
    void readingsStoredGiveReport50First_data() {
        QTest::addColumn<QString>("item");
        QTest::newRow("table") << "tableKR5";
        QTest::newRow("calibration") << "calibrationFlx";
    }

    void readingsStoredGiveReport50First() {
        QFETCH(QString, item);
        FakeMeter& meter = f_.link().meter;
        meter.tableSlots = kEverySlot;
        meter.status.replace(20, 6, "000012");
        QStringList titles;
        ModalAnswerer answerer(ChooseFileAs(Example(QStringLiteral("KR5.LIN")), &titles));
        QVERIFY(Trigger(f_, item));

        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, Report(ERR_READINGS_STORED));
        QVERIFY(titles.isEmpty());
        QVERIFY(answerer.unexpected.isEmpty());
        for (const std::string& request : meter.requests)
            QVERIFY2(request == "?\r\n" || request == "I\r\n", request.c_str());
        QCOMPARE(f_.StatusText(), QString());
    }

private:
    MainDialogFixture f_;
};

class DebugCommandTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(f_.SetUp()); }
    void cleanup() { f_.TearDown(); }

    void wholeMemoryGoesToTheChosenFile() {
        std::string memory(32768, '\0');
        // Every byte value, zero and line ends among them, at a different place in each block.
        for (std::size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<char>((i * 7 + i / 128) & 0xFF);
        FakeMeter& meter = f_.link().meter;
        meter.memory = memory;
        ScratchDir dir;
        const std::string path = dir / "SUPPORT.BIN";
        QStringList titles;
        QStringList names;
        ModalAnswerer answerer(ChooseFileAs(QString::fromStdString(path), &titles, &names));
        QVERIFY(Trigger(f_, QStringLiteral("debug")));

        QCOMPARE(titles, QStringList{QStringLiteral("Save As")});
        QCOMPARE(names, QStringList{QStringLiteral("TQ4 DEBUG.BIN")});
        const std::string written = ReadFile(path);
        QCOMPARE(written.size(), memory.size());
        QVERIFY(written == memory);
        const std::vector<std::string> blocks = RequestsStartingWith(meter, 'E');
        QCOMPARE(blocks.size(), std::size_t{256});
        QCOMPARE(Bytes(blocks.front(), 0, 9), QByteArray("E200000\r\n"));
        QCOMPARE(Bytes(blocks.back(), 0, 9), QByteArray("E200255\r\n"));
        QCOMPARE(answerer.boxes.size(), std::size_t{1});
        QCOMPARE(answerer.boxes[0].text, QString::fromStdString(DebugSavedText(path)));
        QCOMPARE(answerer.boxes[0].icon, QMessageBox::Information);
        QCOMPARE(f_.StatusText(), QString::fromLatin1(kRefreshedClock));
        QVERIFY(f_.dialog().findChild<QProgressBar*>(QStringLiteral("progress"))->isHidden());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

private:
    MainDialogFixture f_;
};

SHELL_TEST(InstallCommandTest);
SHELL_TEST(DebugCommandTest);
#include "install_command_test.moc"
