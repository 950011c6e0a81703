#pragma once
// One session as the archive tab shows it: the rows of the sample table (StringGrid8), the
// chart's points (Series12), the statistics (StringGrid3, in single precision as the
// instrument's program adds, compares and divides) and the session box (Edit2).

#include "archive/archive_image.h"

#include <QChar>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace veltra::archive {

struct SessionStats {
    int count = 0;
    float maximum = 0.0F;
    float minimum = 10000000.0F;
    float sum = 0.0F; // each value added at full precision, the sum stored in single precision
    std::int64_t firstTime = 0;
    std::int64_t lastTime = 0;

    void add(const ArchiveRecord& sample);
    [[nodiscard]] float average() const;
    [[nodiscard]] std::int64_t duration() const { return lastTime - firstTime; }
};

// The three cells of a table row: "12", "14.05.09 21/03/07" (hh.mm.ss DD/MM/YY), "0.123".
struct SampleRow {
    QString number;
    QString timeStamp;
    QString value;
    friend bool operator==(const SampleRow&, const SampleRow&) = default;
};
[[nodiscard]] SampleRow sampleRow(const ArchiveRecord& sample, QChar decimalSeparator);
// A value as the table and the statistics show it: three decimals, six significant digits.
[[nodiscard]] QString valueText(double value, QChar decimalSeparator);

struct ChartPoint {
    double x = 0.0; // day serial
    double y = 0.0;
    friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

struct SessionView {
    int session = 0;
    std::vector<SampleRow> rows; // one per sample, in archive order
    std::vector<ChartPoint> points;
    SessionStats stats;
    std::optional<QString> header2; // column 2's header: the first sample's unit caption
    // Set only when the session has a sample; otherwise the tab keeps what it showed.
    int rowCount = 0;                 // StringGrid8.RowCount: 17 up to 16 samples, else n + 1
    QString box;                      // " 2 из 5" / " 2 of 5"
    std::array<QString, 5> statTexts; // duration, count, maximum, minimum, average

    [[nodiscard]] bool empty() const { return rows.empty(); }
};

// Collects the samples of one session in order, and finishes the view.
class SessionViewBuilder {
public:
    SessionViewBuilder(int session, text::Language language, QChar decimalSeparator);
    void add(const ArchiveRecord& sample);
    // The grid size, box and statistics texts (nothing when no sample was added).
    [[nodiscard]] SessionView finish(int sessionCount) &&;
    [[nodiscard]] int count() const { return m_view.stats.count; }

private:
    SessionView m_view;
    text::Language m_language;
    QChar m_separator;
};

// showSession: walks the image and builds the view of one session.
[[nodiscard]] SessionView buildSessionView(const ArchiveImage& image, int session,
                                           text::Language language, QChar decimalSeparator);

// The first decoding pass after a complete read: every record's "archive.txt" line (799, in
// order), the session count, and the view of session 1.
struct FirstPass {
    std::vector<QByteArray> archiveLines;
    int unmapped = 0; // characters of the lines that Windows-1251 cannot hold, written as '?'
    int sessionCount = 1;
    SessionView session1;
};
[[nodiscard]] FirstPass firstDecodingPass(const ArchiveImage& image, text::Language language,
                                          QChar decimalSeparator);

} // namespace veltra::archive
