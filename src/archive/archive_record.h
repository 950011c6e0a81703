#pragma once
// The instrument's measurement archive: 800 records of 10 bytes, read one per transaction
// (command 0x25, length 10, address = record number).
//
// A record: bytes 0..3 the value (wire float, all-0xFF reads as 0.0), bytes 4..9 the clock
// fields (seconds, minutes, hours, day, month, year after 2000, packed BCD), of which byte 7
// carries the record's mode in its top two bits.

#include "text/clock_fields.h"
#include "text/language.h"

#include <QString>

#include <array>
#include <cstdint>
#include <span>

namespace veltra::archive {

inline constexpr std::size_t recordSize = 10;
inline constexpr std::size_t recordCapacity = 800;
// Decoding passes cover records 0..798; record 799 is read and kept, and enters a pass only as
// the look-ahead of record 798.
inline constexpr std::size_t passRecords = 799;

using RecordBytes = std::array<std::uint8_t, recordSize>;

// Bits 7..6 of byte 7.
enum class ArchiveMode : std::uint8_t {
    doseRate = 0x00,
    volumetricActivity = 0x40,
    beta = 0x80,
    alpha = 0xC0,
};

// The caption of the mode's quantity and unit, as the session view and both text files use it
// ("МЭД, мкЗв/ч" / "Dose rate, uSv/h"); English for language 2, Russian for any other value.
[[nodiscard]] QString unitText(ArchiveMode mode, text::Language language);

struct ArchiveRecord {
    int index = 0;      // 0..799; views and files show index + 1
    double value = 0.0; // in the unit of the record's mode
    text::ClockFields clock;
    ArchiveMode recordMode = ArchiveMode::doseRate;
    bool isSample = false; // value > 0: only samples are shown, counted and charted
    bool isBlank = false;  // all ten bytes 0
    // The sample's time: its clock fields as wall-clock seconds, the same count the live chart
    // keys its points by, so an archive point and a live point of one moment share their x.
    // Computed for samples only (0 otherwise).
    std::int64_t time = 0;

    friend bool operator==(const ArchiveRecord&, const ArchiveRecord&) = default;
};

[[nodiscard]] ArchiveRecord decodeRecord(std::span<const std::uint8_t, recordSize> bytes,
                                         int index);

// The chart's x of a sample: days since 1899-12-30 whose fraction is the time of day.
[[nodiscard]] double daySerial(const ArchiveRecord& sample);

} // namespace veltra::archive
