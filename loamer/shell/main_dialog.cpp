#include "loamer/shell/main_dialog.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSocketNotifier>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>

#include "loamer/link/command_scope.h"
#include "loamer/link/comm_port.h"
#include "loamer/link/status_views.h"
#include "loamer/product.h"
#include "loamer/retrieval/memory_dump.h"
#include "loamer/retrieval/retrieve_command.h"
#include "loamer/shell/about_dialog.h"
#include "loamer/shell/dialog_units.h"
#include "loamer/shell/program_icon.h"
#include "loamer/shell/set_time_dialog.h"
#include "loamer/upload/cal_install.h"
#include "loamer/upload/copy_data.h"
#include "loamer/upload/lin_install.h"
#include "loamer/version.h"

namespace loamer {

namespace {

constexpr int kClockPeriodMs = 1000;
// The status box holds the status text up to this many characters.
constexpr std::size_t kStatusTextLimit = 30;

struct ButtonRow {
    const char* name;
    const char* text;
    const char* tip;
    int x, y, width, height;
};

// Down the Get column, then across: the buttons are created in this order, which is the Tab order.
// Places in dialog units.
constexpr ButtonRow kButtons[] = {
    {"version", "&Version", "View TQ4 meter version", 25, 29, 76, 16},
    {"battery", "&Battery", "View TQ4 meter battery status", 25, 49, 76, 16},
    {"memory", "&Memory", "View TQ4 meter memory status", 25, 71, 76, 16},
    {"tablesStatus", "&Tables Status", "View status of linearisation tables installed in TQ4 meter", 25, 93, 76, 16},
    {"retrieve", "&Retrieve", "Collect readings from TQ4 meter to disk file", 131, 22, 94, 89},
    {"about", "&About", "Display version number and copyright notice for this program", 250, 24, 66, 16},
    {"exit", "E&xit", "Exit this program", 250, 94, 66, 16},
};

// Tools, Debug: its prompt, shown as the item's tooltip and status tip.
constexpr char kDebugPrompt[] = "Save whole of TQ4 memory to file.";

struct CalibrationItem {
    const char* name;
    const char* text;
    std::uint8_t probeKind;
};
constexpr CalibrationItem kCalibrationItems[] = {
    {"calibrationOrbis", "&OB3 Orbis Probe...", kOrbisProbe},
    {"calibrationFlx", "&FLX Sensor...", kFlxSensor},
};

}  // namespace

CLOAMERDlg::CLOAMERDlg(QWidget* parent) : QDialog(parent), ui_(this) {
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* client = new QWidget(this);
    layout->addWidget(client);
    BuildMenu();
    BuildControls(client);

    ui_.SetProgressBar(progress_);
    clockTimer_.setInterval(kClockPeriodMs);
    connect(&clockTimer_, &QTimer::timeout, this, &CLOAMERDlg::OnClockTimer);

    // Served from the event loop, and from the pump of any wait (a meter read, a send).
    if (channel_.ReadyDescriptor() >= 0) {
        channelReady_ = std::make_unique<QSocketNotifier>(channel_.ReadyDescriptor(), QSocketNotifier::Read);
        connect(channelReady_.get(), &QSocketNotifier::activated, this, &CLOAMERDlg::OnChannelReady);
    }
    // The hidden test command: a shortcut of the dialog only.
    auto* testRequest = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_X), this);
    testRequest->setObjectName(QStringLiteral("testRequest"));
    connect(testRequest, &QShortcut::activated, this, &CLOAMERDlg::OnTestRequest);
}

CLOAMERDlg::~CLOAMERDlg() {
    clockTimer_.stop();
    CloseCommPort();
    if (&Ui() == &ui_) SetUi(nullptr);
}

void CLOAMERDlg::BuildMenu() {
    auto* bar = new QMenuBar(this);
    bar->setNativeMenuBar(false);
    layout()->setMenuBar(bar);

    auto add = [this](QMenu* menu, const char* name, const char* text, void (CLOAMERDlg::*slot)()) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setObjectName(QString::fromLatin1(name));
        if (slot) connect(action, &QAction::triggered, this, slot);
        return action;
    };

    QMenu* view = bar->addMenu(QStringLiteral("Vie&w"));
    add(view, "viewVersion", "&Version", &CLOAMERDlg::OnVersion);
    add(view, "viewBattery", "&Battery", &CLOAMERDlg::OnBattery);
    add(view, "viewMemory", "&Memory", &CLOAMERDlg::OnMemory);
    add(view, "viewTablesStatus", "&Tables Status", &CLOAMERDlg::OnTablesStatus);

    QMenu* settings = bar->addMenu(QStringLiteral("&Settings"));
    add(settings, "serialPort", "&Serial Port", &CLOAMERDlg::OnSerialPort);
    settings->addSeparator();
    add(settings, "clock", "&Clock", &CLOAMERDlg::OnClock);

    QAction* retrieve = bar->addAction(QStringLiteral("&Retrieve"));
    retrieve->setObjectName(QStringLiteral("menuRetrieve"));
    connect(retrieve, &QAction::triggered, this, &CLOAMERDlg::OnRetrieve);

    QMenu* tools = bar->addMenu(QStringLiteral("T&ools"));
    tools->setToolTipsVisible(true);
    QAction* debug = add(tools, "debug", "&Debug", &CLOAMERDlg::OnDebug);
    debug->setToolTip(QString::fromLatin1(kDebugPrompt));
    debug->setStatusTip(QString::fromLatin1(kDebugPrompt));

    QMenu* install = bar->addMenu(QStringLiteral("&Install"));
    QMenu* tables = install->addMenu(QStringLiteral("&Linearisation Table"));
    for (const LinSensor& sensor : kLinSensors) {
        if (sensor.separatorBefore) tables->addSeparator();
        QAction* action = tables->addAction(QString::fromLatin1(sensor.menuText));
        action->setObjectName(QStringLiteral("table") + QString::fromLatin1(sensor.name));
        const char code = sensor.code;
        connect(action, &QAction::triggered, this, [this, code] { OnInstallTable(code); });
    }
    QMenu* calibration = install->addMenu(QStringLiteral("&Sensor Calibration"));
    for (const CalibrationItem& item : kCalibrationItems) {
        QAction* action = add(calibration, item.name, item.text, nullptr);
        const std::uint8_t kind = item.probeKind;
        connect(action, &QAction::triggered, this, [this, kind] { OnInstallCalibration(kind); });
    }

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    add(help, "helpAbout", "&About", &CLOAMERDlg::OnAbout);

    QAction* exit = bar->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("menuExit"));
    connect(exit, &QAction::triggered, this, &CLOAMERDlg::OnExit);
}

void CLOAMERDlg::BuildControls(QWidget* client) {
    const DialogUnits du(font());
    client->setFixedSize(du.Size(323, 145));

    auto* get = new QGroupBox(QStringLiteral("Get"), client);
    get->setGeometry(du.Rect(6, 17, 113, 97));

    QWidget* previous = nullptr;
    for (const ButtonRow& row : kButtons) {
        auto* button = new QPushButton(QString::fromLatin1(row.text), client);
        button->setObjectName(QString::fromLatin1(row.name));
        button->setToolTip(QString::fromLatin1(row.tip));
        button->setGeometry(du.Rect(row.x, row.y, row.width, row.height));
        button->setAutoDefault(false);
        if (previous) setTabOrder(previous, button);
        previous = button;
    }
    auto button = [client](const char* name) { return client->findChild<QPushButton*>(QString::fromLatin1(name)); };
    connect(button("version"), &QPushButton::clicked, this, &CLOAMERDlg::OnVersion);
    connect(button("battery"), &QPushButton::clicked, this, &CLOAMERDlg::OnBattery);
    connect(button("memory"), &QPushButton::clicked, this, &CLOAMERDlg::OnMemory);
    connect(button("tablesStatus"), &QPushButton::clicked, this, &CLOAMERDlg::OnTablesStatus);
    connect(button("retrieve"), &QPushButton::clicked, this, &CLOAMERDlg::OnRetrieve);
    connect(button("about"), &QPushButton::clicked, this, &CLOAMERDlg::OnAbout);
    connect(button("exit"), &QPushButton::clicked, this, &CLOAMERDlg::OnExit);

    // Enter anywhere in the dialog runs Retrieve: the other buttons are not auto-default, so
    // they leave Enter to the default button.
    QPushButton* retrieve = button("retrieve");
    retrieve->setDefault(true);
    // Alt+R and Alt+X belong to the menu bar's items of the same commands; two owners of one
    // mnemonic would make each press only move the focus.
    retrieve->setShortcut(QKeySequence());
    button("exit")->setShortcut(QKeySequence());

    auto* icon = new QLabel(client);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setGeometry(du.Rect(272, 54, 20, 20));
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(ProgramIconPixmap(std::min(32, std::min(du.X(20), du.Y(20)))));

    progress_ = new QProgressBar(client);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setGeometry(du.Rect(133, 120, 183, 15));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->hide();

    status_ = new QLabel(client);
    status_->setObjectName(QStringLiteral("status"));
    status_->setGeometry(du.Rect(7, 120, 111, 15));
    status_->setAlignment(Qt::AlignCenter);
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
}

ListenStatus CLOAMERDlg::ListenForRequests() {
    const ListenStatus status = channel_.Listen(kProgramTitle);
    if (status != ListenStatus::Listening)
        ui_.MessageBox(ListenProblemText(status, channel_, kProgramTitle), BoxStyle::Exclamation);
    return status;
}

void CLOAMERDlg::ShowPortName(const std::string& name) {
    status_->setToolTip(QStringLiteral("Port: ") + FromProgramText(name));
}

void CLOAMERDlg::ShowClock(const ClockReading& reading) {
    shownClock_ = reading;
    status_->setText(FromProgramText(std::string_view(reading.text).substr(0, kStatusTextLimit)));
}

bool CLOAMERDlg::ClockTimerRunning() const { return clockTimer_.isActive(); }

void CLOAMERDlg::StartClockTimer() {
    ++clockTimerStarts_;
    clockTimer_.start();
}

void CLOAMERDlg::OnClockTimer() { ClockTick(*this); }

template <typename Command>
void CLOAMERDlg::RunMeterCommand(Command command) {
    {
        MeterCommandScope scope;
        if (!scope.Entered()) {
            QApplication::beep();
            return;
        }
        command();
    }
    ui_.ClearAbortRequest();
    FinishPendingClose();
}

void CLOAMERDlg::StatusView(ErrorCode (*query)(std::string&)) {
    RunMeterCommand([this, query] {
        std::string text;
        if (ErrorCode rc = query(text); rc != ERR_NONE) {
            ShowErrorReport(rc);
            return;
        }
        Ui().MessageBox(text, BoxStyle::Information);
        RefreshClockDisplay(*this);
    });
}

void CLOAMERDlg::OnVersion() { StatusView(QueryVersionText); }
void CLOAMERDlg::OnBattery() { StatusView(QueryBatteryText); }
void CLOAMERDlg::OnMemory() { StatusView(QueryMemoryText); }
void CLOAMERDlg::OnTablesStatus() { StatusView(QueryTablesText); }

void CLOAMERDlg::OnRetrieve() {
    RunMeterCommand([this] {
        std::string path;
        if (!Ui().ChooseSaveFile(kRetrieveFileDialog, path)) return;
        ErrorCode code = ERR_NONE;
        switch (RetrieveIntoFile(path, LOAMER_FILE_VERSION, code)) {
        case RetrieveOutcome::Failed: ShowErrorReport(code); return;
        case RetrieveOutcome::CloseFailed: return;  // the system's message said it
        case RetrieveOutcome::Saved:
            Ui().MessageBox(kReadingsSavedText, BoxStyle::Plain);
            RefreshClockDisplay(*this);
            return;
        }
    });
}

// The install and Debug commands show every message themselves; the dialog has nothing to add.
void CLOAMERDlg::OnInstallTable(char sensorCode) {
    RunMeterCommand([this, sensorCode] { (void)InstallLinTable(sensorCode, *this); });
}

void CLOAMERDlg::OnInstallCalibration(std::uint8_t probeKind) {
    RunMeterCommand([this, probeKind] { (void)InstallCalibration(probeKind, *this); });
}

void CLOAMERDlg::OnDebug() {
    RunMeterCommand([this] { (void)SaveDebugReport(*this); });
}

void CLOAMERDlg::OnClock() {
    RunMeterCommand([this] { ClockCommand(*this, this); });
}

void CLOAMERDlg::OnSerialPort() {
    if (MeterCommandRunning()) {
        QApplication::beep();
        return;
    }
    emit serialPortRequested();
}

void CLOAMERDlg::OnAbout() { ShowAboutBox(this); }

void CLOAMERDlg::OnChannelReady() {
    channel_.ServeReady();
    FinishPendingClose();
}

// Outside any meter command: a request it sends to this program is served while it waits.
void CLOAMERDlg::OnTestRequest() {
    ++testRequestsWaiting_;
    const TestRequestOutcome outcome = SendTestRequest(channel_);
    --testRequestsWaiting_;
    if (outcome.end == TestRequestEnd::CommandRunning) QApplication::beep();
    FinishPendingClose();
}

void CLOAMERDlg::OnExit() { CloseWhenIdle(Accepted); }

void CLOAMERDlg::reject() { CloseWhenIdle(Rejected); }

void CLOAMERDlg::EndSession() {
    sessionEnded_ = true;
    ui_.SetUnattended(true);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog && dialog != this && dialog->isVisible() && dialog->isModal()) dialog->reject();
    }
    CloseWhenIdle(Rejected);
}

void CLOAMERDlg::CloseWhenIdle(int result) {
    if (!MeterCommandRunning()) {
        // The program that the test command waits for may never answer: the wait ends now.
        if (testRequestsWaiting_ > 0) ui_.RequestAbort();
        QDialog::done(result);
        return;
    }
    closePending_ = true;
    closeResult_ = result;
    ui_.RequestAbort();
}

void CLOAMERDlg::FinishPendingClose() {
    if (!closePending_ || MeterCommandRunning()) return;
    closePending_ = false;
    QDialog::done(closeResult_);
}

}  // namespace loamer
