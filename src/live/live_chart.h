#pragma once
// The live chart's rules: what a change of measuring mode does to it, and its titles.

#include "text/language.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace veltra::live {

struct ChartRestart {
    bool clearSeries = false;
    bool resetScale = false; // vertical maximum back to 0.5 and chartMaximum to 0
    std::optional<QString> title;
    friend bool operator==(const ChartRestart&, const ChartRestart&) = default;
};

inline constexpr double chartStartMaximum = 0.5;

// The reaction to a change into mode m; the title only for language 1 or 2.
[[nodiscard]] ChartRestart restartLiveChart(std::uint8_t mode, text::Language language);

// The vertical maximum for a peak: 8/7 of it.
[[nodiscard]] double chartAxisMaximum(double chartMaximum);

} // namespace veltra::live
