#pragma once
// A station's settings file (what veltra-station@NAME.service runs the tool with): KEY = VALUE
// lines, '#' for a comment, blank lines ignored.
//
//   port = /dev/ttyUSB0          csv = FILE | csv-folder = DIR
//   mqtt = mqtts://HOST[:PORT]   mqtt-credentials = FILE      mqtt-ca = FILE
//   name = NAME                  trace = FILE                 give-up = SECONDS (0..86400)
//
// A line that is none of these refuses the whole file: a station must not run on half of what
// its owner wrote.

#include <QString>

#include <optional>

namespace veltra::station {

struct StationSettings {
    QString port;
    QString csv;
    QString csvFolder;
    QString mqtt;
    QString mqttCredentials;
    QString mqttCa;
    QString name;
    QString trace;
    std::optional<int> giveUp_s;
};

// The settings the file at path gives; nullopt with why in error ("cannot read FILE: reason",
// "FILE, line 3: 'x' is not one of ...").
[[nodiscard]] std::optional<StationSettings> readStationSettings(const QString& path,
                                                                 QString* error);

} // namespace veltra::station
