#include "archive/archive_record.h"

#include "link/codecs.h"

#include <algorithm>

namespace veltra::archive {

QString unitText(ArchiveMode mode, text::Language language) {
    switch (mode) {
    case ArchiveMode::doseRate:
        return text::pick(language, "МЭД, мкЗв/ч", "Dose rate, uSv/h");
    case ArchiveMode::volumetricActivity:
        return text::pick(language, "ОА, Бк/г", "VA, Bk/g");
    case ArchiveMode::beta:
        return text::pick(language, "Бета, 1/(мин*см2)", "Beta, 1/(min*cm2)");
    case ArchiveMode::alpha:
        return text::pick(language, "Альфа, 1/(мин*см2)", "Alpha, 1/(min*cm2)");
    }
    return {};
}

ArchiveRecord decodeRecord(std::span<const std::uint8_t, recordSize> b, int index) {
    ArchiveRecord r;
    r.index = index;
    r.value = link::decodeFloat32(b.first<4>());
    r.clock = text::decodeClockFields(b.subspan<4, text::clockFieldsSize>());
    r.recordMode = static_cast<ArchiveMode>(b[7] & 0xC0);
    r.isSample = r.value > 0.0;
    r.isBlank = std::all_of(b.begin(), b.end(), [](std::uint8_t v) { return v == 0; });
    if (r.isSample) {
        r.time = text::chartSeconds(r.clock);
    }
    return r;
}

double daySerial(const ArchiveRecord& sample) {
    return text::axisKeyToChartTime(static_cast<double>(sample.time));
}

} // namespace veltra::archive
