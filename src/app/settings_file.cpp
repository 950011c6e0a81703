#include "app/settings_file.h"

#include <QDir>
#include <QFile>

namespace veltra::app {

QString settingsFilePath() {
    return QDir::current().filePath(QStringLiteral("prog.ini"));
}

IniFile readIniFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return IniFile::parse(file.readAll());
}

std::map<int, QString> portPins(const IniFile& ini) {
    std::map<int, QString> pins;
    const QString section = QStringLiteral("Ports");
    for (const QString& key : ini.keys(section)) {
        if (!key.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) {
            continue;
        }
        bool ok = false;
        const int number = key.mid(3).toInt(&ok, 10);
        const QString device = ini.value(section, key).value_or(QString());
        if (ok && number >= 1 && number <= 255 && !device.isEmpty()) {
            pins.emplace(number, device);
        }
    }
    return pins;
}

} // namespace veltra::app
