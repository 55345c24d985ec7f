// The About box: product name, what the program is for, its version and copyright line.
//
// The original offered the same box from the window's system menu as well; on Linux the window
// manager owns that menu, so the box is reached from the About button and Help, About.
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
