#include "loamer/shell/loamer_app.h"

#include <QCoreApplication>

#include "loamer/link/comm_port.h"
#include "loamer/link/ui.h"
#include "loamer/shell/main_dialog.h"
#include "loamer/shell/port_dialog.h"
#include "loamer/settings/port_setting.h"

namespace loamer {

bool CLOAMERApp::InitInstance() {
    CLOAMERDlg dialog;
    m_pMainWnd = &dialog;
    QObject::connect(&dialog, &CLOAMERDlg::serialPortRequested, [this] { OnSerialPort(); });

    // The settings file is $XDG_CONFIG_HOME/Norvane/Loamer.conf.
    QCoreApplication::setOrganizationName(QStringLiteral("Norvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Loamer"));

    std::string stored;
    (void)LoadPortName(stored);
    SetCommPortName(stored);

    UiServices* previous = SetUi(&dialog.uiServices());
    dialog.exec();
    SetUi(previous);
    m_pMainWnd = nullptr;
    return false;
}

void CLOAMERApp::OnSerialPort() {
    CPortDlg dialog(CommPortName(), m_pMainWnd);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::string name = dialog.portName();
    // Closing makes the next command open the port just chosen.
    CloseCommPort();
    (void)SavePortName(name);
    SetCommPortName(name);
}

}  // namespace loamer
