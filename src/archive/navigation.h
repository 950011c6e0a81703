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
    BitBtn1, // time: zoom in (the maximum moves in by a tenth of the span)
    BitBtn2, // time: zoom out
    BitBtn3, // time: scroll toward earlier times
    BitBtn4, // time: scroll toward later times
    BitBtn6, // value: zoom in (the maximum moves in by a tenth of itself)
    BitBtn7, // value: zoom out
    BitBtn8, // value: scroll up
    BitBtn9, // value: scroll down
};

[[nodiscard]] constexpr bool movesTimeAxis(NavigationButton b) {
    return b == NavigationButton::BitBtn1 || b == NavigationButton::BitBtn2 ||
           b == NavigationButton::BitBtn3 || b == NavigationButton::BitBtn4;
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
