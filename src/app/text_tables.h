#pragma once
// The windows' two text tables, Russian and English: every caption, menu item, grid heading and
// list of the main window, and the lists and caption that depend on the instrument's type.
// applyLanguage in the window applies them control by control; the lists of the parameters tab
// are filled by the core (parameters_tab.h) from the same tables.
//
// Some texts are the system's own and look like slips, and are kept exactly: the English
// "Сurrent threshold MED/ED" begin with the Cyrillic letter С, "Value,  uSv/h" has two spaces,
// the two view lists run in opposite orders, and type 6 is "ТР-403" in Russian but "TR-404" in
// English.

#include "text/language.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <span>

namespace veltra::app {

struct TextRow {
    const char* control; // objectName
    const char* russian;
    const char* english;
};

// Captions of the main window's menu items, tabs, labels, buttons and check boxes.
[[nodiscard]] std::span<const TextRow> mainWindowTexts();

struct GridHeading {
    const char* grid;
    int column;
    int row;
    const char* russian;
    const char* english;
};
[[nodiscard]] std::span<const GridHeading> gridHeadings();

// The live chart's vertical title and the unit label's left position, by language.
[[nodiscard]] QString chartTitle(text::Language language);
[[nodiscard]] int mainValueUnitLeft(text::Language language);

// Fixed lists.
[[nodiscard]] QStringList timeFormatItems(text::Language language);     // ComboBox9
[[nodiscard]] QStringList soundItems(text::Language language);          // ComboBox2
[[nodiscard]] QStringList deviceLanguageItems(text::Language language); // ComboBox3
[[nodiscard]] QStringList displayViewItems(text::Language language); // ComboBox6 (opposite orders!)
[[nodiscard]] QStringList backlightColourItems(text::Language language); // ComboBox8

// By instrument type (nullopt / empty for a type outside 1..7).
[[nodiscard]] std::optional<QString> modelCaption(int deviceType, text::Language language);
[[nodiscard]] QStringList modeItems(int deviceType, text::Language language);          // ComboBox1
[[nodiscard]] QStringList backlightTimeItems(int deviceType, text::Language language); // ComboBox4

// The language a value stands for: English for 2, Russian for everything else.
[[nodiscard]] inline bool isEnglish(text::Language language) {
    return language == text::Language::english;
}

} // namespace veltra::app
