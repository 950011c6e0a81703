#pragma once
// The nine navigation buttons of the archive chart: zoom and scroll each axis by a tenth, or
// give both back to automatic scaling. Each is a function from the axis's current range to the
// new one, or to nothing when the button refuses (the range would be empty, or a scroll would
// run past 0). The step factor 0.1 is a single-precision constant; the time axis (day serials)
// computes in double precision, the value axis in single precision, as the instrument's
// program does, so the results differ from the decimal ideal in the last digits.

#include <optional>

namespace veltra::archive {

struct AxisRange {
    double min = 0.0;
    double max = 0.0;
    friend bool operator==(const AxisRange&, const AxisRange&) = default;
};

enum class NavigationButton {
    timeZoomIn,   // time: zoom in (the maximum moves in by a tenth of the span)
    timeZoomOut,  // time: zoom out
    timeEarlier,  // time: scroll toward earlier times
    timeLater,    // time: scroll toward later times
    valueZoomIn,  // value: zoom in (the maximum moves in by a tenth of itself)
    valueZoomOut, // value: zoom out
    valueUp,      // value: scroll up
    valueDown,    // value: scroll down
};

[[nodiscard]] constexpr bool movesTimeAxis(NavigationButton b) {
    return b == NavigationButton::timeZoomIn || b == NavigationButton::timeZoomOut ||
           b == NavigationButton::timeEarlier || b == NavigationButton::timeLater;
}

// The new range of the button's axis, or nullopt when it refuses (and changes nothing, not even
// the axis's automatic switch).
[[nodiscard]] std::optional<AxisRange> navigate(NavigationButton button, AxisRange current);

// The axes' settings the buttons make; they stay across session steps and reads until BitBtn10.
struct ChartAxes {
    bool timeAutomatic = true;     // bottom axis fitted to the points
    AxisRange time;                // when not automatic
    bool valueAutomaticMax = true; // left axis maximum fitted to the points
    AxisRange value{0.0, 0.0};     // minimum always; maximum when not automatic

    // A button's new range applied: that axis's automatic scaling off, the range set.
    void apply(NavigationButton button, AxisRange range);
    // BitBtn10: the left axis to a minimum of 0 with an automatic maximum, the bottom axis fully
    // automatic.
    void reset();

    friend bool operator==(const ChartAxes&, const ChartAxes&) = default;
};

} // namespace veltra::archive
