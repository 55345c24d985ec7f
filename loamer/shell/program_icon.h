// The program's icon, drawn rather than loaded so that the program carries no image files.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace loamer {

// The icon at the usual sizes (16 to 64 pixels).
QIcon ProgramIcon();
// One rendering of the icon, size x size pixels.
QPixmap ProgramIconPixmap(int size);

}  // namespace loamer
