#include "loamer/shell/port_dialog.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "loamer/link/port_access.h"
#include "loamer/shell/dialog_units.h"

namespace loamer {

namespace {

// Port names are device names: the file system's 8-bit encoding.
QString FromPortName(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }
std::string ToPortName(const QString& name) { return QFile::encodeName(name).toStdString(); }

QLabel* AddCentredText(QWidget* parent, const char* text, const QRect& place) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setGeometry(place);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

}  // namespace

CPortDlg::CPortDlg(const std::string& portName, QWidget* parent) : QDialog(parent), portName_(portName) {
    setWindowTitle(QStringLiteral("Serial Port"));
    const DialogUnits du(font());
    setFixedSize(du.Size(186, 111));

    AddCentredText(this, "The TQ4 is connected to PC serial port:", du.Rect(7, 7, 172, 10));
    combo_ = new QComboBox(this);
    combo_->setObjectName(QStringLiteral("port"));
    combo_->setEditable(true);
    combo_->setInsertPolicy(QComboBox::NoInsert);  // typing a name does not add it to the list
    combo_->setGeometry(du.Rect(38, 20, 110, 14));
    accessNote_ = AddCentredText(this, "", du.Rect(7, 36, 172, 16));
    accessNote_->setObjectName(QStringLiteral("access"));
    accessNote_->setTextFormat(Qt::PlainText);
    AddCentredText(this,
                   "( Select a serial port from the list above, or type the name of the serial port if it is "
                   "not listed. )",
                   du.Rect(7, 56, 172, 28));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setGeometry(du.Rect(37, 90, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setGeometry(du.Rect(99, 90, 50, 14));
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &CPortDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CPortDlg::reject);

    // The edit field gets the current name first; each port found then becomes the selection
    // as it is added; finally the current name's own entry is selected, or nothing at all.
    combo_->setEditText(FromPortName(portName_));
    EnumCommPorts(*this);
    const int current = combo_->findText(FromPortName(portName_), Qt::MatchFixedString);
    if (current >= 0) {
        combo_->setCurrentIndex(current);
    } else {
        combo_->setCurrentIndex(-1);
        combo_->clearEditText();
    }
    connect(combo_, &QComboBox::currentTextChanged, this, &CPortDlg::ShowAccessNote);
    ShowAccessNote(combo_->currentText());
}

void CPortDlg::ShowAccessNote(const QString& name) {
    if (name.trimmed().isEmpty()) {
        accessNote_->clear();
        return;
    }
    accessNote_->setText(QString::fromStdString(DescribePortAccess(ToPortName(name))));
}

void CPortDlg::AddPort(const std::string& name) {
    const QString text = FromPortName(name);
    if (combo_->findText(text, Qt::MatchFixedString) >= 0) return;
    int at = 0;
    while (at < combo_->count() && QString::compare(combo_->itemText(at), text, Qt::CaseInsensitive) <= 0) ++at;
    combo_->insertItem(at, text);
    combo_->setCurrentIndex(at);
}

void CPortDlg::accept() {
    const QString name = combo_->currentText();
    if (name.trimmed().isEmpty()) {
        QDialog::reject();
        return;
    }
    portName_ = ToPortName(name);
    QDialog::accept();
}

}  // namespace loamer
