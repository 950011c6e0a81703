// veltra-cli's archive commands: read (save the image), show (a session as the tab shows it),
// export (the window's text files), csv, and erase-archive. They run the archive tab's own
// operations on the core's tab state.
#include "command.h"

#include "app/archive_tab.h"
#include "archive/text_lines.h"
#include "station/file_writes.h"
#include "text/number_text.h"

#include <QFile>
#include <QJsonArray>

namespace veltra::cli {

namespace {

using text::userDecimalSeparator;

constexpr qint64 imageBytes = static_cast<qint64>(archive::recordCapacity * archive::recordSize);

// How a read that ended early ended: the budget of ten faults spent, or the reader's cap on work.
QString howItEnded(const app::ArchiveReadResult& read) {
    if (read.overWorked) {
        return QStringLiteral("ended after %1 transactions without the line staying in step")
            .arg(read.transactions);
    }
    return QStringLiteral("ended after %1 faults of the line (%2 failed transactions)")
        .arg(read.faults)
        .arg(read.failures);
}

class ArchiveProgress final : public app::Events {
public:
    ArchiveProgress(QTextStream& err, bool terminal) : m_err(err), m_terminal(terminal) {}

    void showStatus(app::StatusColour colour, const app::StatusMessage& m) override {
        if (colour == app::StatusColour::red && !m.tool.isEmpty()) {
            lastFailure = m.tool;
        }
    }
    void showReadProgress(int records) override {
        if (!m_terminal) {
            return;
        }
        if (records < 0) {
            m_err << '\n';
        } else {
            m_err << "\rreading the archive: " << records << " of " << archive::recordCapacity;
        }
        m_err.flush();
    }
    bool confirmErase() override { return true; } // --yes was given

    QString lastFailure;

private:
    QTextStream& m_err;
    bool m_terminal;
};

bool saveWhole(const QString& path, const QByteArray& bytes, QTextStream& err) {
    if (const station::FileResult w = station::replaceFile(path, bytes); !w) {
        err << "veltra-cli: cannot write " << path << ": " << w.reason << '\n';
        return false;
    }
    return true;
}

QByteArray imageData(const app::AppContext& context, int records) {
    return QByteArray(reinterpret_cast<const char*>(context.archive.bytes.data()),
                      records * static_cast<qsizetype>(archive::recordSize));
}

text::Language tablesOf(const Invocation& call) {
    return call.language == text::Language::english ? text::Language::english
                                                    : text::Language::russian;
}

// The archive in the context, loaded as after a complete read and its first decoding pass:
// read from the instrument, or from an image file. Nullptr after a message on err.
std::unique_ptr<Context> loadedArchive(const Invocation& call, Streams io, ArchiveProgress& host,
                                       bool writeFiles, int& status) {
    status = exitFailure;
    Invocation port = call;
    if (!call.image.isEmpty()) {
        port.port = QStringLiteral("-"); // no port is opened for an image
    }
    auto context = contextFor(port, io);
    if (!context) {
        status = exitUsage;
        return nullptr;
    }
    context->state.language = tablesOf(call);
    const QChar separator = userDecimalSeparator();
    if (call.image.isEmpty()) {
        const auto read = app::readArchive(*context, host, separator, writeFiles);
        if (read.outcome == app::Outcome::ok) {
            status = exitOk;
            return context;
        }
        if (read.outcome == app::Outcome::portNotOpen) {
            io.err << "veltra-cli: " << cannotOpen(*context) << '\n';
        } else if (read.outcome == app::Outcome::interrupted) {
            status = exitInterrupted;
        } else {
            io.err << "veltra-cli: " << portName(*context) << ": the archive read "
                   << howItEnded(read) << '\n';
        }
        return nullptr;
    }
    QFile file;
    if (const station::FileResult opened =
            station::openRegularFile(file, call.image, QIODevice::ReadOnly);
        !opened) {
        io.err << "veltra-cli: cannot read " << call.image << ": " << opened.reason << '\n';
        return nullptr;
    }
    const QByteArray data = file.read(imageBytes + 1);
    if (data.size() > imageBytes || data.size() % static_cast<qsizetype>(archive::recordSize)) {
        io.err << "veltra-cli: " << call.image << ": not an archive image ("
               << (data.size() > imageBytes ? QStringLiteral("more than %1").arg(imageBytes)
                                            : QString::number(data.size()))
               << " bytes; an image holds 10 bytes a record, 8000 at most)\n";
        return nullptr;
    }
    if (data.size() < imageBytes) {
        io.err << "veltra-cli: " << call.image << ": " << data.size() / 10
               << " records; the rest are taken as blank\n";
    }
    context->archive.clear();
    std::copy(data.begin(), data.end(), context->archive.bytes.begin());
    context->archive.loaded = true;
    context->archive.currentSession = 1;
    context->archiveTab.applyLanguage(context->state.language);
    app::runFirstDecodingPass(*context, host, separator, writeFiles);
    status = exitOk;
    return context;
}

QJsonValue optionalTexts(const auto& texts) {
    if (!texts) {
        return QJsonValue(QJsonValue::Null);
    }
    QJsonArray array;
    for (const QString& t : *texts) {
        array.append(t);
    }
    return array;
}

struct Quantity {
    const char* name;
    const char* unit;
};

Quantity quantityOf(archive::ArchiveMode mode) {
    switch (mode) {
    case archive::ArchiveMode::doseRate:
        return {"dose rate", "uSv/h"};
    case archive::ArchiveMode::volumetricActivity:
        return {"volumetric activity", "Bq/g"};
    case archive::ArchiveMode::beta:
        return {"beta flux density", "1/(min*cm2)"};
    case archive::ArchiveMode::alpha:
        return {"alpha flux density", "1/(min*cm2)"};
    }
    return {"", ""};
}

} // namespace

int commandArchiveRead(const Invocation& call, Streams io) {
    const auto context = contextFor(call, io);
    if (!context) {
        return exitUsage;
    }
    const QString path = call.arguments[0];
    // Refused before the read, not after it.
    if (const station::FileResult target = station::replaceable(path); !target) {
        io.err << "veltra-cli: cannot write " << path << ": " << target.reason << '\n';
        return exitFailure;
    }
    ArchiveProgress host(io.err, io.environment.stderrIsTerminal);
    const auto read = app::readArchive(*context, host, userDecimalSeparator(), false);
    if (read.outcome == app::Outcome::portNotOpen) {
        io.err << "veltra-cli: " << cannotOpen(*context) << '\n';
        return failedOrInterrupted(io.environment);
    }
    if (read.outcome != app::Outcome::ok) {
        // Only the records known to be right are kept, whole.
        const QString partial = path + QStringLiteral(".partial");
        const bool interrupted = read.outcome == app::Outcome::interrupted;
        io.err << "veltra-cli: " << portName(*context) << ": the archive read "
               << (interrupted ? QStringLiteral("was interrupted") : howItEnded(read)) << "; "
               << read.recordsRead << " records read";
        if (read.recordsRead > 0) {
            const station::FileResult saved =
                station::replaceFile(partial, imageData(*context, read.recordsRead));
            io.err << (saved ? QStringLiteral(", saved to ") + partial
                             : QStringLiteral(", not saved to %1: %2").arg(partial, saved.reason));
        }
        io.err << '\n';
        if (!interrupted && read.recordsRead > 0) {
            storeReadInHistory(call, io, *context, read);
        }
        return interrupted ? exitInterrupted : exitFailure;
    }
    if (!saveWhole(path, imageData(*context, static_cast<int>(archive::recordCapacity)), io.err)) {
        return exitFailure;
    }
    io.out << "read " << archive::recordCapacity << " records (" << read.failures
           << " failed transactions retried), " << context->archive.sessionCount
           << " sessions; saved to " << path << '\n';
    return storeReadInHistory(call, io, *context, read) ? exitOk : exitFailure;
}

int commandArchiveShow(const Invocation& call, Streams io) {
    int status = exitOk;
    ArchiveProgress host(io.err, io.environment.stderrIsTerminal);
    const auto context = loadedArchive(call, io, host, false, status);
    if (!context) {
        return status;
    }
    const int count = context->archive.sessionCount;
    if (call.session < 1 || call.session > count) {
        io.err << "veltra-cli: --session " << call.session << ": this archive has sessions 1.."
               << count << '\n';
        return exitUsage;
    }
    // As if the arrows had stepped there: each session on the way leaves what it shows.
    for (int k = 2; k <= call.session; ++k) {
        app::stepSession(*context, host, app::SessionStep::next, userDecimalSeparator());
    }
    const app::ArchiveTab& tab = context->archiveTab;
    const auto rows = tab.sampleRows();
    if (call.json) {
        QJsonArray rowArray;
        for (const auto& row : rows) {
            rowArray.append(QJsonArray{row[0], row[1], row[2]});
        }
        QJsonArray points;
        for (const auto& p : tab.points) {
            points.append(QJsonArray{p.x, json9(p.y)});
        }
        printJson(io.out, QJsonObject{{"sessionCount", count},
                                      {"session", call.session},
                                      {"box", tab.box ? QJsonValue(*tab.box) : QJsonValue()},
                                      {"header", optionalTexts(std::optional(tab.header))},
                                      {"rowCount", tab.rowCount},
                                      {"rows", rowArray},
                                      {"stats", optionalTexts(tab.stats)},
                                      {"points", points}});
        return exitOk;
    }
    io.out << "session" << (tab.box ? *tab.box : QStringLiteral(" -")) << '\n';
    io.out << tab.header[0] << '\t' << tab.header[1] << '\t' << tab.header[2] << '\n';
    for (const auto& row : rows) {
        io.out << row[0] << '\t' << row[1] << '\t' << row[2] << '\n';
    }
    if (tab.stats) {
        for (std::size_t i = 0; i < tab.stats->size(); ++i) {
            io.out << tab.statLabels[i] << '\t' << (*tab.stats)[i] << '\n';
        }
    }
    return exitOk;
}

int commandArchiveExport(const Invocation& call, Streams io) {
    int status = exitOk;
    ArchiveProgress host(io.err, io.environment.stderrIsTerminal);
    const auto context = loadedArchive(call, io, host, true, status);
    if (!context) {
        return status;
    }
    bool failed = !host.lastFailure.isEmpty(); // archive.txt could not be written
    if (failed) {
        io.err << "veltra-cli: " << host.lastFailure << '\n';
    }
    int files = 0;
    if (call.sessions) {
        for (int k = 1; k <= context->archive.sessionCount; ++k) {
            context->archive.currentSession = k;
            if (app::showSession(*context, userDecimalSeparator())) {
                if (app::writeSessionFile(*context, host, k, userDecimalSeparator())) {
                    ++files;
                } else {
                    failed = true;
                    io.err << "veltra-cli: " << host.lastFailure << '\n';
                }
            }
        }
    }
    if (failed) {
        return exitFailure;
    }
    io.out << "appended " << archive::passRecords << " lines to " << archive::archiveFileName;
    if (call.sessions) {
        io.out << "; wrote " << files << " session files";
    }
    io.out << '\n';
    return exitOk;
}

int commandArchiveCsv(const Invocation& call, Streams io) {
    int status = exitOk;
    ArchiveProgress host(io.err, io.environment.stderrIsTerminal);
    const auto context = loadedArchive(call, io, host, false, status);
    if (!context) {
        return status;
    }
    QString csv = QStringLiteral("record,session,time,value,quantity,unit\n");
    archive::walkSessions(context->archive, [&](const archive::ArchiveRecord& r, int session) {
        if (!r.isSample) {
            return;
        }
        const Quantity q = quantityOf(r.recordMode);
        csv += QStringLiteral("%1,%2,%3,%4,%5,%6\n")
                   .arg(r.index + 1)
                   .arg(session)
                   .arg(text::clockText(r.clock), number9(r.value), QLatin1String(q.name),
                        QLatin1String(q.unit));
    });
    const QString path = call.arguments[0];
    if (!saveWhole(path, csv.toUtf8(), io.err)) {
        return exitFailure;
    }
    io.out << "wrote " << csv.count(u'\n') - 1 << " samples to " << path << '\n';
    return exitOk;
}

int commandEraseArchive(const Invocation& call, Streams io) {
    if (!call.yes) {
        io.err << "veltra-cli: erase-archive loses every record of the instrument's archive; add "
                  "--yes\n";
        return exitUsage;
    }
    const auto context = contextFor(call, io);
    if (!context) {
        return exitUsage;
    }
    ArchiveProgress host(io.err, false);
    switch (const app::Outcome erased = app::eraseArchive(*context, host)) {
    case app::Outcome::ok:
    case app::Outcome::declined:
        break;
    case app::Outcome::portNotOpen:
        io.err << "veltra-cli: " << cannotOpen(*context) << '\n';
        return failedOrInterrupted(io.environment);
    case app::Outcome::writtenShort:
        io.err << "veltra-cli: " << portName(*context)
               << ": the erase command did not go out whole\n";
        return exitFailure;
    default: // none other comes from the erase
        io.err << "veltra-cli: " << portName(*context) << ": " << failureText(erased, 0, 0) << '\n';
        return exitFailure;
    }
    io.out << "archive erase sent\n";
    return exitOk;
}

} // namespace veltra::cli
