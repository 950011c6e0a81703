#include "app/archive_tab.h"

#include "app/app_context.h"
#include "archive/text_lines.h"
#include "instrument/archive_reader.h"
#include "instrument/transactions.h"
#include "station/file_writes.h"

#include <QDir>

#include <atomic>

namespace veltra::app {

namespace {

using archive::recordCapacity;

constexpr int decodingProgressMaximum = 16; // ProgressBar2's range as laid out

std::optional<QString> dateFormatOf(int item) {
    switch (item) {
    case 0:
        return QStringLiteral("hh:mm");
    case 1:
        return QStringLiteral("dd.MM.yy");
    case 2:
        return QStringLiteral("hh:mm dd.MM.yy");
    default:
        return std::nullopt; // the format stays as it was
    }
}

void emptyRows(ArchiveTab& tab) {
    for (auto& row : tab.rows) {
        row = {};
    }
}

// Step 2 of showSession: the date format from ComboBox9 (an unknown item keeps the format).
void prepareSessionView(ArchiveTab& tab) {
    if (const auto format = dateFormatOf(tab.dateFormatItem)) {
        tab.dateFormat = *format;
    }
}

void applyView(ArchiveTab& tab, const archive::SessionView& view) {
    tab.points = view.points;
    if (view.empty()) {
        return; // the table, the box, the header and the statistics keep what they showed
    }
    for (std::size_t k = 0; k < view.rows.size() && k < tab.rows.size(); ++k) {
        const auto& r = view.rows[k];
        tab.rows[k] = {r.number, r.timeStamp, r.value};
    }
    tab.header[2] = *view.header2;
    tab.rowCount = view.rowCount;
    tab.box = view.box;
    tab.stats = view.statTexts;
}

void tellFile(Events& host, const QString& name, const QString& reason) {
    host.showStatus(StatusColour::red, status::fileNotWritten.arg(name, reason));
}

// No character is lost silently: what the code page could not hold is told.
void tellReplaced(Events& host, const QString& name, int count) {
    host.showStatus(StatusColour::red,
                    status::charactersReplaced.arg(name, QString::number(count)));
}

} // namespace

ArchiveTab::ArchiveTab() : rows(archive::passRecords) {
    applyLanguage(text::Language::russian);
}

void ArchiveTab::applyLanguage(text::Language language) {
    header = {text::pick(language, "№", " #"),
              text::pick(language, "Время и дата", "Time and date"),
              text::pick(language, "МЭД", "Dose rate")};
    statLabels = {
        text::pick(language, "Время работы", "Working time"),
        text::pick(language, "Измерений", "Samples"), text::pick(language, "Максимум", "Maximum"),
        text::pick(language, "Минимум", "Minimum"), text::pick(language, "Среднее", "Average")};
}

std::vector<std::array<QString, 3>> ArchiveTab::sampleRows() const {
    std::vector<std::array<QString, 3>> out;
    for (const auto& row : rows) {
        if (row[0].isEmpty()) {
            break;
        }
        out.push_back(row);
    }
    return out;
}

ArchiveReadResult readArchive(AppContext& context, Events& host, QChar separator, bool writeFiles) {
    ArchiveReadResult result;
    archive::ArchiveImage& image = context.archive;
    ArchiveTab& tab = context.archiveTab;
    if (!context.onDevice([&] { return context.ensurePortOpen(); })) {
        host.showStatus(StatusColour::red, status::archivePortOpenError);
        result.outcome = Outcome::portNotOpen;
        return result; // a loaded archive stays loaded and browsable
    }
    image.currentSession = 1;
    image.sessionCount = 1;

    // The view prepared for the read.
    tab.rowCount = static_cast<int>(recordCapacity);
    tab.applyLanguage(context.state.language);
    context.onDevice([&] { instrument::prepareArchiveRead(context.link); });
    image.clear();
    emptyRows(tab);
    tab.points.clear();
    host.showReadProgress(0);
    host.showArchiveTab();

    instrument::ArchiveReading reading;
    if (context.deviceWork) {
        // On the device worker: the progress is handed over and shown on this thread.
        std::atomic<int> recordsRead{0};
        context.onDevice(
            [&] {
                reading = instrument::readArchiveRecords(
                    context.link, image, [&recordsRead](int records) { recordsRead = records; });
            },
            AppContext::DeviceWork::archiveRead, [&] { host.showReadProgress(recordsRead); });
    } else {
        reading = instrument::readArchiveRecords(
            context.link, image, [&host](int records) { host.showReadProgress(records); });
    }
    result.recordsRead = reading.recordsRead;
    result.faults = reading.faults;
    result.failures = reading.failures;
    result.overWorked = reading.end == instrument::ArchiveReading::End::overWorked;
    result.identity = reading.identity;
    result.transactions = reading.transactions;
    result.proofs = reading.proofs;
    if (reading.end != instrument::ArchiveReading::End::read) {
        // Only the records known to be right stay in the image, zeros after them.
        image.loaded = false;
        host.showReadProgress(-1);
        if (reading.end == instrument::ArchiveReading::End::interrupted) {
            result.outcome = Outcome::interrupted;
            return result;
        }
        host.showStatus(StatusColour::red, status::connectionError);
        result.outcome = Outcome::gaveUp;
        return result;
    }

    image.loaded = true;
    context.polling.readFailureCount = 0;
    host.showReadProgress(-1);
    host.showStatus(StatusColour::black, status::readOk);
    runFirstDecodingPass(context, host, separator, writeFiles);
    return result;
}

void runFirstDecodingPass(AppContext& context, Events& host, QChar separator, bool writeFiles) {
    ArchiveTab& tab = context.archiveTab;
    archive::ArchiveImage& image = context.archive;
    prepareSessionView(tab);
    tab.points.clear();
    tab.decodingProgressVisible = true;

    const archive::FirstPass pass =
        archive::firstDecodingPass(image, context.state.language, separator);
    image.sessionCount = pass.sessionCount;
    int lost = 0;
    QString reason;
    const QString path = QDir::current().filePath(archive::archiveFileName);
    for (std::size_t i = 0; i < pass.archiveLines.size(); ++i) {
        // One open, write and close per record, as the instrument's program does: a line that
        // cannot be written is lost alone, whole (never cut), and told once after the pass.
        if (writeFiles) {
            if (const station::FileResult w = station::appendToFile(path, pass.archiveLines[i]);
                !w) {
                ++lost;
                reason = w.reason;
            }
        }
        tab.decodingProgress = std::min(static_cast<int>(i), decodingProgressMaximum);
    }
    applyView(tab, pass.session1);
    if (!pass.session1.empty()) {
        tab.decodingProgressVisible = false;
    }
    host.showArchiveTab();
    if (lost > 0) {
        const auto total = static_cast<int>(pass.archiveLines.size());
        host.showStatus(StatusColour::red,
                        status::linesNotWritten.arg(archive::archiveFileName, QString::number(lost),
                                                    QString::number(total), reason));
    } else if (writeFiles && pass.unmapped > 0) {
        tellReplaced(host, archive::archiveFileName, pass.unmapped);
    }
}

bool showSession(AppContext& context, QChar separator) {
    ArchiveTab& tab = context.archiveTab;
    tab.points.clear();
    emptyRows(tab);
    prepareSessionView(tab);
    const archive::SessionView view = archive::buildSessionView(
        context.archive, context.archive.currentSession, context.state.language, separator);
    applyView(tab, view);
    return !view.empty();
}

void stepSession(AppContext& context, Events& host, SessionStep step, QChar separator) {
    archive::ArchiveImage& image = context.archive;
    if (!image.loaded) {
        return;
    }
    if (step == SessionStep::previous) {
        if (--image.currentSession == 0) {
            image.currentSession = image.sessionCount;
        }
    } else if (++image.currentSession > image.sessionCount) {
        image.currentSession = 1;
    }
    const bool found = showSession(context, separator);
    host.showArchiveTab();
    if (found && context.archiveTab.saveToFile) {
        writeSessionFile(context, host, image.currentSession, separator);
    }
}

bool writeSessionFile(AppContext& context, Events& host, int session, QChar separator) {
    QByteArray bytes;
    int unmapped = 0;
    for (const auto& row : context.archiveTab.sampleRows()) {
        bytes += archive::sessionFileLine({row[0], row[1], row[2]}, separator, &unmapped);
    }
    const QString name = archive::sessionFileName(session);
    if (const station::FileResult w = station::replaceFile(QDir::current().filePath(name), bytes);
        !w) {
        tellFile(host, name, w.reason);
        return false;
    }
    if (unmapped > 0) {
        tellReplaced(host, name, unmapped);
    }
    return true;
}

bool navigateChart(ArchiveTab& tab, archive::NavigationButton button,
                   archive::AxisRange shownRange) {
    const auto range = archive::navigate(button, shownRange);
    if (!range) {
        return false;
    }
    tab.axes.apply(button, *range);
    return true;
}

void resetChartScaling(ArchiveTab& tab) {
    tab.axes.reset();
}

Outcome eraseArchive(AppContext& context, Events& host) {
    if (!host.confirmErase()) {
        return Outcome::declined;
    }
    // Nothing local is cleared when the command cannot reach the instrument.
    if (!context.onDevice([&] { return context.ensurePortOpen(); })) {
        host.showStatus(StatusColour::red, status::archivePortOpenError);
        return Outcome::portNotOpen;
    }
    // Nor when the command did not go out whole (an adapter pulled out mid-write): the archive
    // is still in the instrument, and its local copy stays on view.
    if (!context.onDevice([&] { return instrument::writeArchiveErase(context.link).complete(); })) {
        host.showStatus(StatusColour::red, status::connectionError);
        return Outcome::writtenShort;
    }
    ArchiveTab& tab = context.archiveTab;
    tab.points.clear();
    archive::ArchiveImage& image = context.archive;
    std::fill_n(image.bytes.begin(), 80 * archive::recordSize, std::uint8_t{0});
    image.currentSession = 0;
    image.sessionCount = 1;
    tab.box = QStringLiteral(" ");
    emptyRows(tab);
    tab.stats = std::array<QString, 5>{};
    image.loaded = false;
    host.showArchiveTab();
    host.resetMemoryFill();
    return Outcome::ok;
}

} // namespace veltra::app
