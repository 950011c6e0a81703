#pragma once
// Date-time labels of the two charts, as a clock shows them: keys are the instrument's clock
// fields taken as seconds since 1970 and shown in UTC, so no zone's rules move a point, and a
// tick computed a hair below a whole minute (09:29:59.9999) is labelled with the minute it
// stands for (09:30), not cut down to the one before.

#include <qcustomplot.h>

#include <cmath>

namespace veltra::forms {

class WallClockTicker : public QCPAxisTickerDateTime {
public:
    WallClockTicker() { setDateTimeSpec(Qt::UTC); }

protected:
    QString getTickLabel(double seconds, const QLocale& locale, QChar formatChar,
                         int precision) override {
        return QCPAxisTickerDateTime::getTickLabel(std::round(seconds), locale, formatChar,
                                                   precision);
    }
};

} // namespace veltra::forms
