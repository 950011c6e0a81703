// What the dose history costs.
//
//   StoreDownload    one download of 799 new samples stored in one transaction (synchronous=FULL,
//                    so each includes the disk's flush)
//   RecordsOfAYear   the records of one year (about 52 000) from a history of 100 000
//                    (125 downloads of 800 records, about two years of a record every 10 min);
//                    counter bytes_per_record: the file's size over the records it holds
//
// Figures are reported, never asserted.

#include "history_images.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using veltra::bench::downloadOf;
using veltra::bench::imageFrom;

using veltra::history::HistoryStore;

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
