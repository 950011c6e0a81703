// veltra: the program's windows.
//
//   veltra                   scans for a real instrument
//   veltra --simulate[=TYPE] starts a simulated instrument of type 1..7 (default 4) on a
//                            pseudo-terminal, pins it as port 1 and then behaves exactly as
//                            without the option: the scan finds it like any instrument
//   veltra --user-folder     works in the user's own folder for the program (created on first
//                            use), so prog.ini and the archive's files do not land in whatever
//                            folder it was started from: what the desktop menu starts
//   veltra --trace FILE      writes every byte on the serial line to FILE, for a report
//   veltra --history FILE    keeps the dose history in FILE (default: history.sqlite beside
//                            prog.ini)
//   veltra --version

#include "app/app_context.h"
#include "app/settings_file.h"
#include "forms/program_windows.h"
#include "link/serial_port.h"
#include "link/traced_serial_port.h"

#ifdef VELTRA_HAS_SIMULATOR
#include "simulator.h"
#endif

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <clocale>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

struct Options {
    std::optional<int> simulatedType;
    bool userFolder = false;
    bool version = false;
    QString trace;
    QString history;
};

std::optional<Options> parseArguments(const QStringList& args) {
    Options options;
    const QStringList given = args.mid(1);
    for (auto it = given.begin(); it != given.end(); ++it) {
        const QString& arg = *it;
        if (arg == QLatin1String("--trace") && it + 1 != given.end()) {
            options.trace = *++it;
        } else if (arg.startsWith(QLatin1String("--trace="))) {
            options.trace = arg.mid(8);
        } else if (arg == QLatin1String("--history") && it + 1 != given.end()) {
            options.history = *++it;
        } else if (arg.startsWith(QLatin1String("--history="))) {
            options.history = arg.mid(10);
        } else if (arg == QLatin1String("--version")) {
            options.version = true;
        } else if (arg == QLatin1String("--user-folder")) {
            options.userFolder = true;
        } else if (arg == QLatin1String("--simulate")) {
            options.simulatedType = 4;
        } else if (arg.startsWith(QLatin1String("--simulate="))) {
            bool ok = false;
            const int type = arg.mid(11).toInt(&ok, 10);
            if (!ok || type < 1 || type > 7) {
                return std::nullopt;
            }
            options.simulatedType = type;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The application object takes the C locale from the environment; the program's number
    // texts use the user's decimal separator on purpose, and nothing else may change with it.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("veltra"));
    QApplication::setApplicationDisplayName(QStringLiteral("Вельтра"));
    QApplication::setDesktopFileName(QStringLiteral("veltra")); // matches veltra.desktop

    const auto options = parseArguments(QApplication::arguments());
    if (!options) {
        std::fputs("usage: veltra [--user-folder] [--simulate[=TYPE]] [--trace FILE] "
                   "[--history FILE] [--version]\n"
                   "  (TYPE: instrument type 1..7; --trace FILE: every byte on the serial line, "
                   "for a report;\n"
                   "  --history FILE: the dose history, else history.sqlite beside prog.ini)\n",
                   stderr);
        return 2;
    }
    if (options->version) {
        std::fputs("veltra " VELTRA_VERSION "\n", stdout);
        return 0;
    }
    // A relative --history FILE is taken from where the program was started.
    const QString historyFile =
        options->history.isEmpty() ? QString() : QFileInfo(options->history).absoluteFilePath();
    if (options->userFolder) {
        const QString folder = veltra::app::userFolder();
        if (!QDir().mkpath(folder) || !QDir::setCurrent(folder)) {
            std::fprintf(stderr, "veltra: cannot work in %s; staying in %s\n",
                         qPrintable(QDir::toNativeSeparators(folder)),
                         qPrintable(QDir::toNativeSeparators(QDir::currentPath())));
        }
    }

    std::map<int, QString> pins =
        veltra::app::portPins(veltra::app::readIniFile(veltra::app::settingsFilePath()));
#ifdef VELTRA_HAS_SIMULATOR
    std::unique_ptr<veltra::sim::Simulator> simulator;
    if (options->simulatedType) {
        veltra::sim::SimulatorOptions simulation;
        simulation.model.deviceType = *options->simulatedType;
        simulator = std::make_unique<veltra::sim::Simulator>(simulation);
        if (!simulator->start()) {
            std::fprintf(stderr, "veltra: cannot start the simulated instrument: %s\n",
                         simulator->errorText().c_str());
            return 1;
        }
        pins[1] = QString::fromStdString(simulator->devicePath());
    }
#else
    if (options->simulatedType) {
        std::fputs("veltra: the simulated instrument needs pseudo-terminals (POSIX)\n", stderr);
        return 2;
    }
#endif

    std::unique_ptr<veltra::link::SerialPort> port = veltra::link::makeSystemSerialPort();
    if (!options->trace.isEmpty()) {
        auto traced =
            std::make_unique<veltra::link::TracedSerialPort>(std::move(port), options->trace);
        if (!traced->traceOpen()) {
            std::fprintf(stderr, "veltra: cannot write the trace %s: %s\n",
                         qPrintable(options->trace), qPrintable(traced->traceError()));
            return 1;
        }
        port = std::move(traced);
    }
    veltra::app::AppContext context{
        veltra::link::PortCatalog(pins, &veltra::link::systemSerialDevices), std::move(port)};
    context.historyPath = historyFile;
    veltra::forms::ProgramWindows windows(context);
    QObject::connect(windows.form1.get(), &veltra::forms::TForm1::quitRequested, &application,
                     [] { QApplication::exit(0); });
    windows.form1->show();
    return QApplication::exec();
}
