#include "loamer/settings/port_setting.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QTemporaryFile>

#include "loamer/product.h"

namespace loamer {

namespace {

const QString kPortNameKey = QStringLiteral("SETTINGS/ComPortName");
const QString kPortNumberKey = QStringLiteral("SETTINGS/COMPORT");

// The platform's native store: an INI file named .conf under the user's configuration folder.
class Store : public QSettings {
public:
    Store() : QSettings(QString::fromLatin1(kOrganisationName), QString::fromLatin1(kProgramTitle)) {}
};

// Control characters other than those of line ends and tabs, which a text file may hold.
bool HasControlCharacters(const QByteArray& bytes, bool lineEndsAllowed) {
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool lineEnd = byte == '\t' || byte == '\n' || byte == '\r';
        if ((byte < 0x20 && !(lineEnd && lineEndsAllowed)) || byte == 0x7F) return true;
    }
    return false;
}

// What QSettings says of a store it has read, told more strictly: it reads a file it cannot
// open as an empty one, and it takes lines of binary garbage for keys. A file written by
// QSettings holds no control characters (it escapes them), so one that does is damaged.
SettingsStatus StatusOf(const QSettings& s) {
    // QSettings parses a section of the file when a key of it is first asked for, and only then
    // knows whether it was well formed: have every section parsed.
    (void)s.allKeys();
    const QFileInfo info(s.fileName());
    if (info.exists() && (info.isDir() || !info.isReadable())) return SettingsStatus::Unreadable;
    switch (s.status()) {
    case QSettings::NoError: break;
    case QSettings::FormatError: return SettingsStatus::Malformed;
    case QSettings::AccessError: return SettingsStatus::Unreadable;
    }
    if (!info.exists()) return SettingsStatus::Ok;
    QFile file(s.fileName());
    if (!file.open(QIODevice::ReadOnly)) return SettingsStatus::Unreadable;
    return HasControlCharacters(file.readAll(), true) ? SettingsStatus::Malformed : SettingsStatus::Ok;
}

// Whether the file as it is now holds name. Read through a copy beside it: QSettings keeps
// what it read of a path for the rest of the process, so it cannot read the file anew.
bool FileHoldsPortName(const QString& path, const std::string& name) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QTemporaryFile copy(QFileInfo(path).absolutePath() + QStringLiteral("/.Loamer-check-XXXXXX.conf"));
    if (!copy.open() || copy.write(file.readAll()) < 0 || !copy.flush()) return false;
    const QSettings check(copy.fileName(), QSettings::IniFormat);
    return check.value(kPortNameKey).toString() == QString::fromStdString(name);
}

}  // namespace

SettingsStatus LoadPortName(std::string& name) {
    name = kDefaultPortName;
    Store s;
    const QString stored = s.value(kPortNameKey, QString()).toString();
    if (const SettingsStatus status = StatusOf(s); status != SettingsStatus::Ok) return status;
    // An unclosed quote runs the value on over the line end.
    if (HasControlCharacters(stored.toUtf8(), false)) return SettingsStatus::Malformed;
    if (!stored.isEmpty()) {
        name = stored.toStdString();
        return SettingsStatus::Ok;
    }
    bool ok = false;
    const int number = s.value(kPortNumberKey, -1).toInt(&ok);
    if (ok && number > 0) name = "COM" + std::to_string(number);
    return SettingsStatus::Ok;
}

SettingsStatus SavePortName(const std::string& name) {
    Store s;
    // A damaged file is rewritten with what could be read of it, but QSettings keeps reporting
    // the damage afterwards, which would hide a failed write.
    (void)s.allKeys();
    const bool damaged = s.status() == QSettings::FormatError;
    s.setValue(kPortNameKey, QString::fromStdString(name));
    s.sync();
    if (s.status() == QSettings::AccessError) return SettingsStatus::Unwritable;
    if (damaged) return FileHoldsPortName(s.fileName(), name) ? SettingsStatus::Ok : SettingsStatus::Unwritable;
    return s.status() == QSettings::NoError ? SettingsStatus::Ok : SettingsStatus::Unwritable;
}

std::string SettingsFilePath() {
    Store s;
    return s.fileName().toStdString();
}

std::string SettingsProblemText(SettingsStatus status) {
    const std::string path = SettingsFilePath();
    switch (status) {
    case SettingsStatus::Ok: return {};
    case SettingsStatus::Unreadable:
        return "The settings file " + path + " cannot be read; using port " + kDefaultPortName + ".";
    case SettingsStatus::Malformed:
        return "The settings file " + path + " is damaged; using port " + kDefaultPortName + ".";
    case SettingsStatus::Unwritable:
        return "The port could not be stored in the settings file " + path + ".";
    }
    return {};
}

}  // namespace loamer
