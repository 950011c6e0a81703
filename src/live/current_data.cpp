#include "live/current_data.h"

#include "link/codecs.h"

#include <algorithm>

namespace veltra::live {

namespace {
constexpr std::size_t clockOffset = 36;
} // namespace

using link::decodeFloat32;
using link::getWord16;
using link::getWord32;

CurrentData decodeCurrentData(const std::array<std::uint8_t, CurrentData::size>& b) {
    CurrentData d;
    d.memoryFill = getWord16(b, 0);
    d.doseTime = getWord32(b, 4);
    d.batteryVoltage = decodeFloat32(b, 8);
    d.workingTime = getWord32(b, 12);
    d.measurementCount = getWord32(b, 16);
    d.reserved20 = decodeFloat32(b, 20);
    d.doseValue = decodeFloat32(b, 24);
    d.errorPercent = decodeFloat32(b, 28);
    d.mainValue = decodeFloat32(b, 32);
    d.clock = text::decodeClockFields(std::span(b).subspan<clockOffset, text::clockFieldsSize>());
    d.statusFlags = getWord16(b, 42);
    d.reserved44 = decodeFloat32(b, 44);
    d.mode = b[48];
    return d;
}

std::optional<CurrentData> decodeCurrentData(std::span<const std::uint8_t> buffer) {
    if (buffer.size() < CurrentData::size) {
        return std::nullopt;
    }
    std::array<std::uint8_t, CurrentData::size> block{};
    std::copy_n(buffer.begin(), CurrentData::size, block.begin());
    return decodeCurrentData(block);
}

MainQuantity mainQuantity(std::uint8_t mode) {
    switch (mode) {
    case 2:
        return {"beta flux density", "1/(min*cm2)", false};
    case 4:
        return {"alpha flux density", "1/(min*cm2)", false};
    case 5:
        return {"volumetric activity", "Bq/g", false};
    case 0:
    case 1:
    case 3:
    case 6:
        return {"dose rate", "uSv/h", true};
    default:
        return {"unknown", "", false};
    }
}

} // namespace veltra::live
