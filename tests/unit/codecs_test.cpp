#include "link/codecs.h"
#include "link/frame.h"

#include <gtest/gtest.h>

#include <limits>
#include <string_view>
#include <vector>

using namespace veltra::link;

namespace {

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

using Bytes4 = std::array<std::uint8_t, 4>;

} // namespace

TEST(Crc16Modbus, PublishedCheckValue) {
    const auto crc = crc16Modbus(bytesOf("123456789"));
    EXPECT_EQ(crc.value(), 0x4B37);
    EXPECT_EQ(crc.lo, 0x37); // sent first
    EXPECT_EQ(crc.hi, 0x4B);
}

TEST(Crc16Modbus, EmptyBlockIsFFFF) {
    EXPECT_EQ(crc16Modbus({}), (Crc{0xFF, 0xFF}));
}

TEST(Crc16Modbus, BlockFollowedByItsCrcChecksToZero) {
    auto block = bytesOf("any block of data \x01\x02\xFE");
    const auto crc = crc16Modbus(block);
    block.push_back(crc.lo);
    block.push_back(crc.hi);
    EXPECT_TRUE(crc16Modbus(block).isZero());
    block[3] ^= 0x01;
    EXPECT_FALSE(crc16Modbus(block).isZero());
}

TEST(Crc16Modbus, TablesMatchThePublishedModbusTables) {
    // First and last entries of the standard tables (auchCRCHi / auchCRCLo).
    const std::array<std::uint8_t, 8> hiStart{0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41};
    const std::array<std::uint8_t, 8> loStart{0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(crcHighTable()[i], hiStart[i]) << i;
        EXPECT_EQ(crcLowTable()[i], loStart[i]) << i;
    }
    EXPECT_EQ(crcHighTable()[255], 0x40);
    EXPECT_EQ(crcLowTable()[255], 0x40);
    EXPECT_EQ(crcHighTable()[254], 0x81);
    EXPECT_EQ(crcLowTable()[254], 0x80);
}

struct FrameCase {
    const char* name;
    Frame frame;
    std::array<std::uint8_t, 7> wire;
};

TEST(Frame, RequestsOnTheWire) {
    const FrameCase cases[] = {
        {"poll", {0x10, 49, 0}, {0x10, 0x00, 0x31, 0x00, 0x00, 0xB4, 0x0C}},
        {"identity probe", {0x10, 20, 0x80}, {0x10, 0x00, 0x14, 0x00, 0x80, 0xA4, 0x67}},
        {"archive record 0", {0x25, 10, 0}, {0x25, 0x00, 0x0A, 0x00, 0x00, 0x49, 0xC5}},
        {"archive record 799", {0x25, 10, 799}, {0x25, 0x00, 0x0A, 0x03, 0x1F, 0x08, 0xFD}},
        {"erase archive", {0x55, 0, 0}, {0x55, 0x00, 0x00, 0x00, 0x00, 0x28, 0x0C}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.frame.bytes(), c.wire) << c.name;
        const auto back = Frame::parse(c.wire);
        ASSERT_TRUE(back) << c.name;
        EXPECT_EQ(back->command, c.frame.command);
        EXPECT_EQ(back->length, c.frame.length);
        EXPECT_EQ(back->address, c.frame.address);
    }
    auto spoiled = cases[0].wire;
    spoiled[6] ^= 1;
    EXPECT_FALSE(Frame::parse(spoiled));
}

TEST(Float32, Decode) {
    const std::pair<Bytes4, double> cases[] = {
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0.0},                                      // erased memory
        {{0x00, 0x00, 0x00, 0x00}, 0.0},     {{0x00, 0x00, 0x00, 0x80}, 0.0}, // negative zero
        {{0x01, 0x00, 0x00, 0x00}, 0.0},                                      // subnormal
        {{0x00, 0x00, 0x80, 0x3F}, 1.0},     {{0x00, 0x00, 0x80, 0xBF}, -1.0},
        {{0x00, 0x00, 0x00, 0xC0}, -2.0},    {{0xCD, 0xCC, 0xCC, 0x3D}, static_cast<double>(0.1f)},
        {{0x00, 0x00, 0x80, 0x7F}, 0x1p128}, // exponent 255 is just a large number
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(decodeFloat32(bytes), expected)
            << std::hex << int(bytes[0]) << ' ' << int(bytes[1]) << ' ' << int(bytes[2]) << ' '
            << int(bytes[3]);
    }
}

TEST(Float32, EncodeTruncatesTheMantissa) {
    const std::pair<double, Bytes4> cases[] = {
        {0.0, {0x00, 0x00, 0x00, 0x00}},   {1.0, {0x00, 0x00, 0x80, 0x3F}},
        {-2.0, {0x00, 0x00, 0x00, 0xC0}},  {0.1, {0xCC, 0xCC, 0xCC, 0x3D}},
        {0.30, {0x99, 0x99, 0x99, 0x3E}},  {0.301, {0xAC, 0x1C, 0x9A, 0x3E}},
        {0.001, {0x6E, 0x12, 0x83, 0x3A}}, {-1.0, {0x00, 0x00, 0x80, 0xBF}},
        {0.5, {0x00, 0x00, 0x00, 0x3F}},   {3.0e38, {0xE5, 0xB1, 0x61, 0x7F}},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(encodeFloat32Bytes(value), expected) << value;
    }
}

TEST(Float32, EncodeWritesAtTheOffsetOnly) {
    std::array<std::uint8_t, 8> buffer;
    buffer.fill(0xEE);
    ASSERT_TRUE(encodeFloat32(buffer, 2, 1.0));
    EXPECT_EQ(buffer,
              (std::array<std::uint8_t, 8>{0xEE, 0xEE, 0x00, 0x00, 0x80, 0x3F, 0xEE, 0xEE}));
}

TEST(Float32, EncodeRefusesWhatTheWireCannotHold) {
    std::array<std::uint8_t, 4> buffer{1, 2, 3, 4};
    for (const double bad :
         {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN(), 1e39, 1e-45}) {
        EXPECT_FALSE(encodeFloat32(buffer, 0, bad)) << bad;
        EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
    }
    EXPECT_FALSE(encodeFloat32(buffer, 1, 1.0)); // does not fit
}

TEST(Float32, RoundTripOfSingleValuesIsExact) {
    for (const float f : {0.12f, 1.5f, 123456.78f, -0.003f, 1e-30f, 3.3e38f, 7.0f}) {
        EXPECT_EQ(decodeFloat32(encodeFloat32Bytes(f)), static_cast<double>(f)) << f;
    }
}

TEST(Bcd, DecodeAndEncode) {
    EXPECT_EQ(decodeBcd(0x59), 59);
    EXPECT_EQ(decodeBcd(0x99), 99);
    EXPECT_EQ(decodeBcd(0x00), 0);
    EXPECT_EQ(encodeBcd(7), 0x07);
    EXPECT_EQ(encodeBcd(24), 0x24);
    for (int n = 0; n <= 99; ++n) {
        EXPECT_EQ(decodeBcd(encodeBcd(n)), n);
    }
}

TEST(Word16, LittleEndianAtOffset) {
    std::array<std::uint8_t, 30> buffer{};
    ASSERT_TRUE(putWord16(buffer, 0x0E10, 22));
    EXPECT_EQ(buffer[22], 0x10);
    EXPECT_EQ(buffer[23], 0x0E);
    EXPECT_EQ(getWord16(buffer, 22), 0x0E10);
    EXPECT_FALSE(putWord16(buffer, 1, 29)); // would run past the end
    EXPECT_EQ(buffer[29], 0);
}
