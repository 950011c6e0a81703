#include "live/current_data.h"

#include "link/codecs.h"

#include <gtest/gtest.h>

using namespace veltra;

namespace {

// A block as the instrument sends it, written field by field.
std::array<std::uint8_t, 49> sampleBlock() {
    std::array<std::uint8_t, 49> b{};
    link::putWord16(b, 641, 0);
    b[2] = 0xAB; // reserved, ignored
    b[3] = 0xCD;
    const std::uint32_t doseTime = 0x01020304;
    const std::uint32_t working = 3'600'000;
    const std::uint32_t count = 0xFFFFFFF0;
    for (int i = 0; i < 4; ++i) {
        b[4 + i] = static_cast<std::uint8_t>(doseTime >> (8 * i));
        b[12 + i] = static_cast<std::uint8_t>(working >> (8 * i));
        b[16 + i] = static_cast<std::uint8_t>(count >> (8 * i));
    }
    link::encodeFloat32(b, 8, 3.875);
    link::encodeFloat32(b, 20, 22.5);
    link::encodeFloat32(b, 24, 12.25);
    link::encodeFloat32(b, 28, 17.5);
    link::encodeFloat32(b, 32, 0.125);
    b[36] = 0x09; // 09 s
    b[37] = 0x05; // 05 min
    b[38] = 0x14; // 14 h
    b[39] = 0x27; // 27th
    b[40] = 0x03; // March
    b[41] = 0x24; // 2024
    link::putWord16(b, 0x00B4, 42);
    link::encodeFloat32(b, 44, -1.0);
    b[48] = 4;
    return b;
}

} // namespace

TEST(CurrentData, DecodesEveryField) {
    const auto d = live::decodeCurrentData(sampleBlock());
    EXPECT_EQ(d.memoryFill, 641);
    EXPECT_EQ(d.doseTime, 0x01020304U);
    EXPECT_EQ(d.batteryVoltage, 3.875);
    EXPECT_EQ(d.workingTime, 3'600'000U);
    EXPECT_EQ(d.measurementCount, 0xFFFFFFF0U);
    EXPECT_EQ(d.reserved20, 22.5);
    EXPECT_EQ(d.doseValue, 12.25);
    EXPECT_EQ(d.errorPercent, 17.5);
    EXPECT_EQ(d.mainValue, 0.125);
    EXPECT_EQ(d.clock, (text::ClockFields{9, 5, 14, 27, 3, 2024}));
    EXPECT_EQ(d.statusFlags, 0x00B4);
    EXPECT_EQ(d.reserved44, -1.0);
    EXPECT_EQ(d.mode, 4);
}

TEST(CurrentData, DayLosesItsTopTwoBits) {
    auto b = sampleBlock();
    for (const auto& [byte, day] : {std::pair{0x95, 15}, {0xD5, 15}, {0x55, 15}, {0x31, 31}}) {
        b[39] = static_cast<std::uint8_t>(byte);
        EXPECT_EQ(live::decodeCurrentData(b).clock.day, day) << std::hex << byte;
    }
}

TEST(CurrentData, ErasedFloatsReadAsZero) {
    auto b = sampleBlock();
    std::fill(b.begin() + 32, b.begin() + 36, std::uint8_t{0xFF});
    EXPECT_EQ(live::decodeCurrentData(b).mainValue, 0.0);
}

TEST(CurrentData, BufferForm) {
    std::vector<std::uint8_t> buffer(1000, 0);
    const auto b = sampleBlock();
    std::copy(b.begin(), b.end(), buffer.begin());
    EXPECT_EQ(live::decodeCurrentData(buffer), live::decodeCurrentData(b));
    EXPECT_FALSE(live::decodeCurrentData(std::span(buffer).first(48)));
}
