#pragma once
// Durations as the program writes them: days, hours and minutes with the Russian plural forms
// of the day word; the seconds are dropped. The live view (working time, dose accumulation
// time) and the archive (the span of a session) share it.

#include "text/language.h"

#include <QString>

#include <cstdint>

namespace veltra::text {

// "1 день 2 ч 3 мин" / "1 day 2 h 3 min", "2 ч 0 мин", "5 мин", "0 мин"; with a leading blank
// when asked. English for language 2, Russian for every other value.
[[nodiscard]] QString formatDuration(std::int32_t seconds, Language language, bool leadingBlank);
// "день" for 1, "дня" for 2..4, "дней" otherwise; "day" for 1, "days" otherwise.
[[nodiscard]] QString dayWord(std::int32_t days, Language language);

} // namespace veltra::text
