// What the dose history costs.
//
//   StoreDownload    one download of 799 new samples stored in one transaction (synchronous=FULL,
//                    so each includes the disk's flush)
//   RecordsOfAYear   the records of one year (about 52 000) from a history of 100 000
//                    (125 downloads of 800 records, about two years of a record every 10 min);
//                    counter bytes_per_record: the file's size over the records it holds
//
// Figures are reported, never asserted.

#include "history/history_store.h"
#include "link/codecs.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using veltra::history::HistoryStore;

// 800 samples ten minutes apart, from the given ten-minute step on.
std::vector<std::uint8_t> imageFrom(long step) {
    std::vector<std::uint8_t> image(veltra::history::imageSize, 0);
    for (int i = 0; i < 800; ++i) {
        const long t = (step + i) * 600;
        const QDateTime when = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC).addSecs(t);
        std::array<std::uint8_t, 10> r{};
        veltra::link::encodeFloat32(r, 0, 0.08 + 0.0001 * static_cast<double>((step + i) % 500));
        r[4] = veltra::link::encodeBcd(when.time().second());
        r[5] = veltra::link::encodeBcd(when.time().minute());
        r[6] = veltra::link::encodeBcd(when.time().hour());
        r[7] = veltra::link::encodeBcd(when.date().day());
        r[8] = veltra::link::encodeBcd(when.date().month());
        r[9] = veltra::link::encodeBcd(when.date().year() - 2000);
        std::copy(r.begin(), r.end(), image.begin() + i * 10);
    }
    return image;
}

veltra::history::Download downloadOf(const std::vector<std::uint8_t>& image) {
    veltra::history::Download d;
    d.image = image;
    d.pcTimeUtc = QDateTime::currentDateTimeUtc();
    d.programVersion = QStringLiteral("bench");
    return d;
}

struct Opened {
    QTemporaryDir dir;
    HistoryStore store;
    veltra::history::Instrument instrument;
    Opened() {
        store.open(dir.filePath("history.sqlite"), true);
        veltra::history::Result r;
        instrument = *store.instrumentFor(4, QByteArray(20, '\x11'), "bench", r);
    }
};

void StoreDownload(benchmark::State& state) {
    Opened o;
    long step = 0;
    for (auto _ : state) {
        veltra::history::Result r;
        const auto image = imageFrom(step);
        step += 800;
        benchmark::DoNotOptimize(o.store.store(o.instrument, downloadOf(image), r));
    }
}
BENCHMARK(StoreDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void RecordsOfAYear(benchmark::State& state) {
    Opened o;
    for (long d = 0; d < 125; ++d) {
        veltra::history::Result r;
        const auto image = imageFrom(d * 800);
        o.store.store(o.instrument, downloadOf(image), r);
    }
    o.store.connection().exec("PRAGMA wal_checkpoint(TRUNCATE)");
    veltra::history::Filter year;
    year.from = QDate(2025, 1, 1);
    year.to = QDate(2025, 12, 31);
    std::size_t records = 0;
    for (auto _ : state) {
        veltra::history::Result r;
        records = o.store.records(year, r).size();
        benchmark::DoNotOptimize(records);
    }
    state.counters["records"] = static_cast<double>(records);
    state.counters["bytes_per_record"] =
        static_cast<double>(QFileInfo(o.store.path()).size()) / 100000.0;
}
BENCHMARK(RecordsOfAYear)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

BENCHMARK_MAIN();
