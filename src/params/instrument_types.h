#pragma once
// What the instrument's type (deviceType 1..7) decides: the settings the parameters tab shows,
// the backlight-time list and its values, the mode list's item for the instrument's mode code,
// and the archive-logging options byte in both directions.

#include "text/language.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veltra::params {

[[nodiscard]] constexpr bool knownDeviceType(int type) {
    return type >= 1 && type <= 7;
}

// Groups of settings on the parameters tab.
struct VisibleGroups {
    bool mode = false;
    bool sound = false;
    bool view = false;
    bool language = false;
    bool backlightTime = false;
    bool backlight = false;
    bool bluetooth = false;
    friend bool operator==(const VisibleGroups&, const VisibleGroups&) = default;
};
// nullopt for a type outside 1..7: visibility stays as it was.
[[nodiscard]] std::optional<VisibleGroups> visibleGroups(int deviceType);

// BacklightTimeList: the short list 10, 60, 180 s; the long list adds 0 (off) in front.
enum class BacklightList { none, shortList, longList };
[[nodiscard]] std::span<const int> backlightValues(BacklightList list);
// The item whose value is `seconds`, or nullopt.
[[nodiscard]] std::optional<int> backlightItemForValue(BacklightList list, int seconds);
// The value of an item, or nullopt for an item outside the list.
[[nodiscard]] std::optional<int> backlightValueOfItem(BacklightList list, int item);
// The list an instrument type gets in a language (English for 2; others as Russian).
[[nodiscard]] BacklightList backlightListFor(int deviceType, text::Language language);

// The mode list's item for the instrument's mode code: types 6 and 7 only (nullopt: unchanged).
[[nodiscard]] std::optional<int> modeItemFor(int deviceType, int modeSetting);

// The archive group's check boxes and radio buttons.
struct ArchiveChecks {
    bool logging = false;          // CheckBox8
    bool everyMeasurement = false; // RadioButton2
    bool everyMinute = false;      // RadioButton1
    bool everyHour = false;        // RadioButton3
    bool changeOver30 = false;     // CheckBox6
    bool sharpChange = false;      // CheckBox7
    friend bool operator==(const ArchiveChecks&, const ArchiveChecks&) = default;
};
// The options byte the writer sends for the group's state.
[[nodiscard]] std::uint8_t archiveOptionsByte(const ArchiveChecks& checks);

} // namespace veltra::params
