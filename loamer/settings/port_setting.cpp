#include "loamer/settings/port_setting.h"

#include <QSettings>
#include <QString>

namespace loamer {

std::string LoadPortName() {
    QSettings s(QStringLiteral("Norvane"), QStringLiteral("Loamer"));
    std::string name = s.value(QStringLiteral("SETTINGS/ComPortName"), QString()).toString().toStdString();
    if (!name.empty()) return name;
    bool ok = false;
    const int number = s.value(QStringLiteral("SETTINGS/COMPORT"), -1).toInt(&ok);
    if (ok && number > 0) return "COM" + std::to_string(number);
    return "COM1";
}

void SavePortName(const std::string& name) {
    QSettings s(QStringLiteral("Norvane"), QStringLiteral("Loamer"));
    s.setValue(QStringLiteral("SETTINGS/ComPortName"), QString::fromStdString(name));
    s.sync();
}

}  // namespace loamer
