// The program's icon: the installed theme icon "loamer", or the same drawing made here when the
// program runs uninstalled, so that it carries no image files of its own.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace loamer {

// The theme's icon, else the drawing at the usual sizes (16 to 64 pixels).
QIcon ProgramIcon();
// One rendering of the icon, size x size pixels.
QPixmap ProgramIconPixmap(int size);

}  // namespace loamer
