#include "archive/navigation.h"

namespace veltra::archive {

namespace {

constexpr float stepFactor = 0.1F;

// Rounds a computation to single precision, as a single-precision variable holds it.
float single(double v) {
    return static_cast<float>(v);
}

} // namespace

std::optional<AxisRange> navigate(NavigationButton button, AxisRange r) {
    using B = NavigationButton;
    const double factor = stepFactor;
    if (movesTimeAxis(button)) {
        const double min = r.min;
        const double max = r.max;
        const double step = single((max - min) * factor);
        switch (button) {
        case B::timeZoomIn: {
            const double newMax = max - (max - min) * factor;
            return min < newMax ? std::optional(AxisRange{min, newMax}) : std::nullopt;
        }
        case B::timeZoomOut: {
            const double newMax = max + (max - min) * factor;
            return min < newMax ? std::optional(AxisRange{min, newMax}) : std::nullopt;
        }
        case B::timeEarlier:
            if (max - step > min - step && min - step < max && min >= 0) {
                return AxisRange{min - step, max - step};
            }
            return std::nullopt;
        default: // BitBtn4
            if (max + step > min + step && min + step < max && max >= 0) {
                return AxisRange{min + step, max + step};
            }
            return std::nullopt;
        }
    }
    const float min = single(r.min);
    const float max = single(r.max);
    const float step = single((static_cast<double>(max) - min) * factor);
    switch (button) {
    case B::valueZoomIn: {
        const float newMax = single(static_cast<double>(max) - static_cast<double>(max) * factor);
        return min < newMax ? std::optional(AxisRange{min, newMax}) : std::nullopt;
    }
    case B::valueZoomOut: {
        const float newMax = single(static_cast<double>(max) + static_cast<double>(max) * factor);
        return min < newMax ? std::optional(AxisRange{min, newMax}) : std::nullopt;
    }
    case B::valueUp: {
        const float newMax = single(static_cast<double>(max) + step);
        const float newMin = single(static_cast<double>(min) + step);
        if (newMax > newMin && newMax > min && max >= 0) {
            return AxisRange{newMin, newMax};
        }
        return std::nullopt;
    }
    default: { // BitBtn9
        const float newMin = single(static_cast<double>(min) - step);
        const float newMax = single(static_cast<double>(max) - step);
        if (newMax > newMin && newMin < max && min >= 0) {
            return AxisRange{newMin, newMax};
        }
        return std::nullopt;
    }
    }
}

void ChartAxes::apply(NavigationButton button, AxisRange range) {
    if (movesTimeAxis(button)) {
        timeAutomatic = false;
        time = range;
    } else {
        valueAutomaticMax = false;
        value = range;
    }
}

void ChartAxes::reset() {
    valueAutomaticMax = true;
    value.min = 0.0;
    timeAutomatic = true;
}

} // namespace veltra::archive
