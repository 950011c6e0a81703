#include "link/codecs.h"

#include <cmath>

namespace veltra::link {

namespace {

// The standard Modbus tables: for index i, the CRC of the single byte i split into the byte
// that goes to the high side (XORed into crcLo of the next step) and the one that becomes
// the new crcHi.
struct CrcTables {
    std::array<std::uint8_t, 256> high{};
    std::array<std::uint8_t, 256> low{};
};

constexpr CrcTables makeCrcTables() {
    CrcTables t;
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? (crc >> 1) ^ 0xA001U : crc >> 1;
        }
        // The reflected CRC of one byte: its low byte pairs with the register's high byte.
        t.high[i] = static_cast<std::uint8_t>(crc & 0xFFU);
        t.low[i] = static_cast<std::uint8_t>(crc >> 8);
    }
    return t;
}

constexpr CrcTables kCrcTables = makeCrcTables();

// Spot checks against the published Modbus tables.
static_assert(kCrcTables.high[1] == 0xC1 && kCrcTables.low[1] == 0xC0);
static_assert(kCrcTables.high[255] == 0x40 && kCrcTables.low[255] == 0x40);

} // namespace

const std::array<std::uint8_t, 256>& crcHighTable() {
    return kCrcTables.high;
}
const std::array<std::uint8_t, 256>& crcLowTable() {
    return kCrcTables.low;
}

Crc crc16Modbus(std::span<const std::uint8_t> bytes) {
    Crc crc;
    for (const std::uint8_t b : bytes) {
        const std::uint8_t index = crc.lo ^ b;
        crc.lo = crc.hi ^ kCrcTables.high[index];
        crc.hi = kCrcTables.low[index];
    }
    return crc;
}

double decodeFloat32(std::span<const std::uint8_t, 4> b) {
    if (b[0] == 0xFF && b[1] == 0xFF && b[2] == 0xFF && b[3] == 0xFF) {
        return 0.0;
    }
    const bool negative = (b[3] & 0x80) != 0;
    const int exponent = ((b[3] & 0x7F) << 1) | (b[2] >> 7);
    if (exponent == 0) {
        return 0.0;
    }
    const std::uint32_t mantissa = (static_cast<std::uint32_t>(b[2] | 0x80) << 16) |
                                   (static_cast<std::uint32_t>(b[1]) << 8) | b[0];
    // M x 2 x 2^-24 x 2^(E-127), M in [2^23, 2^24)
    const double value = std::ldexp(static_cast<double>(mantissa), exponent - 127 - 23);
    return negative ? -value : value;
}

double decodeFloat32(std::span<const std::uint8_t> buffer, std::size_t offset) {
    if (offset > buffer.size() || buffer.size() - offset < 4) {
        return 0.0;
    }
    return decodeFloat32(buffer.subspan(offset).first<4>());
}

bool encodeFloat32(std::span<std::uint8_t> buffer, std::size_t offset, double x) {
    if (!std::isfinite(x) || offset > buffer.size() || buffer.size() - offset < 4) {
        return false;
    }
    const bool negative = x < 0;
    double m = std::fabs(x);
    if (m == 0.0) {
        buffer[offset] = buffer[offset + 1] = buffer[offset + 2] = buffer[offset + 3] = 0;
        return true;
    }
    // Normalise to m in [0.5, 1) with |x| = m * 2^c.
    int c = 0;
    if (m >= 0.5) {
        while (m >= 1.0) {
            m /= 2.0;
            ++c;
        }
    } else {
        while (m < 0.5) {
            m *= 2.0;
            --c;
        }
    }
    const int exponent = c + 126;
    if (exponent < 1 || exponent > 254) {
        return false;
    }
    // Truncated toward zero, not rounded: the instrument's own conversion does the same.
    const auto mantissa = static_cast<std::uint32_t>(m * 16777216.0);
    const auto e = static_cast<std::uint32_t>(exponent);
    buffer[offset] = static_cast<std::uint8_t>(mantissa & 0xFFU);
    buffer[offset + 1] = static_cast<std::uint8_t>((mantissa >> 8) & 0xFFU);
    buffer[offset + 2] = static_cast<std::uint8_t>(((mantissa >> 16) & 0x7FU) | ((e & 1U) << 7));
    buffer[offset + 3] = static_cast<std::uint8_t>((e >> 1) | (negative ? 0x80U : 0U));
    return true;
}

std::array<std::uint8_t, 4> encodeFloat32Bytes(double x) {
    std::array<std::uint8_t, 4> out{};
    if (!encodeFloat32(out, 0, x)) {
        out.fill(0);
    }
    return out;
}

bool putWord16(std::span<std::uint8_t> buffer, std::uint16_t value, std::size_t offset) {
    if (offset > buffer.size() || buffer.size() - offset < 2) {
        return false;
    }
    buffer[offset] = static_cast<std::uint8_t>(value & 0xFFU);
    buffer[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    return true;
}

std::uint16_t getWord16(std::span<const std::uint8_t> buffer, std::size_t offset) {
    if (offset > buffer.size() || buffer.size() - offset < 2) {
        return 0;
    }
    return static_cast<std::uint16_t>(buffer[offset] | (buffer[offset + 1] << 8));
}

std::uint32_t getWord32(std::span<const std::uint8_t> buffer, std::size_t offset) {
    if (offset > buffer.size() || buffer.size() - offset < 4) {
        return 0;
    }
    return static_cast<std::uint32_t>(buffer[offset]) |
           (static_cast<std::uint32_t>(buffer[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(buffer[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(buffer[offset + 3]) << 24);
}

} // namespace veltra::link
