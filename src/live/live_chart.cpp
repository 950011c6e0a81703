#include "live/live_chart.h"

namespace veltra::live {

namespace {

std::optional<QString> title(text::Language language, const char* russian, const char* english) {
    return text::Bilingual(russian, english).shownIn(language);
}

} // namespace

ChartRestart restartLiveChart(std::uint8_t mode, text::Language language) {
    switch (mode) {
    case 2:
        return {true, true, title(language, "Бета, 1/(мин*см2)", "Beta, 1/(min*cm2)")};
    case 3:
    case 5:
    case 6:
        return {true, true, title(language, "МЭД, мкЗв/ч", "Dose rate, uSv/h")};
    case 4:
        return {true, false, title(language, "Альфа, 1/(мин*см2)", "Alpha, 1/(min*cm2)")};
    default:
        return {}; // 0, 1 and 7 up leave the chart as it is
    }
}

double chartAxisMaximum(double chartMaximum) {
    const long double peak = chartMaximum;
    return static_cast<double>(peak + peak * (1.0L / 7.0L));
}

} // namespace veltra::live
