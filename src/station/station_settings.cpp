#include "station/station_settings.h"

#include "station/file_writes.h"

#include <QStringList>

#include <algorithm>
#include <iterator>
#include <utility>

namespace veltra::station {

std::optional<StationSettings> readStationSettings(const QString& path, QString* error) {
    const auto fail = [error](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    QFile file;
    if (const FileResult opened = openRegularFile(file, path, QIODevice::ReadOnly); !opened) {
        return fail(QStringLiteral("cannot read %1: %2").arg(path, opened.reason));
    }
    static const std::pair<QLatin1String, QString StationSettings::*> texts[] = {
        {QLatin1String("port"), &StationSettings::port},
        {QLatin1String("csv"), &StationSettings::csv},
        {QLatin1String("csv-folder"), &StationSettings::csvFolder},
        {QLatin1String("mqtt"), &StationSettings::mqtt},
        {QLatin1String("mqtt-credentials"), &StationSettings::mqttCredentials},
        {QLatin1String("mqtt-ca"), &StationSettings::mqttCa},
        {QLatin1String("name"), &StationSettings::name},
        {QLatin1String("trace"), &StationSettings::trace},
    };
    StationSettings settings;
    int number = 0;
    for (const QString& raw : QString::fromUtf8(file.read(1024 * 1024)).split(u'\n')) {
        ++number;
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        const auto field = std::find_if(std::begin(texts), std::end(texts),
                                        [&key](const auto& t) { return key == t.first; });
        if (eq > 0 && field != std::end(texts)) {
            QString& given = settings.*(field->second);
            if (given.isEmpty()) { // the first line for a key holds, as the command line over both
                given = value;
            }
            continue;
        }
        if (eq > 0 && key == QLatin1String("give-up")) {
            bool ok = false;
            const int seconds = value.toInt(&ok, 10);
            if (ok && seconds >= 0 && seconds <= 24 * 3600) {
                settings.giveUp_s = seconds;
                continue;
            }
        }
        return fail(QStringLiteral("%1, line %2: '%3' is not one of port, csv, csv-folder, mqtt, "
                                   "mqtt-credentials, mqtt-ca, name, trace, give-up = VALUE")
                        .arg(path)
                        .arg(number)
                        .arg(line));
    }
    return settings;
}

} // namespace veltra::station
