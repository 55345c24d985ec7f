#include "tools/loamset-view/recent_files.h"

#include <QFileInfo>
#include <QSettings>

namespace loamset_view {

namespace {

const QString kKey = QStringLiteral("RecentFiles");
#define LOAMSET_VIEW_SETTINGS QStringLiteral("Norvane"), QStringLiteral("Loamset View")

}  // namespace

QStringList RecentFiles() {
    const QSettings store(LOAMSET_VIEW_SETTINGS);
    return store.value(kKey).toStringList();
}

void RememberRecentFile(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QSettings store(LOAMSET_VIEW_SETTINGS);
    QStringList files = store.value(kKey).toStringList();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > kRecentFilesKept) files.removeLast();
    store.setValue(kKey, files);
}

void ForgetRecentFiles() {
    QSettings store(LOAMSET_VIEW_SETTINGS);
    store.remove(kKey);
}

}  // namespace loamset_view
