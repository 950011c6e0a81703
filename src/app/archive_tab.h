#pragma once
// The archive tab as state: the sample table (StringGrid8), the statistics (StringGrid3), the
// session box (Edit2), the chart's points and axes (Chart5), the date format, "Сохранить в
// файле" (CheckBox1), and the tab's operations: readArchive (Button1), the session arrows
// (BitBtn5, BitBtn11), the chart's navigation buttons, and eraseArchive (Button7). The window
// shows this state; the command-line tool runs the same operations on it.

#include "app/events.h"
#include "app/status_messages.h"
#include "archive/archive_image.h"
#include "archive/navigation.h"
#include "archive/session_view.h"
#include "instrument/transactions.h"

#include <QChar>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace veltra::app {

using link::Outcome;

class AppContext;

struct ArchiveTab {
    ArchiveTab();

    std::array<QString, 3> header;                            // row 0 of StringGrid8
    std::vector<std::array<QString, 3>> rows;                 // rows 1..799
    int rowCount = static_cast<int>(archive::recordCapacity); // StringGrid8.RowCount
    std::array<QString, 5> statLabels;                        // column 0 of StringGrid3
    std::optional<std::array<QString, 5>> stats;              // column 1; nothing shown yet
    std::optional<QString> box;                               // Edit2; nothing shown yet
    std::vector<archive::ChartPoint> points;                  // Series12
    QString dateFormat = QStringLiteral("hh:mm");             // the chart's bottom-axis labels
    archive::ChartAxes axes;
    int dateFormatItem = 0;               // the date-format selector's item
    bool saveToFile = false;              // CheckBox1
    bool decodingProgressVisible = false; // ProgressBar2, during the first decoding pass
    int decodingProgress = 0;             // 0..16

    // The header row and the statistics' labels in a language (the tables' rule).
    void applyLanguage(text::Language language);
    // The rows that show a sample: rows 1.. up to the first empty one.
    [[nodiscard]] std::vector<std::array<QString, 3>> sampleRows() const;
};

struct ArchiveReadResult {
    Outcome outcome = Outcome::ok; // ok, portNotOpen, gaveUp or interrupted
    int recordsRead = 0;           // records known to be right, from record 0 on
    int faults = 0;                // faults of the line spent from the budget of ten
    int failures = 0;        // failed transactions and signs of a shift, echoes of a fault included
    bool overWorked = false; // ended by the reader's cap on work, not by the budget
    std::optional<instrument::IdentityBlock> identity; // the instrument's, as the read heard it
    int transactions = 0; // record reads and proofs made, the failed ones included
    int proofs = 0;       // of them, proofs that the line is in step
};

// readArchive: reads the 800 records into the image (instrument/archive_reader.h: a record is
// kept only once the line is known to be in step; ten faults of the line are retried silently,
// the eleventh anywhere ends the read), then runs the first decoding pass. A read that ends
// early keeps only the records known to be right. With writeFiles the pass appends every
// record's line to "archive.txt".
ArchiveReadResult readArchive(AppContext& context, Events& host, QChar decimalSeparator,
                              bool writeFiles = true);

// The first decoding pass after a complete read (part of readArchive).
void runFirstDecodingPass(AppContext& context, Events& host, QChar decimalSeparator,
                          bool writeFiles);

// showSession of the current session; true when it had a sample.
bool showSession(AppContext& context, QChar decimalSeparator);
// BitBtn5Click and BitBtn11Click: the previous or next session, with wrap-around; nothing
// while no archive is loaded. With "Сохранить в файле" ticked, a session that has a sample is
// written to its file.
enum class SessionStep { previous, next };
void stepSession(AppContext& context, Events& host, SessionStep step, QChar decimalSeparator);
// Writes "сеанс<N>.txt" from the table's rows; false (and told in red) when it cannot.
bool writeSessionFile(AppContext& context, Events& host, int session, QChar decimalSeparator);

// The chart's navigation: a button's new range from the axis range the chart shows now, or
// nothing (a refusal changes nothing).
bool navigateChart(ArchiveTab& tab, archive::NavigationButton button,
                   archive::AxisRange shownRange);
void resetChartScaling(ArchiveTab& tab); // BitBtn10

// eraseArchive (Button7): ok, declined, portNotOpen or writtenShort. Asks first; when the port
// cannot be opened (or the command did not go out) it says so and clears nothing; otherwise the
// command 0x55 and the tab cleared.
Outcome eraseArchive(AppContext& context, Events& host);

} // namespace veltra::app
