#include "archive/text_lines.h"

#include "text/windows1251.h"

#include <QLocale>

#include <charconv>

namespace veltra::archive {

QString sessionFileName(int session) {
    return QStringLiteral("сеанс%1.txt").arg(session);
}

QString streamNumber(double value) {
    char text[32];
    // The general format with precision 6 is what std::ostream << double writes; to_chars
    // writes it without looking at any locale.
    const auto written =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
    return QString::fromLatin1(text, written.ptr - text);
}

QByteArray archiveLine(const ArchiveRecord& r, int session1Count, text::Language language,
                       int* unmapped) {
    const QString line = QStringLiteral("%1 %2:%3:%4 %5 %6\r\n")
                             .arg(session1Count)
                             .arg(r.clock.hour)
                             .arg(r.clock.minute)
                             .arg(r.clock.second)
                             .arg(streamNumber(r.value), unitText(r.recordMode, language));
    return text::toWindows1251(line, unmapped);
}

QByteArray sessionFileLine(const SampleRow& row, QChar separator, int* unmapped) {
    const QString& t = row.timeStamp; // hh.mm.ss DD/MM/YY
    QString value = row.value.trimmed();
    if (separator != u'.') {
        value.replace(separator, u'.');
    }
    bool ok = false;
    const double parsed = QLocale::c().toDouble(value, &ok);
    const auto single = static_cast<float>(ok ? parsed : 0.0);
    const QString line = QStringLiteral("%1 %2:%3:%4 %5/%6/%7 %8\r\n")
                             .arg(row.number.trimmed().toInt())
                             .arg(t.mid(0, 2), t.mid(3, 2), t.mid(6, 2), t.mid(9, 2), t.mid(12, 2),
                                  t.mid(15, 2), streamNumber(single));
    return text::toWindows1251(line, unmapped);
}

} // namespace veltra::archive
