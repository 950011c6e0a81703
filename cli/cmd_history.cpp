// veltra-cli's history commands: import archive images into the dose history, list what it
// holds (instruments, downloads, records, sessions, statistics), export it (CSV, N42.42), check
// it, rename an instrument.
#include "command.h"

#include "app/history_view.h"
#include "app/text_tables.h"
#include "history/n42_export.h"
#include "instrument/transactions.h"
#include "station/file_writes.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QUuid>

namespace veltra::cli {

namespace {

QString historyPath(const Invocation& call) {
    return call.history.isEmpty() ? history::historyFileName : call.history;
}

// Opens the history, or says on err why it cannot; a read-only command needs it to exist.
bool openHistory(history::HistoryStore& store, const Invocation& call, QTextStream& err,
                 bool create) {
    if (const history::Result r = store.open(historyPath(call), create); !r) {
        err << "veltra-cli: " << r.error << '\n';
        return false;
    }
    return true;
}

bool reported(const history::Result& r, QTextStream& err) {
    if (!r) {
        err << "veltra-cli: " << r.error << '\n';
        return false;
    }
    return true;
}

history::Filter filterOf(const Invocation& call) {
    history::Filter f;
    f.instrument = call.instrument;
    f.from = call.from;
    f.to = call.to;
    return f;
}

} // namespace

bool storeReadInHistory(const Invocation& call, Streams io, Context& context,
                        const app::ArchiveReadResult& read) {
    if (call.noHistory) {
        return true;
    }
    const bool complete = read.outcome == app::Outcome::ok;
    const app::DownloadStored stored =
        app::storeArchiveRead(context, read, historyPath(call), call.instrument,
                              QStringLiteral("veltra-cli " VELTRA_VERSION));
    if (!stored.stored) {
        // What went wrong is a message on stderr, whichever way the read ended.
        io.err << "veltra-cli: the download was not stored in the history: " << stored.error
               << '\n';
        return false;
    }
    QTextStream& say = complete ? io.out : io.err;
    say << (complete ? "" : "veltra-cli: ") << "stored in the history " << historyPath(call)
        << " as " << stored.instrument << ": " << stored.report.samples << " records, "
        << stored.report.newRecords << " of them new"
        << (stored.report.alreadyStored ? " (this download was there already)" : "") << '\n';
    return true;
}

int commandHistoryImport(const Invocation& call, Streams io) {
    history::HistoryStore store;
    if (!openHistory(store, call, io.err, true)) {
        return exitFailure;
    }
    history::Result r;
    std::optional<history::Instrument> instrument;
    if (!call.instrument.isEmpty()) {
        instrument = store.instrumentNamed(call.instrument, true, r);
    } else {
        const auto known = store.instruments(r);
        if (r && known.size() == 1) {
            instrument = known.front();
        } else if (r) {
            io.err << "veltra-cli: " << store.path()
                   << ": name the instrument the images are of with --instrument NAME ("
                   << known.size() << " instruments in the history)\n";
            return exitUsage;
        }
    }
    if (!instrument) {
        reported(r, io.err);
        return exitFailure;
    }
    int status = exitOk;
    for (const QString& path : call.arguments) {
        QFile file;
        if (const station::FileResult opened =
                station::openRegularFile(file, path, QIODevice::ReadOnly);
            !opened) {
            io.err << "veltra-cli: cannot read " << path << ": " << opened.reason << '\n';
            status = exitFailure;
            continue;
        }
        QByteArray bytes = file.read(static_cast<qint64>(history::imageSize) + 1);
        // A .partial image holds the proven records only: the rest is blank.
        const bool partial = path.endsWith(QLatin1String(".partial"));
        if (bytes.size() > static_cast<qsizetype>(history::imageSize) ||
            (!partial && bytes.size() != static_cast<qsizetype>(history::imageSize)) ||
            bytes.size() % static_cast<qsizetype>(archive::recordSize) != 0) {
            io.err << "veltra-cli: " << path << ": not an archive image (" << bytes.size()
                   << " bytes; an image is " << history::imageSize << ")\n";
            status = exitFailure;
            continue;
        }
        const int proven = static_cast<int>(bytes.size() / archive::recordSize);
        bytes.resize(static_cast<qsizetype>(history::imageSize), '\0');
        history::Download download;
        download.image = std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size()));
        const QDateTime modified = QFileInfo(path).lastModified();
        download.pcTimeUtc = modified.toUTC();
        download.utcOffset_s = modified.offsetFromUtc();
        download.programVersion = QStringLiteral("veltra-cli " VELTRA_VERSION);
        download.recordsProven = proven;
        const auto report = store.store(*instrument, download, r);
        if (!report) {
            reported(r, io.err);
            status = exitFailure;
            continue;
        }
        if (call.json) {
            printJson(io.out, QJsonObject{{"image", path},
                                          {"instrument", instrument->name},
                                          {"download", qint64{report->downloadId}},
                                          {"alreadyStored", report->alreadyStored},
                                          {"samples", report->samples},
                                          {"newRecords", report->newRecords},
                                          {"newSessions", report->newSessions}});
        } else if (report->alreadyStored) {
            io.out << path << ": already in the history (download " << report->downloadId << ")\n";
        } else {
            io.out << path << ": " << report->samples << " records, " << report->newRecords
                   << " of them new, " << report->newSessions << " new sessions; download "
                   << report->downloadId << " of " << instrument->name << '\n';
        }
    }
    return status;
}

int commandHistoryInstruments(const Invocation& call, Streams io) {
    history::HistoryStore store;
    if (!openHistory(store, call, io.err, false)) {
        return exitFailure;
    }
    history::Result r;
    for (const history::Instrument& i : store.instruments(r)) {
        const QString identity = QString::fromLatin1(i.identity.toHex());
        if (call.json) {
            printJson(io.out, QJsonObject{{"instrument", i.name},
                                          {"deviceType", i.deviceType},
                                          {"identity", identity},
                                          {"downloads", i.downloads},
                                          {"records", i.records}});
        } else {
            io.out << i.name << ": type " << i.deviceType << ", identity "
                   << (identity.isEmpty() ? QStringLiteral("not known") : identity) << ", "
                   << i.downloads << " downloads, " << i.records << " records\n";
        }
    }
    return reported(r, io.err) ? exitOk : exitFailure;
}

int commandHistoryDownloads(const Invocation& call, Streams io) {
    history::HistoryStore store;
    if (!openHistory(store, call, io.err, false)) {
        return exitFailure;
    }
    history::Result r;
    for (const history::StoredDownload& d : store.downloads(filterOf(call), r)) {
        if (call.json) {
            printJson(io.out, QJsonObject{{"download", qint64{d.id}},
                                          {"instrument", d.instrument},
                                          {"pcTimeUtc", d.pcTimeUtc},
                                          {"utcOffset_s", d.utcOffset_s},
                                          {"programVersion", d.programVersion},
                                          {"recordsProven", d.recordsProven},
                                          {"failures", d.failures},
                                          {"partial", d.partial},
                                          {"sha256", QString::fromLatin1(d.sha256.toHex())}});
        } else {
            io.out << d.id << ' ' << d.instrument << ' ' << d.pcTimeUtc << ' ' << d.recordsProven
                   << " records" << (d.partial ? " (partial)" : "") << ", " << d.failures
                   << " failures, " << d.programVersion << ", sha256 "
                   << QString::fromLatin1(d.sha256.toHex()) << '\n';
        }
    }
    return reported(r, io.err) ? exitOk : exitFailure;
}

int commandHistoryRecords(const Invocation& call, Streams io) {
    history::HistoryStore store;
    if (!openHistory(store, call, io.err, false)) {
        return exitFailure;
    }
    history::Result r;
    for (const history::StoredRecord& rec : store.records(filterOf(call), r)) {
        if (call.json) {
            printJson(io.out, QJsonObject{{"instrument", rec.instrument},
                                          {"time", rec.time},
                                          {"mode", history::modeName(rec.mode)},
                                          {"value", json9(rec.value)},
                                          {"unit", history::unitName(rec.mode)}});
        } else {
            io.out << rec.instrument << ' ' << rec.time << ' ' << history::modeName(rec.mode) << ' '
                   << number9(rec.value) << ' ' << history::unitName(rec.mode) << '\n';
        }
    }
    return reported(r, io.err) ? exitOk : exitFailure;
}

int commandHistorySessions(const Invocation& call, Streams io) {
    history::HistoryStore store;
    if (!openHistory(store, call, io.err, false)) {
        return exitFailure;
    }
    history::Result r;
    for (const history::StoredSession& s : store.sessions(filterOf(call), r)) {
        if (call.json) {
            printJson(io.out, QJsonObject{{"session", qint64{s.id}},
                                          {"instrument", s.instrument},
                                          {"first", s.first},
                                          {"last", s.last},
                                          {"records", s.records},
                                          {"mode", history::modeName(s.mode)}});
        } else {
            io.out << s.id << ' ' << s.instrument << ' ' << s.first << " to " << s.last << ", "
                   << s.records << " records, " << history::modeName(s.mode) << '\n';
        }
    }
    return reported(r, io.err) ? exitOk : exitFailure;
}

int commandHistoryStats(const Invocation& call, Streams io) {
    history::HistoryStore store;
    if (!openHistory(store, call, io.err, false)) {
        return exitFailure;
    }
    const auto by = call.by == QLatin1String("month") ? history::HistoryStore::Period::month
                                                      : history::HistoryStore::Period::day;
    history::Result r;
    for (const history::Stats& s : store.stats(filterOf(call), by, r)) {
        if (call.json) {
            printJson(io.out, QJsonObject{{"period", s.period},
                                          {"instrument", s.instrument},
                                          {"mode", history::modeName(s.mode)},
                                          {"count", s.count},
                                          {"minimum", json9(s.minimum)},
                                          {"maximum", json9(s.maximum)},
                                          {"mean", json9(s.mean)},
                                          {"unit", history::unitName(s.mode)}});
        } else {
            io.out << s.period << ' ' << s.instrument << ' ' << history::modeName(s.mode) << ": "
                   << s.count << " records, minimum " << number9(s.minimum) << ", maximum "
                   << number9(s.maximum) << ", mean " << number9(s.mean) << ' '
                   << history::unitName(s.mode) << '\n';
        }
    }
    return reported(r, io.err) ? exitOk : exitFailure;
}

int commandHistoryExport(const Invocation& call, Streams io) {
    if (call.csv.isEmpty() == call.n42.isEmpty()) {
        io.err << "veltra-cli: history export takes --csv FILE or --n42 FILE; try 'veltra-cli "
                  "history export --help'\n";
        return exitUsage;
    }
    history::HistoryStore store;
    if (!openHistory(store, call, io.err, false)) {
        return exitFailure;
    }
    history::Result r;
    const auto records = store.records(filterOf(call), r);
    if (!reported(r, io.err)) {
        return exitFailure;
    }
    QByteArray bytes;
    QString target = call.csv;
    QString told;
    if (!call.csv.isEmpty()) {
        bytes = app::historyCsv(records);
        told = QStringLiteral("%1 records").arg(records.size());
    } else {
        target = call.n42;
        // One instrument a document.
        std::optional<history::Instrument> instrument;
        if (!call.instrument.isEmpty()) {
            instrument = store.instrumentNamed(call.instrument, false, r);
        } else if (const auto known = store.instruments(r); r && known.size() == 1) {
            instrument = known.front();
        } else if (r) {
            io.err << "veltra-cli: an N42 file holds one instrument: name it with --instrument "
                      "NAME ("
                   << known.size() << " in the history)\n";
            return exitUsage;
        }
        if (!instrument) {
            reported(r, io.err);
            return exitFailure;
        }
        history::N42Report report;
        QString why;
        const auto document = app::historyN42(
            *instrument, records, QStringLiteral("Veltra " VELTRA_VERSION), report, why);
        if (!document) {
            io.err << "veltra-cli: " << why << '\n';
            return exitFailure;
        }
        bytes = *document;
        told = QStringLiteral("%1 dose-rate measurements in %2 sessions")
                   .arg(report.measurements)
                   .arg(report.groups);
        if (report.leftOut > 0) {
            told += QStringLiteral("; %1 records of other modes left out (N42 has no place for "
                                   "them)")
                        .arg(report.leftOut);
        }
    }
    if (const station::FileResult saved = station::replaceFile(target, bytes); !saved) {
        io.err << "veltra-cli: cannot write " << target << ": " << saved.reason << '\n';
        return exitFailure;
    }
    io.out << target << ": " << told << '\n';
    return exitOk;
}

int commandHistoryVerify(const Invocation& call, Streams io) {
    history::HistoryStore store;
    if (!openHistory(store, call, io.err, false)) {
        return exitFailure;
    }
    history::Result r;
    const QStringList problems = store.verify(r);
    for (const QString& p : problems) {
        io.out << p << '\n';
    }
    if (!reported(r, io.err)) {
        return exitFailure;
    }
    if (problems.isEmpty()) {
        io.out << store.path() << ": the file is whole and every stored image is as stored\n";
        return exitOk;
    }
    return exitFailure;
}

int commandHistoryRename(const Invocation& call, Streams io) {
    history::HistoryStore store;
    if (!openHistory(store, call, io.err, false)) {
        return exitFailure;
    }
    if (!reported(store.rename(call.arguments[0], call.arguments[1]), io.err)) {
        return exitFailure;
    }
    io.out << call.arguments[0] << " is now " << call.arguments[1] << '\n';
    return exitOk;
}

} // namespace veltra::cli
