#pragma once
// The history window's logic, without widgets: its texts in both languages, what it shows for
// an instrument and a date range (a chart series per mode, the sessions, the statistics by day
// or month), and its two exports.

#include "app/app_state.h"
#include "history/history_store.h"
#include "history/n42_export.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <array>
#include <optional>
#include <vector>

namespace veltra::app {

// The window's texts, by key ("title", "instrument", "show"...): Russian, or English.
[[nodiscard]] QString historyText(const char* key, Language language);
// Every key the window uses, for the tests that check each text fits.
[[nodiscard]] std::vector<const char*> historyTextKeys();

// A series of the chart: the records of one mode, keys the instrument's clock as seconds.
struct HistorySeries {
    history::Mode mode = history::Mode::doseRate;
    QString name; // with its unit: "МЭД, мкЗв/ч"
    QVector<double> keys, values;
};

struct HistoryView {
    std::vector<HistorySeries> series; // the modes present, in mode order
    int records = 0;
    std::optional<QDate> first, last; // the range the records cover
    // instrument, first record, last record, records, mode with its unit
    std::vector<std::array<QString, 5>> sessions;
    // period, instrument, mode with its unit, count, minimum, maximum, mean
    std::vector<std::array<QString, 7>> stats;
    history::Result result; // what stopped a query
};

// What the window shows for a filter, in a language, the values with the user's separator.
[[nodiscard]] HistoryView loadHistoryView(history::HistoryStore& store,
                                          const history::Filter& filter,
                                          history::HistoryStore::Period by, Language language,
                                          QChar decimalSeparator);

// The CSV export: instrument,time,mode,value,unit, a line a record (UTF-8, CRLF).
[[nodiscard]] QByteArray historyCsv(const std::vector<history::StoredRecord>& records);

// The N42 export of one instrument's records: the document, or nothing (result says why).
[[nodiscard]] std::optional<QByteArray>
historyN42(const history::Instrument& instrument, const std::vector<history::StoredRecord>& records,
           const QString& creator, history::N42Report& report, QString& error);

} // namespace veltra::app
