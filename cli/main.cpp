#include "cli.h"

#include <QCoreApplication>

#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

std::atomic<int> stopSignal{0};

extern "C" void requestStop(int signal) {
    stopSignal.store(signal);
}

} // namespace

int main(int argc, char** argv) {
    // The serial port needs an application object, though no event loop runs.
    QCoreApplication app(argc, argv);
    // The application object takes the C locale from the environment; numbers for scripts are
    // written with a point whatever the user's locale says.
    std::setlocale(LC_NUMERIC, "C");
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    // Ctrl-C and SIGTERM end every command cleanly between two transactions, within a second;
    // a file being written is finished or left as it was.
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    veltra::cli::Environment environment;
    environment.stopRequested = [] { return stopSignal.load() != 0; };
    environment.stopSignal = [] { return stopSignal.load(); };
#ifdef _WIN32
    environment.stderrIsTerminal = _isatty(_fileno(stderr)) != 0;
#else
    environment.stderrIsTerminal = isatty(fileno(stderr)) != 0;
#endif
    const int status = veltra::cli::run(args, out, err, environment);
    out.flush();
    err.flush();
    return status;
}
