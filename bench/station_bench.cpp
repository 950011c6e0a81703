// What a station costs per reading, and what it holds after a day.
//
//   LogLine/0        a measurement log line, whole, without waiting for the disk (the window)
//   LogLine/1        the same, on the disk before the next reading (the tool, a station)
//   Publish          a reading through the MQTT publisher to a Mosquitto broker on 127.0.0.1
//                    (started here), until the broker acknowledged it; skipped without one
//   Day              24 h of readings, one every 2 s (43 200), logged to a file a day and
//                    published while the broker is away: the queue holds its limit and the
//                    memory stays where it was (counters: waiting, dropped, rss_growth_kB)
//
// Figures are reported, never asserted.

#include "station/measurement_log.h"
#include "station/mqtt_publisher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

#include <benchmark/benchmark.h>

namespace {

using veltra::station::MeasurementLog;
using veltra::station::MqttPublisher;
using veltra::station::MqttSettings;

veltra::live::CurrentData reading(std::uint32_t count) {
    veltra::live::CurrentData d;
    d.measurementCount = count;
    d.mainValue = 0.125;
    d.doseValue = 3.75;
    d.batteryVoltage = 4.05;
    d.errorPercent = 14;
    d.clock = {30, 20, 15, 9, 12, 2026};
    return d;
}

long rssKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').front().toLong();
        }
    }
    return 0;
}

void LogLine(benchmark::State& state) {
    QTemporaryDir dir;
    MeasurementLog log(dir.path(), MeasurementLog::Into::folder, state.range(0) != 0);
    std::uint32_t count = 0;
    for (auto _ : state) {
        if (!log.add(reading(++count))) {
            state.SkipWithError("the log could not be written");
            return;
        }
    }
}

void Publish(benchmark::State& state) {
    const QString mosquitto = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (mosquitto.isEmpty() || !MqttPublisher::available()) {
        state.SkipWithError("no mosquitto broker, or no MQTT in this build");
        return;
    }
    QProcess broker;
    broker.start(mosquitto, {"-p", "18884"});
    broker.waitForStarted(5000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    MqttSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = 18884;
    settings.name = QStringLiteral("bench");
    settings.model = QStringLiteral("TR-403");
    MqttPublisher publisher(settings);
    for (int i = 0; i < 50 && !publisher.connected(); ++i) {
        publisher.service(20);
    }
    std::uint32_t count = 0;
    for (auto _ : state) {
        publisher.publish(reading(++count), QStringLiteral("2026-12-09T15:20:30+00:00"));
        while (publisher.waiting() > 0 && publisher.connected()) {
            publisher.service(1);
        }
    }
    broker.terminate();
    broker.waitForFinished(5000);
}

void Day(benchmark::State& state) {
    QTemporaryDir dir;
    for (auto _ : state) {
        MeasurementLog log(dir.path(), MeasurementLog::Into::folder, false);
        MqttSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = 1; // nobody listens: the broker is away all day
        settings.name = QStringLiteral("day");
        MqttPublisher publisher(settings);
        const long before = rssKilobytes();
        for (std::uint32_t count = 1; count <= 43200; ++count) {
            const QDate day = QDate(2026, 12, 9).addDays(count / 43200);
            (void)log.add(reading(count), QStringLiteral("2026-12-09T15:20:30+00:00"), day);
            publisher.publish(reading(count), QStringLiteral("2026-12-09T15:20:30+00:00"));
            if (count % 1000 == 0) {
                publisher.service(0);
            }
        }
        state.counters["waiting"] = static_cast<double>(publisher.waiting());
        state.counters["dropped"] = static_cast<double>(publisher.dropped());
        state.counters["rss_growth_kB"] = static_cast<double>(rssKilobytes() - before);
    }
}

BENCHMARK(LogLine)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(Publish)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(Day)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
