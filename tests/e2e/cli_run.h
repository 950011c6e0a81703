#pragma once
// veltra-cli run in the test's own process: its status, what it printed and what it said.

#include "cli.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace veltra::e2e {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

inline CliRun runCli(const QStringList& args) {
    CliRun r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    // The machine's own serial ports are never listed, so no test touches a real port.
    r.status = cli::run(args, out, err, {.serialDevices = [] { return QStringList(); }});
    out.flush();
    err.flush();
    return r;
}

} // namespace veltra::e2e
