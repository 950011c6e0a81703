#pragma once
// The program's windows against a simulated instrument on a pseudo-terminal, in a temporary
// working directory with its own prog.ini. The PC clock of the polling cycle and the
// instrument's clock run from one fixed time, so clock differences are exact.

#include "forms/program_windows.h"
#include "simulator.h"

#include "ui_main_window.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace veltra::testing {

class WindowFixture {
public:
    sim::SimClock::time_point now = std::chrono::floor<std::chrono::seconds>(sim::SimClock::now());
    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<app::AppContext> context;
    std::unique_ptr<forms::ProgramWindows> windows;
    std::vector<std::chrono::milliseconds> waits;

    bool enter() {
        m_oldDir = QDir::currentPath();
        return m_dir.isValid() && QDir::setCurrent(m_dir.path());
    }

    void leave() {
        waits.clear();
        windows.reset();
        context.reset();
        simulator.reset();
        QDir::setCurrent(m_oldDir);
    }

    QString settingsPath() const { return QDir(m_dir.path()).filePath("prog.ini"); }

    bool writeSettings(const QByteArray& text) const {
        QFile file(settingsPath());
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    }

    // Starts an instrument of a type and the windows with a language; port 1 is selected, as
    // the start-up's scan would select it (a test that shows the main window runs the scan).
    struct Options {
        bool instrument = true; // a simulated instrument pinned as port 1
        int mode = 0;           // prog.ini's Mode
        bool selected = true;   // port 1 selected, as if a scan had found it
        bool settings = true;   // prog.ini written with the language (else left as it is)
        std::chrono::milliseconds turnaround{0}; // the instrument's time before each answer
    };
    bool start(int language = 1, int deviceType = 4) { return start(language, deviceType, {}); }
    bool start(int language, int deviceType, Options o) {
        if (o.settings &&
            !writeSettings(QByteArray("[Common]\r\nLanguage=") + QByteArray::number(language) +
                           "\r\nTransparent=255\r\nMode=" + QByteArray::number(o.mode) + "\r\n")) {
            return false;
        }
        if (!o.instrument) {
            context = std::make_unique<app::AppContext>(link::PortCatalog({}, {}));
            context->sleep = [this](std::chrono::milliseconds d) { waits.push_back(d); };
            windows = std::make_unique<forms::ProgramWindows>(*context);
            return true;
        }
        sim::SimulatorOptions options;
        options.model.deviceType = deviceType;
        options.model.archiveLogging = false;
        options.model.now = [this] { return now; };
        options.endpoint.turnaround = o.turnaround;
        simulator = std::make_unique<sim::Simulator>(options);
        if (!simulator->start()) {
            return false;
        }
        context = std::make_unique<app::AppContext>(
            link::PortCatalog({{1, QString::fromStdString(simulator->devicePath())}}, {}));
        // The scan's 2-second waits are counted, not slept.
        context->sleep = [this](std::chrono::milliseconds d) { waits.push_back(d); };
        windows = std::make_unique<forms::ProgramWindows>(*context);
        form().pollingCycle().setClock([this] { return sim::SimClock::to_time_t(now); });
        context->state.portNumber = o.selected ? 1 : 0;
        return true;
    }

    forms::TForm1& form() { return *windows->form1; }
    Ui::TForm1& ui() { return form().ui(); }

    // One tick of Timer1, as the timer would fire it; the test drives the ticks itself.
    void tick() {
        form().Timer1Timer();
        form().timer1().stop();
    }

private:
    QTemporaryDir m_dir;
    QString m_oldDir;
};

} // namespace veltra::testing
