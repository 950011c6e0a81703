// How long the window's interface thread goes without taking its events while the device worker
// runs each long operation, against the simulated instrument through a pseudo-terminal,
// offscreen. A 1 ms timer of the interface thread notes the longest gap between two of its
// ticks:
//
//   ArchiveRead   "Чтение архива": 800 records with 57600-baud wire timing
//   PortScan      the menu's "Связь": the scan of ports 1..255 (one instrument, its 2 s wait
//                 slept), then "ОК" in the dialog
//   Polling       five seconds of the polling cycle, a tick a second
//
// The window's own windows are shown. Figures are reported, never asserted.

#include "forms/program_windows.h"
#include "simulator.h"

#include "ui_Interface.h"
#include "ui_main_window.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

namespace {

using namespace veltra;
using Clock = std::chrono::steady_clock;

// The program as it starts: prog.ini in a folder of its own, the simulator as port 1.
struct Program {
    QTemporaryDir dir;
    QString oldDir = QDir::currentPath();
    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<app::AppContext> context;
    std::unique_ptr<forms::ProgramWindows> windows;

    bool start(benchmark::State& state) {
        QDir::setCurrent(dir.path());
        QFile ini(dir.filePath("prog.ini"));
        if (!ini.open(QIODevice::WriteOnly) ||
            ini.write("[Common]\r\nLanguage=1\r\nTransparent=255\r\nMode=0\r\n") < 0) {
            state.SkipWithError("prog.ini was not written");
            return false;
        }
        ini.close();
        sim::SimulatorOptions options;
        options.model.archiveLogging = false;
        options.endpoint.wireTiming = true;
        simulator = std::make_unique<sim::Simulator>(options);
        if (!simulator->start()) {
            state.SkipWithError(simulator->errorText().c_str());
            return false;
        }
        context = std::make_unique<app::AppContext>(
            link::PortCatalog({{1, QString::fromStdString(simulator->devicePath())}}, {}));
        windows = std::make_unique<forms::ProgramWindows>(*context);
        windows->form1->show(); // the start-up: scan, first reading, parameters
        return context->state.portNumber == 1;
    }
    ~Program() {
        windows.reset();
        QDir::setCurrent(oldDir);
    }
    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
};

// The longest gap between two ticks of a 1 ms timer of this thread while it runs.
class PauseMeter {
public:
    PauseMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
            ++m_ticks;
        });
    }
    void start() {
        m_last = Clock::now();
        m_timer.start();
    }
    void stop() {
        m_timer.stop();
        m_longest = std::max(m_longest, Clock::now() - m_last);
    }
    [[nodiscard]] double longestMs() const {
        return std::chrono::duration<double, std::milli>(m_longest).count();
    }
    [[nodiscard]] double ticks() const { return static_cast<double>(m_ticks); }

private:
    QTimer m_timer;
    Clock::time_point m_last;
    Clock::duration m_longest{};
    long m_ticks = 0;
};

void report(benchmark::State& state, const PauseMeter& meter) {
    state.counters["longest_pause_ms"] = meter.longestMs();
    state.counters["interface_ticks"] = meter.ticks();
}

void ArchiveRead(benchmark::State& state) {
    Program program;
    if (!program.start(state)) {
        return;
    }
    forms::TForm1& form = *program.windows->form1;
    form.timer1().stop();
    form.ui().PageControl1->setCurrentWidget(form.ui().TabSheet1);
    PauseMeter meter;
    for (auto _ : state) {
        meter.start();
        form.Button1Click();
        meter.stop();
    }
    report(state, meter);
    state.counters["loaded"] = program.context->archive.loaded ? 1 : 0;
}
BENCHMARK(ArchiveRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void PortScan(benchmark::State& state) {
    Program program;
    if (!program.start(state)) {
        return;
    }
    forms::TForm1& form = *program.windows->form1;
    forms::TForm2& dialog = *program.windows->form2;
    form.timer1().stop();
    // "ОК" once the dialog shows its choice.
    QTimer answer;
    answer.setInterval(5);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (dialog.isModal() && !dialog.ui().ComboBox1->isHidden()) {
            dialog.ui().Button1->click();
        }
    });
    PauseMeter meter;
    for (auto _ : state) {
        answer.start();
        meter.start();
        form.N13Click();
        meter.stop();
        answer.stop();
        form.timer1().stop();
    }
    report(state, meter);
    state.counters["found"] = program.context->state.portNumber == 1 ? 1 : 0;
}
BENCHMARK(PortScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void Polling(benchmark::State& state) {
    Program program;
    if (!program.start(state)) {
        return;
    }
    PauseMeter meter;
    for (auto _ : state) {
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        meter.start();
        loop.exec();
        meter.stop();
    }
    report(state, meter);
}
BENCHMARK(Polling)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
