// CPortDlg, Settings, Serial Port: an editable list of the machine's serial ports. The user
// picks one or types any name (COMn, a device path, a pseudo-terminal's link); nothing checks
// the name here, a name that cannot be opened shows up at the next meter command.
#pragma once

#include <QDialog>
#include <string>

#include "loamer/link/comm_port.h"

class QComboBox;

namespace loamer {

class CPortDlg final : public QDialog, public PortListSink {
    Q_OBJECT

public:
    // Opens with portName in the edit field, the machine's ports in the list, and the entry
    // of portName selected; when the ports found do not include it, the edit field is empty.
    explicit CPortDlg(const std::string& portName, QWidget* parent = nullptr);

    // The name in the edit field when the dialog ended with OK.
    const std::string& portName() const { return portName_; }

    // Adds a name at its sorted place and selects it, unless an entry reads the same
    // ignoring case.
    void AddPort(const std::string& name) override;

public slots:
    void accept() override;

private:
    QComboBox* combo_ = nullptr;
    std::string portName_;
};

}  // namespace loamer
