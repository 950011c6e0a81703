#include "station/measurement_log.h"

#include "text/clock_fields.h"
#include "text/number_text.h"

#include <QDir>

namespace veltra::station {

const QString MeasurementLog::header =
    QStringLiteral("computer_time,instrument_time,measurement_count,main_value,quantity,unit,"
                   "dose_uSv,error_percent,battery_V,status_flags\n");

QString MeasurementLog::dailyFileName(const QDate& day) {
    return QStringLiteral("readings-%1.csv").arg(day.toString(Qt::ISODate));
}

QString MeasurementLog::line(const live::CurrentData& d, const QString& computerTime) {
    const live::MainQuantity q = live::mainQuantity(d.mode);
    return QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8,%9,%10\n")
        .arg(computerTime, text::clockText(d.clock))
        .arg(d.measurementCount)
        .arg(text::number9(d.mainValue), QLatin1String(q.name), QLatin1String(q.unit),
             text::number9(d.doseValue), text::number9(d.errorPercent),
             text::number9(d.batteryVoltage))
        .arg(d.statusFlags);
}

QString MeasurementLog::pathFor(const QDate& day) const {
    return m_folder ? QDir(m_location).filePath(dailyFileName(day)) : m_location;
}

QString MeasurementLog::currentPath() const {
    return pathFor(QDate::currentDate());
}

FileResult MeasurementLog::openFor(const QString& path) {
    if (m_file.isOpen() && m_openPath == path) {
        return {};
    }
    m_file.close();
    m_openPath.clear();
    if (m_folder && !QDir().mkpath(m_location)) {
        return {false, QStringLiteral("the folder %1 cannot be made").arg(m_location)};
    }
    if (FileResult opened = openRegularFile(
            m_file, path, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
        !opened) {
        return opened;
    }
    m_openPath = path;
    if (m_file.size() == 0) {
        if (FileResult written = appendWhole(m_file, header.toUtf8(), m_durable); !written) {
            m_file.close();
            m_openPath.clear();
            return written;
        }
    }
    return {};
}

FileResult MeasurementLog::add(const live::CurrentData& reading, const QString& computerTime,
                               const QDate& day) {
    if (m_lastCount && *m_lastCount == reading.measurementCount) {
        return {}; // not a new measurement
    }
    if (FileResult opened = openFor(pathFor(day)); !opened) {
        return opened;
    }
    FileResult written = appendWhole(m_file, line(reading, computerTime).toUtf8(), m_durable);
    if (written) {
        m_lastCount = reading.measurementCount;
    }
    return written;
}

FileResult MeasurementLog::open() {
    return openFor(currentPath());
}

FileResult MeasurementLog::add(const live::CurrentData& reading) {
    return add(reading, text::computerTimeText(), QDate::currentDate());
}

} // namespace veltra::station
