// The current-data block as the instrument's line may bring it (any 49 bytes), through the
// decoder and the presentation in both languages and with both decimal separators; the bytes
// after the block are the thresholds in effect.
#include "live/presentation.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    std::array<std::uint8_t, live::CurrentData::size> block{};
    std::memcpy(block.data(), data, std::min(size, block.size()));
    const live::CurrentData reading = live::decodeCurrentData(block);

    live::ThresholdsInEffect thresholds;
    // After the block: two threshold numbers and six thresholds, any bit patterns at all.
    struct Extra {
        std::int32_t numbers[2];
        double values[6];
    } extra{};
    if (size > block.size()) {
        std::memcpy(&extra, data + block.size(), std::min(size - block.size(), sizeof extra));
    }
    thresholds.doseRateThresholdNo = extra.numbers[0];
    thresholds.doseThresholdNo = extra.numbers[1];
    for (std::size_t i = 0; i < 3; ++i) {
        thresholds.doseRateThresholds[i] = extra.values[i];
        thresholds.doseThresholds[i] = extra.values[3 + i];
    }
    for (const auto language :
         {text::Language::russian, text::Language::english, text::Language::none}) {
        for (const QChar separator : {QChar('.'), QChar(',')}) {
            const live::ReadingsView v =
                live::presentReadings(reading, thresholds, language, separator);
            // Every number text of a redraw is a text a person can read: never empty.
            if (v.measurementCountText.isEmpty() || v.memoryFillPercentText.isEmpty() ||
                v.errorPercentText.isEmpty()) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
