#pragma once
// The language of the program's texts. AppState keeps it as the settings file gave it, so a
// value other than 1 and 2 is possible (a first start without prog.ini has 0); such a value
// shows the Russian texts of the tables and no status message at all.

#include <QString>

#include <cstdint>
#include <optional>

namespace veltra::text {

enum class Language : std::int32_t {
    none = 0, // no language chosen yet; any other value outside 1..2 behaves the same
    russian = 1,
    english = 2,
};

[[nodiscard]] constexpr bool isKnown(Language language) {
    return language == Language::russian || language == Language::english;
}

// The value prog.ini stores, and back (no range test: whatever the file holds is kept).
[[nodiscard]] constexpr std::int32_t languageCode(Language language) {
    return static_cast<std::int32_t>(language);
}
[[nodiscard]] constexpr Language languageFromCode(std::int32_t code) {
    return static_cast<Language>(code);
}

// A text in both languages. Literals are UTF-8.
struct Bilingual {
    QString russian;
    QString english;

    Bilingual() = default;
    Bilingual(QString ru, QString en) : russian(std::move(ru)), english(std::move(en)) {}
    Bilingual(const char* ru, const char* en)
        : russian(QString::fromUtf8(ru)), english(QString::fromUtf8(en)) {}

    // The tables' rule: English for language 2, Russian for every other value.
    [[nodiscard]] const QString& in(Language language) const {
        return language == Language::english ? english : russian;
    }
    // The status line's rule: the text of language 1 or 2, nothing for any other value.
    [[nodiscard]] std::optional<QString> shownIn(Language language) const {
        if (!isKnown(language)) {
            return std::nullopt;
        }
        return in(language);
    }
    // Both texts with the same arguments in their %1, %2, ...
    template <class... Args> [[nodiscard]] Bilingual arg(const Args&... args) const {
        return {russian.arg(args...), english.arg(args...)};
    }

    friend bool operator==(const Bilingual&, const Bilingual&) = default;
};

// The tables' rule for a pair of UTF-8 literals.
[[nodiscard]] inline QString pick(Language language, const char* russian, const char* english) {
    return QString::fromUtf8(language == Language::english ? english : russian);
}

} // namespace veltra::text
