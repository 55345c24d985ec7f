// CPortDlg, Settings, Serial Port: an editable list of the machine's serial ports. The user
// picks one or types any name (COMn, a device path, a pseudo-terminal's link). Under the field
// a note tells, for the name it holds, whether this user may open the port and, when not, why
// (the group to join, a missing device); the name is accepted either way, and a name that
// cannot be opened shows up at the next meter command.
//
// OK with an empty field keeps the port in use, as Cancel does: the field is empty when the
// port in use was not among the ports found (an adapter unplugged), and a user who presses OK
// then means to leave the setting alone, not to store no port at all.
#pragma once

#include <QDialog>
#include <string>

#include "loamer/link/comm_port.h"

class QComboBox;
class QLabel;

namespace loamer {

class CPortDlg final : public QDialog, public PortListSink {
    Q_OBJECT

public:
    // Opens with portName in the edit field, the machine's ports in the list, and the entry
    // of portName selected; when the ports found do not include it, the edit field is empty.
    explicit CPortDlg(const std::string& portName, QWidget* parent = nullptr);

    // The name in the edit field when the dialog ended with OK (never empty).
    const std::string& portName() const { return portName_; }

    // Adds a name at its sorted place and selects it, unless an entry reads the same
    // ignoring case.
    void AddPort(const std::string& name) override;

public slots:
    // Ends with OK when the field holds a name, else as Cancel.
    void accept() override;

private:
    void ShowAccessNote(const QString& name);

    QComboBox* combo_ = nullptr;
    QLabel* accessNote_ = nullptr;
    std::string portName_;
};

}  // namespace loamer
