// The archive read as the program makes it, and the session view.
//
//   ReadArchive/0  readArchive (800 records, the first decoding pass, 799 lines appended to
//                  archive.txt in a temporary directory) without wire timing: the software cost.
//   ReadArchive/1  the same with 57600-baud wire timing, against the line's own limit of
//                  800 x 26 bytes x 10 bits / 57600 baud = 3.611 s.
//   RecordsAlone/1 the 800 record reads alone, one after the other, with wire timing: what a
//                  clean line cost before the reader proved the line in step, so the proofs'
//                  share is ReadArchive/1 over this, measured in the same run.
//   BarePosix/1    the baseline: a bare POSIX client of its own (open, termios raw 57600 8N1,
//                  write each 7-byte request, poll and read its 19-byte answer) making the same
//                  800 record transactions over the same simulator with wire timing, nothing
//                  else; ReadArchive/1 over this is the whole read's cost over the bare minimum.
//   ShowSession    showSession of the largest session of a full archive (800 samples, one
//                  session), the walk, the table's texts, the statistics and the points.
//
// Figures are reported, never asserted.

#include "app/archive_tab.h"
#include "instrument/transactions.h"
#include "link/codecs.h"
#include "link/frame.h"
#include "simulated_instrument.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

class SilentHost final : public veltra::app::Events {
public:
    void showStatus(veltra::app::StatusColour, const veltra::app::StatusMessage&) override {}
    void showNoConnection() override {}
    void showReadProgress(int) override {}
    void showArchiveTab() override {}
    bool confirmErase() override { return false; }
    void resetMemoryFill() override {}
};

void ReadArchive(benchmark::State& state) {
    const bool wireTiming = state.range(0) != 0;
    const auto instrument = veltra::bench::startSimulatedInstrument(state, wireTiming);
    if (!instrument.context) {
        return;
    }
    veltra::app::AppContext& context = *instrument.context;
    QTemporaryDir dir; // archive.txt goes there
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    SilentHost host;
    double total_s = 0.0;
    int failures = 0;
    int proofs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto result = veltra::app::readArchive(context, host, '.');
        total_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        failures += result.failures;
        proofs = result.proofs;
    }
    QDir::setCurrent(old);
    const double perRead_s = total_s / static_cast<double>(state.iterations());
    state.counters["failures"] = failures;
    state.counters["proofs"] = proofs; // in the last read
    if (wireTiming) {
        using veltra::bench::archiveWireLimit_s;
        state.counters["wire_limit_s"] = archiveWireLimit_s;
        state.counters["over_limit_pct"] = 100.0 * (perRead_s / archiveWireLimit_s - 1.0);
    }
}

void RecordsAlone(benchmark::State& state) {
    const auto instrument = veltra::bench::startSimulatedInstrument(state, state.range(0) != 0);
    if (!instrument.context) {
        return;
    }
    veltra::app::AppContext& context = *instrument.context;
    int failures = 0;
    for (auto _ : state) {
        context.ensurePortOpen();
        for (std::uint16_t record = 0; record < 800; ++record) {
            failures += veltra::instrument::readArchiveRecord(context.link, record).ok() ? 0 : 1;
        }
    }
    state.counters["failures"] = failures;
}

// Reads exactly n bytes within timeout_ms; false when they did not all come.
bool readExactly(int fd, std::uint8_t* into, std::size_t n, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::size_t got = 0;
    while (got < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
            return false;
        }
        const ssize_t r = ::read(fd, into + got, n - got);
        if (r <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(r);
    }
    return true;
}

void BarePosix(benchmark::State& state) {
    const auto instrument = veltra::bench::startSimulatedInstrument(state, state.range(0) != 0);
    if (!instrument.context) {
        return;
    }
    const int fd = ::open(instrument.simulator->devicePath().c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        state.SkipWithError("cannot open the simulator's pseudo-terminal");
        return;
    }
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B57600);
    ::cfsetospeed(&tio, B57600);
    ::tcsetattr(fd, TCSANOW, &tio);
    int failures = 0;
    for (auto _ : state) {
        for (std::uint16_t record = 0; record < 800; ++record) {
            const auto request = veltra::link::Frame{0x25, 10, record}.bytes();
            std::array<std::uint8_t, 19> answer{};
            const bool sent =
                ::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size());
            failures += sent && readExactly(fd, answer.data(), answer.size(), 1000) ? 0 : 1;
        }
    }
    ::close(fd);
    state.counters["failures"] = failures;
}

void ShowSession(benchmark::State& state) {
    veltra::app::AppContext context(veltra::link::PortCatalog({}, {}));
    auto& image = context.archive;
    for (std::size_t i = 0; i < 800; ++i) {
        veltra::archive::RecordBytes r{};
        veltra::link::encodeFloat32(r, 0, 0.1 + 0.001 * static_cast<double>(i % 97));
        r[4] = veltra::link::encodeBcd(static_cast<int>(i % 60));
        r[5] = veltra::link::encodeBcd(static_cast<int>((i / 60) % 60));
        r[6] = veltra::link::encodeBcd(static_cast<int>(i / 3600));
        r[7] = 0x01;
        r[8] = 0x01;
        r[9] = 0x26;
        image.setRecord(i, r);
    }
    image.loaded = true;
    image.currentSession = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(veltra::app::showSession(context, '.'));
    }
    state.counters["samples"] = static_cast<double>(context.archiveTab.points.size());
}

BENCHMARK(ReadArchive)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(RecordsAlone)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BarePosix)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(ShowSession)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the serial port needs an application object
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
