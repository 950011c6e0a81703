#pragma once
// Status-line messages: each a Russian and an English text, shown in the current language
// (1 Russian, 2 English; any other language shows nothing).

#include <QString>

#include <optional>

namespace veltra::app {

enum class StatusColour { black, red };

struct StatusMessage {
    const char* russian;
    const char* english;
};

namespace status {
inline constexpr StatusMessage noInstrument{"Прибор не обнаружен", "Connection error"};
inline constexpr StatusMessage portOpenError{"Невозможно открыть порт", "Error opening port"};
inline constexpr StatusMessage connectionError{"Ошибка связи", "Connection error"};
inline constexpr StatusMessage reading{"Чтение", "Reading"};
} // namespace status

// The text of the language, or nothing for a language other than 1 and 2.
[[nodiscard]] inline std::optional<QString> statusText(const StatusMessage& m, int language) {
    if (language == 1) {
        return QString::fromUtf8(m.russian);
    }
    if (language == 2) {
        return QString::fromUtf8(m.english);
    }
    return std::nullopt;
}

} // namespace veltra::app
