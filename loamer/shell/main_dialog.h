// CLOAMERDlg, the program's one window: menu, command buttons, progress bar and the status box
// that shows the meter's clock. It routes each command to its operation and shows the outcome.
//
// Commands run one at a time: while a meter command waits for the meter, the read pumps events,
// so a click can arrive in the middle of it. Meter commands, Serial Port and Clock are then
// refused with a beep; About still opens; Exit and the close box abort the running exchange
// (as Escape would) and close the dialog once the command has shown its report. A termination
// signal closes it the same way, without waiting for anyone to close a window.
//
// The dialog is also the program's gateway for other programs: its channel answers their
// requests for the meter (each waits for a running command to end), and the hidden test command
// (Ctrl+Shift+X, on no menu or button) sends an X request to the program titled "LOAMER".
#pragma once

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "loamer/link/command_scope.h"
#include "loamer/link/error_codes.h"
#include "loamer/shell/qt_ui.h"
#include "loamer/upload/meter_clock.h"
#include "loamer/upload/posix/copy_data_channel.h"

class QAction;
class QLabel;
class QProgressBar;
class QPushButton;
class QSocketNotifier;

namespace loamer {

class CLOAMERDlg final : public QDialog, public ClockDisplay {
    Q_OBJECT

public:
    explicit CLOAMERDlg(QWidget* parent = nullptr);
    // Closes the serial port and stops the clock timer; the channel removes its socket.
    ~CLOAMERDlg() override;

    // Answers requests from other programs as the program's title from now on. When a running
    // program already answers as that title, or the system refuses, it says so once (a box, or
    // standard error once the session is ending) and the program runs on without answering.
    ListenStatus ListenForRequests();
    const CopyDataChannel& requestChannel() const { return channel_; }

    // The port in use, shown as the status box's tooltip.
    void ShowPortName(const std::string& name);

    // The interface services bound to this dialog's bar and boxes; the application installs them.
    QtUi& uiServices() { return ui_; }

    // ClockDisplay
    void ShowClock(const ClockReading& reading) override;
    const ClockReading& ShownClock() const override { return shownClock_; }
    bool ClockTimerRunning() const override;
    void StartClockTimer() override;

    bool CommandRunning() const { return MeterCommandRunning(); }
    // How often the one-second timer was started: once for the life of the dialog.
    int clockTimerStarts() const { return clockTimerStarts_; }

    // True once EndSession has run: the dialog is closed or closing.
    bool SessionEnded() const { return sessionEnded_; }

signals:
    // Settings, Serial Port: the application object handles it.
    void serialPortRequested();

public slots:
    // Escape and the close box.
    void reject() override;
    // The session ends (SIGTERM, SIGHUP): windows open over the dialog are cancelled, later
    // reports go to standard error, a running command is aborted, and the dialog closes once
    // it has ended; its destructor then closes the port.
    void EndSession();

private slots:
    void OnVersion();
    void OnBattery();
    void OnMemory();
    void OnTablesStatus();
    void OnRetrieve();
    void OnAbout();
    void OnDebug();
    void OnClock();
    void OnSerialPort();
    void OnExit();
    void OnClockTimer();
    void OnChannelReady();
    void OnTestRequest();

private:
    void BuildMenu();
    void BuildControls(QWidget* client);
    // Runs a meter command unless one is running; then honours a close asked for meanwhile.
    template <typename Command>
    void RunMeterCommand(Command command);
    void StatusView(ErrorCode (*query)(std::string&));
    void OnInstallTable(char sensorCode);
    void OnInstallCalibration(std::uint8_t probeKind);
    // Closes now, or after the running command once its exchange has been aborted.
    void CloseWhenIdle(int result);
    // Closes when a close was asked for during a command or a request that has now ended.
    void FinishPendingClose();

    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTimer clockTimer_;
    ClockReading shownClock_;
    QtUi ui_;
    CopyDataChannel channel_;
    // Declared after the channel: it goes first.
    std::unique_ptr<QSocketNotifier> channelReady_;
    int clockTimerStarts_ = 0;
    int testRequestsWaiting_ = 0;
    bool closePending_ = false;
    bool sessionEnded_ = false;
    int closeResult_ = Rejected;
};

}  // namespace loamer
