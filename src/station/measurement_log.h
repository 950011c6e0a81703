#pragma once
// The measurement log: one UTF-8 CSV line per new measurement, for the window's "log readings"
// and the tool's poll (--csv FILE, --csv-folder DIR; a station). A line is appended whole or not
// at all (no cut line on a full disk), and, durable, on the disk before the next reading, so a
// power cut loses at most the line being written. In a folder, a file per day of the computer's
// calendar (readings-YYYY-MM-DD.csv), so a year of readings stays 365 files a spreadsheet opens.
//
//   computer_time,instrument_time,measurement_count,main_value,quantity,unit,dose_uSv,
//   error_percent,battery_V,status_flags
//   2026-12-09T15:20:01+01:00,2026-12-09T15:19:58,1026,0.132999995,dose rate,uSv/h,3.75,14,
//   4.05000019,0
//
// A file gets the header row when it is new (or empty).

#include "live/current_data.h"
#include "station/file_writes.h"

#include <QDate>
#include <QFile>
#include <QString>

#include <cstdint>
#include <optional>

namespace veltra::station {

class MeasurementLog {
public:
    // Into one file, as given; or into a folder (made when missing), a file a day.
    enum class Into { file, folder };
    MeasurementLog(QString location, Into into, bool durable)
        : m_location(std::move(location)), m_folder(into == Into::folder), m_durable(durable) {}

    // Opens the file the next line goes to (today's, in a folder), with its header when new: a
    // place that cannot take the log is told before the first reading.
    FileResult open();
    // Appends the reading's line when it is a new measurement (its count differs from the last
    // one logged); a reading already logged writes nothing. computerTime: ISO 8601 with the UTC
    // offset; day: the computer's calendar day, which picks the folder's file.
    FileResult add(const live::CurrentData& reading, const QString& computerTime, const QDate& day);
    // The same with the computer's time now.
    FileResult add(const live::CurrentData& reading);

    // The file written last, or to be written (the folder's file of today before the first).
    [[nodiscard]] QString currentPath() const;
    [[nodiscard]] const QString& location() const { return m_location; }
    [[nodiscard]] bool inFolder() const { return m_folder; }

    static const QString header;
    [[nodiscard]] static QString line(const live::CurrentData& reading,
                                      const QString& computerTime);
    [[nodiscard]] static QString dailyFileName(const QDate& day);

private:
    [[nodiscard]] QString pathFor(const QDate& day) const;
    FileResult openFor(const QString& path);

    QString m_location;
    bool m_folder = false;
    bool m_durable = true;
    QString m_openPath; // the file m_file holds open
    QFile m_file;
    std::optional<std::uint32_t> m_lastCount;
};

} // namespace veltra::station
