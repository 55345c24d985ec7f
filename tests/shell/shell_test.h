// Helpers of the desktop program's tests: a registry of Qt Test classes run by one main, an
// answerer for the modal windows that commands open, a scripted meter on the fake backend, the
// main dialog set up as the program shows it, and scoped changes to the time zone and date order.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "loamer/link/serial_backend.h"
#include "loamer/shell/main_dialog.h"
#include "tests/support/fake_backend.h"
#include "tests/support/fake_clock.h"

namespace loamer {

using TestFactory = std::unique_ptr<QObject> (*)();
int RegisterShellTest(TestFactory factory);

#define SHELL_TEST(Class)                                \
    [[maybe_unused]] static const int Class##Registered = \
        ::loamer::RegisterShellTest([]() -> std::unique_ptr<QObject> { return std::make_unique<Class>(); })

// Answers every modal window that opens while it lives, from inside the window's own event
// loop: message boxes are recorded and closed with OK (a question with Yes), other windows go
// to the handler (which must close them; without a handler they are cancelled and recorded as
// unexpected).
class ModalAnswerer final : public QObject {
public:
    using Handler = std::function<void(QWidget* window)>;
    explicit ModalAnswerer(Handler handler = {});

    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };
    std::vector<Box> boxes;
    QStringList unexpected;
    // Called as each box is recorded, before it is closed: what the program showed meanwhile.
    std::function<void()> onBox;

private:
    void Poll();
    void Answer(QWidget* window);

    Handler handler_;
    QTimer poll_;
    QSet<QWidget*> answering_;
};

// The handler of a file dialog: types path and accepts, or cancels when path is empty. The
// dialog's title is added to titles, the file name it proposed to proposed.
ModalAnswerer::Handler ChooseFileAs(const QString& path, QStringList* titles = nullptr,
                                    QStringList* proposed = nullptr);

// A meter on the fake backend: answers the handshake, the status request, the clock request
// and a clock set (keeping the clock that was set), the tables status, table and calibration
// uploads (accepted, not kept), memory blocks and the X exchange. requests lists what it
// received.
class FakeMeter {
public:
    explicit FakeMeter(FakeBackend& backend);

    std::string status = std::string("N") + "V2.13 " + " 87" + "28000" + "02000" + "000000" + "\r\n";
    std::string clock = "H220240305140709\r\n";
    // Results 1.5, -2.25, 3 and 4.
    std::string xReply = "x0001.500-0002.25+3.00000 4.00000\r\n";
    bool silent = false;
    std::vector<std::string> requests;
    // Stored records by number ("Z1\r\n" and the body); a number not listed is the end
    // record, an empty reply leaves the request unanswered.
    std::map<unsigned, std::string> records;
    // The ids of the table slots that hold a table; the other slots are empty.
    std::string tableSlots;
    // The external memory, 128 bytes a block; a block past its end is not answered.
    std::string memory;
    // Called with each request as it arrives.
    std::function<void(const std::string& request)> onRequest;

private:
    std::string TableAnswer(char part, char slot) const;

    FakeBackend& backend_;
};

// The fake backend and clock installed for a scope, the port named COM1.
struct FakeLink {
    FakeLink();
    ~FakeLink();
    FakeClock clock;
    FakeBackend backend{clock};
    FakeMeter meter{backend};
    SerialBackend* previousBackend;
    ScopedClock clockScope{&clock};
};

// The main dialog shown with its Qt services installed, for one test function: SetUp from
// init(), TearDown from cleanup(). With a fake link the port is COM1 on the fake backend and
// clock, with a scripted meter; without one the link keeps its backend and port name.
class MainDialogFixture {
public:
    // False when the window was not exposed.
    bool SetUp(bool withFakeLink = true);
    void TearDown();
    // Destroys the dialog (as the program does when it closes) and keeps the fake link.
    void DestroyDialog();

    CLOAMERDlg& dialog() { return *dialog_; }
    FakeLink& link() { return *link_; }
    // Controls and menu commands by object name; a missing one fails the test where it is used.
    QPushButton* Button(const char* name);
    QAction* Action(const char* name);
    QString StatusText();

private:
    std::unique_ptr<FakeLink> link_;
    std::unique_ptr<CLOAMERDlg> dialog_;
    UiServices* previousUi_ = nullptr;
};

// TZ for a scope (POSIX form, "UTC0", "IST-5:30").
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();

private:
    QByteArray previous_;
    bool had_;
};

// LC_TIME for a scope: decides the computer's date order. Fails the test when the locale is
// missing (./run setup generates de_DE.UTF-8).
class ScopedTimeLocale {
public:
    explicit ScopedTimeLocale(const char* name);
    ~ScopedTimeLocale();
    bool ok() const { return ok_; }

private:
    std::string previous_;
    bool ok_;
};

// The status box's text.
QString StatusText(QWidget* mainDialog);

}  // namespace loamer
