#include "loamer/shell/loamer_app.h"

#include <QCoreApplication>
#include <clocale>

#include "loamer/link/comm_port.h"
#include "loamer/link/ui.h"
#include "loamer/product.h"
#include "loamer/settings/port_setting.h"
#include "loamer/shell/main_dialog.h"
#include "loamer/shell/port_dialog.h"
#include "loamer/shell/posix/termination_signals.h"

namespace loamer {

namespace {

void ReportSettingsProblem(SettingsStatus status) {
    if (status != SettingsStatus::Ok) Ui().MessageBox(SettingsProblemText(status), BoxStyle::Exclamation);
}

}  // namespace

bool CLOAMERApp::InitInstance() {
    // Outlives the dialog: a signal that comes while the dialog closes the port waits unread.
    TerminationSignals termination;
    CLOAMERDlg dialog;
    m_pMainWnd = &dialog;
    QObject::connect(&dialog, &CLOAMERDlg::serialPortRequested, [this] { OnSerialPort(); });
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &dialog, &CLOAMERDlg::EndSession);

    // The settings file is $XDG_CONFIG_HOME/<organisation>/<title>.conf.
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganisationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(kProgramTitle));

    {
        ScopedUi services(&dialog.uiServices());
        std::string stored;
        ReportSettingsProblem(LoadPortName(stored));
        SetCommPortName(stored);
        dialog.ShowPortName(stored);
        // From here on requests from other programs use the stored port.
        if (!dialog.SessionEnded()) dialog.ListenForRequests();
        // A signal during a box above has ended the session before the dialog ran.
        if (!dialog.SessionEnded()) dialog.exec();
    }
    m_pMainWnd = nullptr;
    return false;
}

void CLOAMERApp::OnSerialPort() {
    CPortDlg dialog(CommPortName(), m_pMainWnd);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::string name = dialog.portName();
    // Closing makes the next command open the port just chosen.
    CloseCommPort();
    SetCommPortName(name);
    if (m_pMainWnd) m_pMainWnd->ShowPortName(name);
    ReportSettingsProblem(SavePortName(name));
}

void PinNumericLocale() { std::setlocale(LC_NUMERIC, "C"); }

}  // namespace loamer
