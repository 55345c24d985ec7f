#include "loamer/settings/port_setting.h"

#include <QFileInfo>
#include <QSettings>
#include <QString>

#include "loamer/product.h"

namespace loamer {

namespace {

// The platform's native store: an INI file named .conf under the user's configuration folder.
class Store : public QSettings {
public:
    Store() : QSettings(QString::fromLatin1(kOrganisationName), QString::fromLatin1(kProgramTitle)) {}
};

// QSettings reads a file it cannot open as an empty one; tell those apart from a missing file.
SettingsStatus StatusOf(const QSettings& s) {
    const QFileInfo file(s.fileName());
    if (file.exists() && (file.isDir() || !file.isReadable())) return SettingsStatus::Unreadable;
    switch (s.status()) {
    case QSettings::NoError: return SettingsStatus::Ok;
    case QSettings::FormatError: return SettingsStatus::Malformed;
    case QSettings::AccessError: return SettingsStatus::Unreadable;
    }
    return SettingsStatus::Unreadable;
}

}  // namespace

SettingsStatus LoadPortName(std::string& name) {
    name = kDefaultPortName;
    Store s;
    const SettingsStatus status = StatusOf(s);
    if (status != SettingsStatus::Ok) return status;
    const std::string stored = s.value(QStringLiteral("SETTINGS/ComPortName"), QString()).toString().toStdString();
    if (!stored.empty()) {
        name = stored;
        return status;
    }
    bool ok = false;
    const int number = s.value(QStringLiteral("SETTINGS/COMPORT"), -1).toInt(&ok);
    if (ok && number > 0) name = "COM" + std::to_string(number);
    return status;
}

SettingsStatus SavePortName(const std::string& name) {
    Store s;
    s.setValue(QStringLiteral("SETTINGS/ComPortName"), QString::fromStdString(name));
    s.sync();
    if (s.status() != QSettings::NoError) return SettingsStatus::Unwritable;
    return SettingsStatus::Ok;
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
