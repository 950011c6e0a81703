#include "params/parameter_block.h"

#include "link/codecs.h"

#include <algorithm>

namespace veltra::params {

using link::decodeFloat32;
using link::encodeFloat32;
using link::getWord16;
using link::getWord32;

namespace {

std::int8_t signedByte(std::uint8_t b) {
    return static_cast<std::int8_t>(b);
}
std::uint8_t rawByte(std::int8_t b) {
    return static_cast<std::uint8_t>(b);
}

// A wire float decodes exactly into a double (a single-precision value would not hold the
// exponent-255 patterns).
std::array<double, 3> threeFloats(std::span<const std::uint8_t> b, std::size_t at) {
    return {decodeFloat32(b, at), decodeFloat32(b, at + 4), decodeFloat32(b, at + 8)};
}

void copyAsSent(std::span<std::uint8_t> b, std::size_t at, const ParameterBlock& p) {
    std::copy_n(p.bytes.begin() + static_cast<std::ptrdiff_t>(at), 4,
                b.begin() + static_cast<std::ptrdiff_t>(at));
}

// A threshold: the wire float, or zeros when the value underflows the wire's normal range.
void putThreshold(std::span<std::uint8_t> b, std::size_t at, double value) {
    if (!encodeFloat32(b, at, value)) {
        std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(at), 4, std::uint8_t{0});
    }
}

// A kept float: the wire float, or the instrument's own bytes when the encoder cannot write it.
void putKept(std::span<std::uint8_t> b, std::size_t at, double value, const ParameterBlock& p) {
    if (!encodeFloat32(b, at, value)) {
        copyAsSent(b, at, p);
    }
}

} // namespace

bool wireFloatHolds(double value) {
    std::array<std::uint8_t, 4> scratch{};
    return encodeFloat32(scratch, 0, value);
}

ParameterBlock decodeParameterBlock(std::span<const std::uint8_t, blockSize> b) {
    ParameterBlock p;
    p.backlightTime = b[offset::backlightTime];
    p.sound = signedByte(b[offset::sound]);
    p.deviceLanguage = signedByte(b[offset::deviceLanguage]);
    p.backlightColour = signedByte(b[offset::backlightColour]);
    p.softwareVersion = signedByte(b[offset::softwareVersion]);
    p.modeSetting = signedByte(b[offset::modeSetting]);
    p.displayView = signedByte(b[offset::displayView]);
    p.doseRateThresholdNo = signedByte(b[offset::doseRateThresholdNo]);
    p.doseRateThresholds = threeFloats(b, offset::doseRateThresholds);
    p.keptByte = b[offset::keptByte];
    p.doseThresholdNo = signedByte(b[offset::doseThresholdNo]);
    p.bluetoothPeriod = getWord16(b, offset::bluetoothPeriod);
    p.doseThresholds = threeFloats(b, offset::doseThresholds);
    p.keptFloats = threeFloats(b, offset::keptFloats);
    p.keptFloat = decodeFloat32(b, offset::keptFloat);
    p.deviceFlags = b[offset::deviceFlags];
    p.deviceType = signedByte(b[offset::deviceType]);
    p.archiveOptions = b[offset::archiveOptions];
    std::copy(b.begin(), b.end(), p.bytes.begin());
    return p;
}

ParameterReadout decodeReadout(const std::array<std::uint8_t, readoutSize>& bytes) {
    const std::span<const std::uint8_t, readoutSize> b(bytes);
    ParameterReadout r;
    r.readoutWord0 = getWord16(b, 0);
    r.readoutValue4 = getWord32(b, 4);
    r.readoutValue8 = getWord32(b, 8);
    r.readoutValue12 = getWord32(b, 12);
    r.readoutFloat16 = decodeFloat32(b, 16);
    r.block = decodeParameterBlock(b.subspan<blockOffsetInReadout, blockSize>());
    return r;
}

std::optional<ParameterReadout> decodeReadout(std::span<const std::uint8_t> buffer) {
    if (buffer.size() < readoutSize) {
        return std::nullopt;
    }
    std::array<std::uint8_t, readoutSize> bytes{};
    std::copy_n(buffer.begin(), readoutSize, bytes.begin());
    return decodeReadout(bytes);
}

std::array<std::uint8_t, blockSize> encodeParameterBlock(const BlockToWrite& w) {
    const ParameterBlock& p = w.fields;
    std::array<std::uint8_t, blockSize> b;
    b.fill(0xFF);
    b[offset::backlightTime] = p.backlightTime;
    b[offset::sound] = rawByte(p.sound);
    b[offset::deviceLanguage] = rawByte(p.deviceLanguage);
    b[offset::backlightColour] = rawByte(p.backlightColour);
    b[offset::softwareVersion] = rawByte(p.softwareVersion);
    b[offset::modeSetting] = rawByte(p.modeSetting);
    b[offset::displayView] = rawByte(p.displayView);
    b[offset::doseRateThresholdNo] = rawByte(p.doseRateThresholdNo);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t at = offset::doseRateThresholds + 4 * i;
        if (w.doseRateAsSent[i]) {
            copyAsSent(b, at, p);
        } else {
            putThreshold(b, at, w.doseRateThresholds[i]);
        }
    }
    b[offset::keptByte] = p.keptByte;
    b[offset::doseThresholdNo] = rawByte(p.doseThresholdNo);
    link::putWord16(b, static_cast<std::uint16_t>(p.bluetoothPeriod), offset::bluetoothPeriod);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t at = offset::doseThresholds + 4 * i;
        if (w.doseAsSent[i]) {
            copyAsSent(b, at, p);
        } else {
            putThreshold(b, at, w.doseThresholds[i]);
        }
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if (p.keptFloats[i] >= 0.0) {
            putKept(b, offset::keptFloats + 4 * i, p.keptFloats[i], p);
        }
    }
    if (p.keptFloat >= 0.0) {
        putKept(b, offset::keptFloat, p.keptFloat, p);
    }
    b[offset::deviceFlags] = p.deviceFlags;
    b[offset::deviceType] = rawByte(p.deviceType);
    b[offset::archiveOptions] = p.archiveOptions;
    return b;
}

} // namespace veltra::params
