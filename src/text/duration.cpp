#include "text/duration.h"

namespace veltra::text {

QString dayWord(std::int32_t days, Language language) {
    if (language == Language::english) {
        return days == 1 ? QStringLiteral("day") : QStringLiteral("days");
    }
    if (days == 1) {
        return QStringLiteral("день");
    }
    if (days >= 2 && days <= 4) {
        return QStringLiteral("дня");
    }
    return QStringLiteral("дней");
}

QString formatDuration(std::int32_t s, Language language, bool leadingBlank) {
    const std::int32_t d = s / 86400;
    const std::int32_t h = (s - d * 86400) / 3600;
    const std::int32_t m = (s - d * 86400 - h * 3600) / 60;
    const QString hours = pick(language, " ч ", " h ");
    const QString minutes = pick(language, " мин", " min");
    QString text = leadingBlank ? QStringLiteral(" ") : QString();
    if (d > 0) {
        text += QString::number(d) + u' ' + dayWord(d, language) + u' ' + QString::number(h) +
                hours + QString::number(m) + minutes;
    } else if (d == 0 && h > 0) {
        text += QString::number(h) + hours + QString::number(m) + minutes;
    } else if (d == 0 && h == 0 && m > 0) {
        text += QString::number(m) + minutes;
    } else {
        text += u'0' + minutes;
    }
    return text;
}

} // namespace veltra::text
