// A threshold cell as a person may type it (any text), through the cell parser; and a wire
// float as the reader writes it into a cell, which must read back as the same number to two
// decimals.
#include "app/parameters_tab.h"
#include "link/codecs.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    const QChar separator = size > 0 && (data[0] & 1) != 0 ? ',' : '.';
    const QString typed =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto value = app::parseThresholdCell(typed, separator)) {
        if (!std::isfinite(*value)) {
            __builtin_trap();
        }
    }
    if (size >= 4) {
        // A cell shows what the reader decoded from four wire bytes.
        const double v = link::decodeFloat32(std::span<const std::uint8_t>(data, size), 0);
        {
            const QString cell = app::thresholdCellText(v, separator);
            if (cell != QLatin1String("-")) {
                const auto back = app::parseThresholdCell(cell, separator);
                // Half a unit of the second decimal, plus half a unit of the tenth significant
                // digit: the cell's text rounds on its written digits.
                const double tolerance = 0.005 + std::fabs(v) * 1e-9 + 1e-12;
                if (!back || std::fabs(*back - v) > tolerance) {
                    __builtin_trap();
                }
            }
        }
    }
    return 0;
}
