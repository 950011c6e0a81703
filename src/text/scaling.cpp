#include "text/scaling.h"

namespace veltra::text {

Scaled scaleMicro(double v) {
    if (v < 1000.0) {
        return {v, 0};
    }
    if (v < 1000000.0) {
        return {v * 0.001, 1};
    }
    return {v * 0.000001, 2};
}

int readoutDecimals(double v) {
    if (v < 10.0) {
        return 3;
    }
    if (v < 100.0) {
        return 2;
    }
    return 1;
}

std::uint8_t magnitudeClass(std::int32_t value) {
    if (value < 1000) {
        return 0;
    }
    if (value < 1000000) {
        return 1;
    }
    if (value < 1000000000) {
        return 2;
    }
    return 255;
}

} // namespace veltra::text
