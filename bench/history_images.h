#pragma once
// The downloads the history benchmarks store: archive images of 800 samples ten minutes apart.

#include "history/history_store.h"
#include "link/codecs.h"

#include <QDateTime>

#include <vector>

namespace veltra::bench {

// 800 samples ten minutes apart, from the given ten-minute step on.
inline std::vector<std::uint8_t> imageFrom(long step) {
    std::vector<std::uint8_t> image(history::imageSize, 0);
    for (int i = 0; i < 800; ++i) {
        const long t = (step + i) * 600;
        const QDateTime when = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC).addSecs(t);
        std::array<std::uint8_t, 10> r{};
        link::encodeFloat32(r, 0, 0.08 + 0.0001 * static_cast<double>((step + i) % 500));
        r[4] = link::encodeBcd(when.time().second());
        r[5] = link::encodeBcd(when.time().minute());
        r[6] = link::encodeBcd(when.time().hour());
        r[7] = link::encodeBcd(when.date().day());
        r[8] = link::encodeBcd(when.date().month());
        r[9] = link::encodeBcd(when.date().year() - 2000);
        std::copy(r.begin(), r.end(), image.begin() + i * 10);
    }
    return image;
}

inline history::Download downloadOf(const std::vector<std::uint8_t>& image) {
    history::Download d;
    d.image = image;
    d.pcTimeUtc = QDateTime::currentDateTimeUtc();
    d.programVersion = QStringLiteral("bench");
    return d;
}

} // namespace veltra::bench
