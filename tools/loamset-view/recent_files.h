// The File > Recent files list, kept in the viewer's settings (organisation "Norvane",
// application "Loamset View"), most recent first.
#ifndef LOAMSET_VIEW_RECENT_FILES_H
#define LOAMSET_VIEW_RECENT_FILES_H

#include <QString>
#include <QStringList>

namespace loamset_view {

constexpr int kRecentFilesKept = 8;

QStringList RecentFiles();
// Puts `path` (made absolute) first, without duplicates, and keeps at most kRecentFilesKept.
void RememberRecentFile(const QString& path);
void ForgetRecentFiles();

}  // namespace loamset_view

#endif  // LOAMSET_VIEW_RECENT_FILES_H
