#include "loamer/shell/about_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "loamer/product.h"
#include "loamer/shell/dialog_units.h"
#include "loamer/shell/program_icon.h"
#include "loamer/shell/qt_ui.h"
#include "loamer/version.h"

namespace loamer {

namespace {

QLabel* AddText(QWidget* parent, const char* name, const QString& text, const QRect& place) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(const QString& productName, const QString& versionLine, const QString& copyright,
                     QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("About LOAMER"));
    const DialogUnits du(font());
    setFixedSize(du.Size(268, 69));

    auto* icon = new QLabel(this);
    icon->setGeometry(du.Rect(11, 17, 20, 20));
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(ProgramIconPixmap(std::min(32, std::min(du.X(20), du.Y(20)))));

    AddText(this, "productName", productName, du.Rect(40, 8, 160, 10));
    AddText(this, "purpose", QStringLiteral("Data Collection Software for the TQ4 Moisture Meter."),
            du.Rect(40, 21, 190, 10));
    AddText(this, "version", versionLine, du.Rect(40, 34, 160, 10));
    AddText(this, "copyright", copyright, du.Rect(40, 47, 190, 10));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setGeometry(du.Rect(211, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void ShowAboutBox(QWidget* parent) {
    CAboutDlg box(QString::fromUtf8(kProductName), QStringLiteral("Version: " LOAMER_FILE_VERSION),
                  QStringLiteral(LOAMER_COPYRIGHT), parent);
    ArrowCursorScope arrow;  // opened during an operation, the box is still for the user
    box.exec();
}

}  // namespace loamer
