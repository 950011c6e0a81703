#pragma once
// The parameters tab's binding: the control (its objectName in main_window.ui) that shows each
// part of the tab's state.

#include "app/parameters_tab.h"

#include <cstddef>

namespace veltra::forms {

inline constexpr const char* tabControlObjectNames[app::tabControlCount] = {
    "ComboBox1", "Label16",   "ComboBox2", "Label18",      "ComboBox6",    "Label28",
    "ComboBox3", "Label25",   "ComboBox4", "Label29",      "ComboBox8",    "Label26",
    "CheckBox2", "CheckBox3", "Label8",    "TrackBar2",    "Label9",       "Label10",
    "Label11",   "Label14",   "CheckBox8", "RadioButton1", "RadioButton2", "RadioButton3",
    "CheckBox6", "CheckBox7",
};

[[nodiscard]] inline const char* tabControlObjectName(app::TabControl control) {
    return tabControlObjectNames[static_cast<std::size_t>(control)];
}

} // namespace veltra::forms
