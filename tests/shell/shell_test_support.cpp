#include "tests/shell/shell_test.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <clocale>
#include <cstdlib>
#include <ctime>

#include "loamer/link/comm_port.h"

namespace loamer {

namespace {

std::vector<TestFactory>& Factories() {
    static std::vector<TestFactory> factories;
    return factories;
}

}  // namespace

int RegisterShellTest(TestFactory factory) {
    Factories().push_back(factory);
    return static_cast<int>(Factories().size());
}

std::vector<TestFactory> RegisteredShellTests() { return Factories(); }

ModalAnswerer::ModalAnswerer(Handler handler) : handler_(std::move(handler)) {
    poll_.setInterval(5);
    connect(&poll_, &QTimer::timeout, this, &ModalAnswerer::Poll);
    poll_.start();
}

// The answer runs from a timer of its own: a timer does not fire again while its own slot
// runs, and the answer may open further windows that need answering.
void ModalAnswerer::Poll() {
    QWidget* window = QApplication::activeModalWidget();
    if (!window || answering_.contains(window)) return;
    answering_.insert(window);
    QPointer<QWidget> guard(window);
    QTimer::singleShot(0, this, [this, guard, window] {
        if (guard && guard->isVisible()) Answer(guard);
        answering_.remove(window);
    });
}

void ModalAnswerer::Answer(QWidget* window) {
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
        boxes.push_back({box->windowTitle(), box->text(), box->icon()});
        if (onBox) onBox();
        // A question (replace an existing file?) is answered Yes.
        QAbstractButton* yes = box->button(QMessageBox::Ok);
        if (!yes) yes = box->button(QMessageBox::Yes);
        if (yes) yes->click();
        return;
    }
    if (handler_) handler_(window);
    // A window the handler did not expect (or failed on) is cancelled so that the test ends.
    if (window->isVisible()) {
        unexpected << QString::fromLatin1(window->metaObject()->className());
        if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->reject();
    }
}

ModalAnswerer::Handler ChooseFileAs(const QString& path, QStringList* titles, QStringList* proposed) {
    return [path, titles, proposed](QWidget* window) {
        auto* dialog = qobject_cast<QFileDialog*>(window);
        if (!dialog) return;
        if (titles) *titles << dialog->windowTitle();
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (proposed) *proposed << (name ? name->text() : QStringLiteral("<no name field>"));
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        if (!name) return;  // left open: recorded as unexpected
        name->setText(path);
        static_cast<QDialog*>(dialog)->accept();  // as the Save button does
    };
}

// A slot's answer to one part of the tables status: a ready two-point table, or '!' for an
// empty slot.
std::string FakeMeter::TableAnswer(char part, char slot) const {
    if (tableSlots.find(slot) == std::string::npos) return "!\r\n";
    const std::string lead = std::string("B") + part + slot;
    if (part == '1') return lead + "2" + "Factory   " + "02" + "\r\n";
    std::string points;
    for (int i = 0; i < 10; ++i) points += i < 2 && part == '2' ? "0100,002.000" : "0000,000.000";
    return lead + points + "\r\n";
}

FakeMeter::FakeMeter(FakeBackend& backend) : backend_(backend) {
    backend_.onWrite = [this](const std::string& request) {
        requests.push_back(request);
        if (onRequest) onRequest(request);
        if (silent) return;
        if (request == "?\r\n") {
            backend_.SendLater("A\r\n", 20);
        } else if (request == "I\r\n") {
            backend_.SendLater(status, 30);
        } else if (request == "F\r\n") {
            backend_.SendLater(clock, 30);
        } else if (request.size() == 18 && request[0] == 'H') {
            clock = request;
            backend_.SendLater("A\r\n", 20);
        } else if (request.size() == 5 && request[0] == 'T') {
            backend_.SendLater(TableAnswer(request[1], request[2]), 20);
        } else if ((request.size() == 18 || request.size() == 125) && request[0] == 'B') {
            backend_.SendLater("A\r\n", 20);
        } else if (request.size() == 220 && request[0] == 'W') {
            backend_.SendLater("A\r\n", 20);
        } else if (request.size() == 9 && request[0] == 'E') {
            const std::size_t block = std::stoul(request.substr(2, 5));
            if ((block + 1) * 128 <= memory.size())
                backend_.SendLater("G2" + request.substr(2, 5) + memory.substr(block * 128, 128) + "\r\n", 30);
        } else if (request.size() == 162 && request[0] == 'X') {
            backend_.SendLater(xReply, 30);
        } else if (request.size() == 8 && request[0] == 'R') {
            const auto found = records.find(static_cast<unsigned>(std::stoul(request.substr(1, 5))));
            if (found == records.end()) {
                backend_.SendLater("Z0\r\n", 20);
            } else if (!found->second.empty()) {
                backend_.SendLater(found->second, 30);
            }
        }
    };
}

FakeLink::FakeLink() : previousBackend(SetBackend(&backend)) { SetCommPortName("COM1"); }

FakeLink::~FakeLink() {
    CloseCommPort();
    SetBackend(previousBackend);
}

bool MainDialogFixture::SetUp(bool withFakeLink) {
    if (withFakeLink) link_ = std::make_unique<FakeLink>();
    dialog_ = std::make_unique<CLOAMERDlg>();
    previousUi_ = SetUi(&dialog_->uiServices());
    dialog_->show();
    return QTest::qWaitForWindowExposed(dialog_.get());
}

// The dialog closes the port on its way out, while the fake backend still exists.
void MainDialogFixture::TearDown() {
    DestroyDialog();
    link_.reset();
}

void MainDialogFixture::DestroyDialog() {
    if (!dialog_) return;
    dialog_.reset();
    SetUi(previousUi_);
}

QPushButton* MainDialogFixture::Button(const char* name) {
    return dialog_->findChild<QPushButton*>(QString::fromLatin1(name));
}

QAction* MainDialogFixture::Action(const char* name) {
    return dialog_->findChild<QAction*>(QString::fromLatin1(name));
}

QString MainDialogFixture::StatusText() { return loamer::StatusText(dialog_.get()); }

ScopedTimeZone::ScopedTimeZone(const char* tz) : previous_(qgetenv("TZ")), had_(qEnvironmentVariableIsSet("TZ")) {
    qputenv("TZ", tz);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (had_) {
        qputenv("TZ", previous_);
    } else {
        qunsetenv("TZ");
    }
    tzset();
}

ScopedTimeLocale::ScopedTimeLocale(const char* name) : previous_(std::setlocale(LC_TIME, nullptr)) {
    ok_ = std::setlocale(LC_TIME, name) != nullptr;
}

ScopedTimeLocale::~ScopedTimeLocale() { std::setlocale(LC_TIME, previous_.c_str()); }

QString StatusText(QWidget* mainDialog) {
    auto* status = mainDialog->findChild<QLabel*>(QStringLiteral("status"));
    return status ? status->text() : QStringLiteral("<no status box>");
}

}  // namespace loamer
