#include "cli.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    // The serial port needs an application object, though no event loop runs.
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const int status = veltra::cli::run(args, out, err);
    out.flush();
    err.flush();
    return status;
}
