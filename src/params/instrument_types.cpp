#include "params/instrument_types.h"

#include <algorithm>

namespace veltra::params {

namespace {

constexpr std::array<int, 3> shortValues{10, 60, 180};
constexpr std::array<int, 4> longValues{0, 10, 60, 180};

} // namespace

std::optional<VisibleGroups> visibleGroups(int deviceType) {
    // mode, sound, view, language, backlight time, backlight, Bluetooth
    switch (deviceType) {
    case 1:
        return VisibleGroups{false, false, false, false, true, false, false};
    case 2:
        return VisibleGroups{false, false, false, false, false, false, true};
    case 3:
        return VisibleGroups{false, true, true, true, true, true, false};
    case 4:
    case 5:
    case 6:
        return VisibleGroups{false, true, true, true, true, false, false};
    case 7:
        return VisibleGroups{false, true, false, true, true, false, true};
    default:
        return std::nullopt;
    }
}

std::span<const int> backlightValues(BacklightList list) {
    switch (list) {
    case BacklightList::shortList:
        return shortValues;
    case BacklightList::longList:
        return longValues;
    case BacklightList::none:
        break;
    }
    return {};
}

std::optional<int> backlightItemForValue(BacklightList list, int seconds) {
    const auto values = backlightValues(list);
    const auto it = std::find(values.begin(), values.end(), seconds);
    if (it == values.end()) {
        return std::nullopt;
    }
    return static_cast<int>(it - values.begin());
}

std::optional<int> backlightValueOfItem(BacklightList list, int item) {
    const auto values = backlightValues(list);
    if (item < 0 || item >= static_cast<int>(values.size())) {
        return std::nullopt;
    }
    return values[static_cast<std::size_t>(item)];
}

BacklightList backlightListFor(int deviceType, text::Language language) {
    switch (deviceType) {
    case 1:
    case 3:
    case 4:
    case 6:
        return BacklightList::shortList;
    case 5:
        return language == text::Language::english ? BacklightList::longList : BacklightList::none;
    case 7:
        return BacklightList::longList;
    default:
        return BacklightList::none;
    }
}

std::optional<int> modeItemFor(int deviceType, int code) {
    if (deviceType == 6) {
        if (code >= 0 && code <= 4) {
            return code;
        }
        return code == 7 ? 6 : 5;
    }
    if (deviceType == 7) {
        return code >= 0 && code <= 6 ? code : 6;
    }
    return std::nullopt;
}

std::uint8_t archiveOptionsByte(const ArchiveChecks& c) {
    if (!c.logging) {
        return 0;
    }
    if (c.everyMeasurement) {
        return 0x10;
    }
    std::uint8_t options = 0;
    if (c.changeOver30) {
        options |= 0x01;
    }
    if (c.sharpChange) {
        options |= 0x02;
    }
    if (c.everyMinute) {
        options |= 0x04;
    } else if (c.everyHour) {
        options |= 0x08;
    }
    return options;
}

} // namespace veltra::params
