#pragma once
// The simulated instrument's state: a dosimeter-radiometer of one deviceType with its
// parameter block, a measuring mode, a clock, a dose rate fluctuating around a background
// level, an accumulated dose, a draining battery, a measurement counter that advances every two
// seconds and an archive of 800 records pre-filled with several sessions.
//
// The model builds the blocks the instrument answers with, byte for byte, and applies the
// writes it receives. It is thread-safe: the protocol thread and a test may use it at once.
// Time comes from an injectable clock so tests can step it.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace veltra::sim {

using SimClock = std::chrono::system_clock;

struct ModelOptions {
    int deviceType = 4;            // 1..7
    std::uint32_t seed = 1;        // the fluctuations are reproducible for a seed
    double background_uSvh = 0.12; // dose-rate background level
    bool archiveLogging = true;    // new measurements go to the archive per archiveOptions
    std::function<SimClock::time_point()> now = [] { return SimClock::now(); };
};

inline constexpr std::size_t currentDataSize = 49;
inline constexpr std::size_t identitySize = 20;
inline constexpr std::size_t readoutSize = 75;
inline constexpr std::size_t parameterBlockSize = 55;
inline constexpr std::size_t recordSize = 10;
inline constexpr std::size_t recordCount = 800;

// Offsets within the parameter block.
namespace param {
inline constexpr std::size_t backlightTime = 0;
inline constexpr std::size_t sound = 1;
inline constexpr std::size_t deviceLanguage = 2;
inline constexpr std::size_t backlightColour = 3;
inline constexpr std::size_t softwareVersion = 4;
inline constexpr std::size_t modeSetting = 5;
inline constexpr std::size_t displayView = 6;
inline constexpr std::size_t doseRateThresholdNo = 7;
inline constexpr std::size_t doseRateThresholds = 8;
inline constexpr std::size_t keptByte = 20;
inline constexpr std::size_t doseThresholdNo = 21;
inline constexpr std::size_t bluetoothPeriod = 22;
inline constexpr std::size_t doseThresholds = 24;
inline constexpr std::size_t keptFloats = 36;
inline constexpr std::size_t keptFloat = 48;
inline constexpr std::size_t deviceFlags = 52;
inline constexpr std::size_t deviceType = 53;
inline constexpr std::size_t archiveOptions = 54;
} // namespace param

// The instrument's factory parameter block for a type (1..7; other values are clamped).
[[nodiscard]] std::array<std::uint8_t, parameterBlockSize> factoryParameters(int deviceType);

// The archive the simulator starts with: several sessions of different modes, blank separators,
// a clock set back, an all-0xFF record and a zero-valued record, then blank memory.
[[nodiscard]] std::vector<std::uint8_t> prefilledArchive();
// Number of records prefilledArchive() fills before the blank tail.
inline constexpr std::size_t prefilledRecords = 642;

class InstrumentModel {
public:
    explicit InstrumentModel(ModelOptions options = {});

    // Blocks as the instrument answers them (command 0x10 @ 0, 0x10 @ 0x80, 0x30, 0x25).
    [[nodiscard]] std::array<std::uint8_t, currentDataSize> currentData();
    [[nodiscard]] std::array<std::uint8_t, identitySize> identity() const;
    [[nodiscard]] std::array<std::uint8_t, readoutSize> parameterReadout();
    [[nodiscard]] std::array<std::uint8_t, recordSize> archiveRecord(std::size_t number);

    // Writes the instrument applies (0xBB, 0x80, 0xAA, 0x50, 0x55).
    void setClockFromBcd(std::span<const std::uint8_t, 6> secMinHourDayMonthYear);
    void setParameters(std::span<const std::uint8_t, parameterBlockSize> block);
    void resetDose();
    void restoreFactorySettings();
    void eraseArchive();

    // State for tests and the demo.
    [[nodiscard]] std::array<std::uint8_t, parameterBlockSize> parameters() const;
    [[nodiscard]] std::chrono::seconds clockOffset() const;
    void setClockOffset(std::chrono::seconds offset); // instrument clock - PC clock
    void setMode(std::uint8_t mode);
    // Pinned values replace the simulated ones until unpinned with nullopt.
    void pinMeasurementCount(std::optional<std::uint32_t> count);
    void pinMainValue(std::optional<double> value);
    void pinStatusFlags(std::optional<std::uint16_t> flags);
    void setArchiveRecord(std::size_t number, std::span<const std::uint8_t, recordSize> bytes);
    [[nodiscard]] int doseResets() const;
    [[nodiscard]] int factoryResets() const;

private:
    // Brings the simulated quantities up to now; called with m_mutex held.
    void advance();
    [[nodiscard]] double measurementValue(std::uint64_t index) const;
    void logToArchive(double value, SimClock::time_point instrumentTime);
    [[nodiscard]] std::uint16_t memoryFill() const;

    mutable std::mutex m_mutex;
    ModelOptions m_options;
    std::array<std::uint8_t, parameterBlockSize> m_parameters{};
    std::vector<std::uint8_t> m_archive; // recordCount * recordSize
    std::size_t m_archiveNext = prefilledRecords;

    SimClock::time_point m_start;
    SimClock::time_point m_lastAdvance;
    std::chrono::seconds m_clockOffset{0};
    std::uint8_t m_mode = 0;
    std::uint64_t m_measurementIndex = 0;
    std::uint32_t m_countBase = 1000;
    double m_mainValue = 0.0;
    double m_dose_uSv = 3.75;
    double m_doseTime_s = 36000;
    double m_workingTime_s = 512000;
    double m_battery_V = 4.05;
    double m_lastLoggedValue = 0.0;
    SimClock::time_point m_lastLogTime;

    std::optional<std::uint32_t> m_pinnedCount;
    std::optional<double> m_pinnedMainValue;
    std::optional<std::uint16_t> m_pinnedFlags;
    int m_doseResets = 0;
    int m_factoryResets = 0;
};

} // namespace veltra::sim
