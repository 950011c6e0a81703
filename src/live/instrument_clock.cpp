#include "live/instrument_clock.h"

#include "link/codecs.h"

#include <cstdlib>

namespace veltra::live {

bool clockSyncNeeded(const text::ClockFields& c, std::time_t pcNow) {
    const std::time_t t = text::instrumentTime(c, pcNow);
    const auto difference = static_cast<long long>(t) - static_cast<long long>(pcNow);
    return std::llabs(difference) > clockToleranceSeconds;
}

std::array<std::uint8_t, clockBlockSize> clockBlock(const std::tm& t) {
    return {link::encodeBcd(t.tm_sec),     link::encodeBcd(t.tm_min),
            link::encodeBcd(t.tm_hour),    link::encodeBcd(t.tm_mday),
            link::encodeBcd(t.tm_mon + 1), link::encodeBcd(t.tm_year - 100)};
}

} // namespace veltra::live
