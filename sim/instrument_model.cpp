#include "instrument_model.h"

#include "link/codecs.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <random>

namespace veltra::sim {

using link::encodeBcd;
using link::encodeFloat32;
using link::putWord16;
using std::chrono::duration_cast;
using std::chrono::seconds;

namespace {

constexpr std::uint32_t serialNumber = 240117;

void putWord32(std::span<std::uint8_t> b, std::size_t offset, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) {
        b[offset + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFFU);
    }
}

// Archive mode bits (byte 7 of a record) for a measuring mode.
std::uint8_t archiveModeBits(std::uint8_t mode) {
    switch (mode) {
    case 2:
        return 0x80; // beta flux
    case 4:
        return 0xC0; // alpha flux
    case 5:
        return 0x40; // volumetric activity
    default:
        return 0x00; // dose rate
    }
}

struct CalendarFields {
    int second, minute, hour, day, month, year;
};

// Local calendar fields of a moment, as the instrument's clock shows them.
CalendarFields localFields(SimClock::time_point t) {
    const std::time_t tt = SimClock::to_time_t(t);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &tt);
#else
    localtime_r(&tt, &tm);
#endif
    return {tm.tm_sec, tm.tm_min, tm.tm_hour, tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900};
}

// Calendar fields of a civil time given as seconds since 1970 without a zone (archive times).
CalendarFields civilFields(std::int64_t civilSeconds) {
    using namespace std::chrono;
    const sys_seconds t{seconds{civilSeconds}};
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss hms{t - day};
    return {static_cast<int>(hms.seconds().count()), static_cast<int>(hms.minutes().count()),
            static_cast<int>(hms.hours().count()),   static_cast<int>(unsigned(ymd.day())),
            static_cast<int>(unsigned(ymd.month())), static_cast<int>(ymd.year())};
}

std::int64_t civilSeconds(int year, unsigned month, unsigned day, int hour, int minute) {
    using namespace std::chrono;
    const sys_days d{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}};
    return d.time_since_epoch().count() * 86400LL + hour * 3600LL + minute * 60LL;
}

void putRecord(std::span<std::uint8_t> record, double value, const CalendarFields& f,
               std::uint8_t modeBits) {
    encodeFloat32(record, 0, value);
    record[4] = encodeBcd(f.second);
    record[5] = encodeBcd(f.minute);
    record[6] = encodeBcd(f.hour);
    record[7] = static_cast<std::uint8_t>(encodeBcd(f.day) | modeBits);
    record[8] = encodeBcd(f.month);
    record[9] = encodeBcd(f.year - 2000);
}

// Typical level of the main reading in a mode.
double modeLevel(std::uint8_t mode, double background) {
    switch (mode) {
    case 2:
        return 6.5; // beta, 1/(min*cm2)
    case 4:
        return 0.45; // alpha, 1/(min*cm2)
    case 5:
        return 12.0; // volumetric activity, Bq/g
    default:
        return background; // dose rate, µSv/h
    }
}

} // namespace

std::array<std::uint8_t, parameterBlockSize> factoryParameters(int deviceType) {
    const int type = std::clamp(deviceType, 1, 7);
    const bool bluetooth = type == 2 || type == 7;
    std::array<std::uint8_t, parameterBlockSize> p{};
    p[param::backlightTime] = 60;
    p[param::sound] = 1;
    p[param::deviceLanguage] = 0;
    p[param::backlightColour] = type == 3 ? 1 : 0;
    p[param::softwareVersion] = static_cast<std::uint8_t>(10 + type);
    p[param::modeSetting] = 0;
    p[param::displayView] = 0;
    p[param::doseRateThresholdNo] = 1;
    encodeFloat32(p, param::doseRateThresholds + 0, 0.30);
    encodeFloat32(p, param::doseRateThresholds + 4, 1.20);
    encodeFloat32(p, param::doseRateThresholds + 8, 12.0);
    p[param::keptByte] = 0x5A;
    p[param::doseThresholdNo] = 1;
    putWord16(p, bluetooth ? 600 : 0, param::bluetoothPeriod);
    encodeFloat32(p, param::doseThresholds + 0, 100.0);
    encodeFloat32(p, param::doseThresholds + 4, 1000.0);
    encodeFloat32(p, param::doseThresholds + 8, 10000.0);
    encodeFloat32(p, param::keptFloats + 0, 1.0);
    encodeFloat32(p, param::keptFloats + 4, 0.95);
    encodeFloat32(p, param::keptFloats + 8, 1.08);
    encodeFloat32(p, param::keptFloat, 0.25);
    p[param::deviceFlags] = bluetooth ? 0x08 : 0x00;
    p[param::deviceType] = static_cast<std::uint8_t>(type);
    p[param::archiveOptions] = 0x04; // every minute
    return p;
}

std::vector<std::uint8_t> prefilledArchive() {
    std::vector<std::uint8_t> a(recordCount * recordSize, 0);
    auto record = [&](std::size_t i) { return std::span(a).subspan(i * recordSize, recordSize); };
    auto fill = [&](std::size_t first, std::size_t count, std::int64_t start, int step_s,
                    std::uint8_t modeBits, double level) {
        for (std::size_t k = 0; k < count; ++k) {
            const double wave = 1.0 + 0.2 * std::sin(0.7 * static_cast<double>(k)) +
                                0.1 * std::cos(1.3 * static_cast<double>(k));
            putRecord(record(first + k), level * wave,
                      civilFields(start + static_cast<std::int64_t>(k) * step_s), modeBits);
        }
    };
    // Session 1: dose rate, one sample a minute.
    fill(0, 120, civilSeconds(2026, 11, 2, 9, 0), 60, 0x00, 0.13);
    // 120: blank separator.
    // Session 2: beta flux every 30 s, interrupted by an all-0xFF record and a zero reading.
    fill(121, 140, civilSeconds(2026, 11, 3, 14, 0), 30, 0x80, 6.5);
    std::fill_n(record(261).begin(), recordSize, std::uint8_t{0xFF});
    fill(262, 69, civilSeconds(2026, 11, 3, 15, 10), 30, 0x80, 6.5);
    putRecord(record(331), 0.0, civilFields(civilSeconds(2026, 11, 3, 15, 45)), 0x80);
    // Session 3: the clock was set back: alpha flux from an earlier time of the same day.
    fill(332, 149, civilSeconds(2026, 11, 3, 10, 0), 60, 0xC0, 0.45);
    // 481, 482: a run of blanks.
    // Session 4: volumetric activity every two minutes.
    fill(483, 158, civilSeconds(2026, 11, 10, 8, 0), 120, 0x40, 12.0);
    // 641: an all-0xFF record right before the blank tail.
    std::fill_n(record(641).begin(), recordSize, std::uint8_t{0xFF});
    return a;
}

InstrumentModel::InstrumentModel(ModelOptions options)
    : m_options(std::move(options)), m_parameters(factoryParameters(m_options.deviceType)),
      m_archive(prefilledArchive()) {
    m_start = m_options.now();
    m_lastAdvance = m_start;
    m_lastLogTime = m_start;
    m_mode = 0;
    m_mainValue = measurementValue(0);
    m_lastLoggedValue = m_mainValue;
}

double InstrumentModel::measurementValue(std::uint64_t index) const {
    std::mt19937 rng(static_cast<std::mt19937::result_type>(m_options.seed * 1000003ULL + index));
    std::normal_distribution<double> spread(0.0, 0.15);
    const double level = modeLevel(m_mode, m_options.background_uSvh);
    return level * std::max(0.2, 1.0 + spread(rng));
}

void InstrumentModel::advance() {
    const auto now = m_options.now();
    const double dt = std::max(0.0, std::chrono::duration<double>(now - m_lastAdvance).count());
    m_lastAdvance = std::max(now, m_lastAdvance);
    m_dose_uSv += m_options.background_uSvh * dt / 3600.0;
    m_doseTime_s += dt;
    m_workingTime_s += dt;
    m_battery_V = std::max(3.3, m_battery_V - 0.02 * dt / 3600.0);

    const auto index = static_cast<std::uint64_t>(
        std::max<std::int64_t>(0, duration_cast<seconds>(now - m_start).count() / 2));
    if (index == m_measurementIndex) {
        return;
    }
    // Log at most the last few measurements of a long gap.
    const std::uint64_t first = std::max(m_measurementIndex + 1, index > 8 ? index - 8 : 0);
    for (std::uint64_t i = first; i <= index; ++i) {
        m_mainValue = measurementValue(i);
        logToArchive(m_mainValue, now + m_clockOffset);
    }
    m_measurementIndex = index;
}

void InstrumentModel::logToArchive(double value, SimClock::time_point instrumentTime) {
    if (!m_options.archiveLogging || m_archiveNext >= recordCount) {
        return;
    }
    const std::uint8_t options = m_parameters[param::archiveOptions];
    const double change =
        m_lastLoggedValue > 0 ? std::fabs(value - m_lastLoggedValue) / m_lastLoggedValue : 1.0;
    const auto sinceLog = instrumentTime - m_lastLogTime;
    const bool log = (options & 0x10) != 0 || ((options & 0x01) != 0 && change > 0.30) ||
                     ((options & 0x02) != 0 && change > 1.0) ||
                     ((options & 0x04) != 0 && sinceLog >= std::chrono::minutes(1)) ||
                     ((options & 0x08) != 0 && sinceLog >= std::chrono::hours(1));
    if (!log) {
        return;
    }
    putRecord(std::span(m_archive).subspan(m_archiveNext * recordSize, recordSize), value,
              localFields(instrumentTime), archiveModeBits(m_mode));
    ++m_archiveNext;
    m_lastLoggedValue = value;
    m_lastLogTime = instrumentTime;
}

std::uint16_t InstrumentModel::memoryFill() const {
    return static_cast<std::uint16_t>(std::min(m_archiveNext, recordCount));
}

std::array<std::uint8_t, currentDataSize> InstrumentModel::currentData() {
    std::lock_guard lock(m_mutex);
    advance();
    std::array<std::uint8_t, currentDataSize> b{};
    const double mainValue = m_pinnedMainValue.value_or(m_mainValue);
    putWord16(b, memoryFill(), 0);
    putWord32(b, 4, static_cast<std::uint32_t>(m_doseTime_s));
    encodeFloat32(b, 8, m_battery_V);
    putWord32(b, 12, static_cast<std::uint32_t>(m_workingTime_s));
    putWord32(b, 16,
              m_pinnedCount.value_or(m_countBase + static_cast<std::uint32_t>(m_measurementIndex)));
    encodeFloat32(b, 20, 22.5);
    encodeFloat32(b, 24, m_dose_uSv);
    encodeFloat32(b, 28, 10.0 + 5.0 * std::fabs(std::sin(static_cast<double>(m_measurementIndex))));
    encodeFloat32(b, 32, mainValue);

    const CalendarFields clock = localFields(m_options.now() + m_clockOffset);
    b[36] = encodeBcd(clock.second);
    b[37] = encodeBcd(clock.minute);
    b[38] = encodeBcd(clock.hour);
    b[39] = encodeBcd(clock.day);
    b[40] = encodeBcd(clock.month);
    b[41] = encodeBcd(clock.year % 100);

    std::uint16_t flags = 0;
    const bool doseRateMode = m_mode != 2 && m_mode != 4 && m_mode != 5;
    const auto threshold = [&](std::size_t numberAt, std::size_t valuesAt) {
        const int n = std::clamp(static_cast<int>(m_parameters[numberAt]), 1, 3);
        std::array<std::uint8_t, 4> v{};
        std::copy_n(m_parameters.begin() + static_cast<std::ptrdiff_t>(valuesAt + 4 * (n - 1)), 4,
                    v.begin());
        return link::decodeFloat32(v);
    };
    const double doseRateLimit = threshold(param::doseRateThresholdNo, param::doseRateThresholds);
    const double doseLimit = threshold(param::doseThresholdNo, param::doseThresholds);
    if (doseRateMode && doseRateLimit > 0.001 && mainValue > doseRateLimit) {
        flags |= 0x10;
    }
    if (doseLimit > 0.001 && m_dose_uSv > doseLimit) {
        flags |= 0x20;
    }
    if (m_archiveNext >= recordCount) {
        flags |= 0x80;
    }
    putWord16(b, m_pinnedFlags.value_or(flags), 42);
    encodeFloat32(b, 44, 0.0);
    b[48] = m_mode;
    return b;
}

std::array<std::uint8_t, identitySize> InstrumentModel::identity() const {
    std::lock_guard lock(m_mutex);
    std::array<std::uint8_t, identitySize> b{};
    b[0] = m_parameters[param::deviceType];
    b[1] = m_parameters[param::softwareVersion];
    putWord32(b, 2, serialNumber);
    constexpr char tag[] = "SIMULATED";
    std::copy(std::begin(tag), std::end(tag) - 1, b.begin() + 6);
    return b;
}

std::array<std::uint8_t, readoutSize> InstrumentModel::parameterReadout() {
    std::lock_guard lock(m_mutex);
    advance();
    std::array<std::uint8_t, readoutSize> b{};
    putWord16(b, 0x0001, 0);
    putWord32(b, 4, serialNumber);
    putWord32(b, 8, static_cast<std::uint32_t>(m_workingTime_s));
    putWord32(b, 12, static_cast<std::uint32_t>(m_doseTime_s));
    encodeFloat32(b, 16, m_dose_uSv);
    std::copy(m_parameters.begin(), m_parameters.end(), b.begin() + 20);
    return b;
}

std::array<std::uint8_t, recordSize> InstrumentModel::archiveRecord(std::size_t number) {
    std::lock_guard lock(m_mutex);
    std::array<std::uint8_t, recordSize> r{};
    if (number < recordCount) {
        std::copy_n(m_archive.begin() + static_cast<std::ptrdiff_t>(number * recordSize),
                    recordSize, r.begin());
    }
    return r;
}

void InstrumentModel::setClockFromBcd(std::span<const std::uint8_t, 6> f) {
    std::lock_guard lock(m_mutex);
    std::tm tm{};
    tm.tm_sec = link::decodeBcd(f[0]);
    tm.tm_min = link::decodeBcd(f[1]);
    tm.tm_hour = link::decodeBcd(f[2]);
    tm.tm_mday = link::decodeBcd(f[3]);
    tm.tm_mon = link::decodeBcd(f[4]) - 1;
    tm.tm_year = link::decodeBcd(f[5]) + 100;
    tm.tm_isdst = -1;
    const std::time_t set = std::mktime(&tm);
    if (set == static_cast<std::time_t>(-1)) {
        return;
    }
    m_clockOffset = duration_cast<seconds>(SimClock::from_time_t(set) -
                                           std::chrono::floor<seconds>(m_options.now()));
}

void InstrumentModel::setParameters(std::span<const std::uint8_t, parameterBlockSize> block) {
    std::lock_guard lock(m_mutex);
    std::copy(block.begin(), block.end(), m_parameters.begin());
    // The instrument keeps its own identity whatever it is sent.
    m_parameters[param::deviceType] =
        static_cast<std::uint8_t>(std::clamp(m_options.deviceType, 1, 7));
}

void InstrumentModel::resetDose() {
    std::lock_guard lock(m_mutex);
    advance();
    m_dose_uSv = 0.0;
    m_doseTime_s = 0.0;
    ++m_doseResets;
}

void InstrumentModel::restoreFactorySettings() {
    std::lock_guard lock(m_mutex);
    m_parameters = factoryParameters(m_options.deviceType);
    ++m_factoryResets;
}

void InstrumentModel::eraseArchive() {
    std::lock_guard lock(m_mutex);
    std::fill(m_archive.begin(), m_archive.end(), std::uint8_t{0});
    m_archiveNext = 0;
}

std::array<std::uint8_t, parameterBlockSize> InstrumentModel::parameters() const {
    std::lock_guard lock(m_mutex);
    return m_parameters;
}

std::chrono::seconds InstrumentModel::clockOffset() const {
    std::lock_guard lock(m_mutex);
    return m_clockOffset;
}

void InstrumentModel::setClockOffset(std::chrono::seconds offset) {
    std::lock_guard lock(m_mutex);
    m_clockOffset = offset;
}

void InstrumentModel::setMode(std::uint8_t mode) {
    std::lock_guard lock(m_mutex);
    m_mode = mode;
    m_mainValue = measurementValue(m_measurementIndex);
}

void InstrumentModel::pinMeasurementCount(std::optional<std::uint32_t> count) {
    std::lock_guard lock(m_mutex);
    m_pinnedCount = count;
}

void InstrumentModel::pinMainValue(std::optional<double> value) {
    std::lock_guard lock(m_mutex);
    m_pinnedMainValue = value;
}

void InstrumentModel::pinStatusFlags(std::optional<std::uint16_t> flags) {
    std::lock_guard lock(m_mutex);
    m_pinnedFlags = flags;
}

void InstrumentModel::setArchiveRecord(std::size_t number,
                                       std::span<const std::uint8_t, recordSize> bytes) {
    std::lock_guard lock(m_mutex);
    if (number < recordCount) {
        std::copy(bytes.begin(), bytes.end(),
                  m_archive.begin() + static_cast<std::ptrdiff_t>(number * recordSize));
    }
}

int InstrumentModel::doseResets() const {
    std::lock_guard lock(m_mutex);
    return m_doseResets;
}

int InstrumentModel::factoryResets() const {
    std::lock_guard lock(m_mutex);
    return m_factoryResets;
}

} // namespace veltra::sim
