// The About box: product name, what the program is for, its version and copyright line. The
// About button and Help, About open it; the window menu belongs to the window manager, so the
// program adds nothing there.
#pragma once

#include <QDialog>
#include <QString>

namespace loamer {

class CAboutDlg final : public QDialog {
    Q_OBJECT

public:
    CAboutDlg(const QString& productName, const QString& versionLine, const QString& copyright,
              QWidget* parent = nullptr);
};

// Opens the box modally with the program's own name, version and copyright.
void ShowAboutBox(QWidget* parent);

}  // namespace loamer
