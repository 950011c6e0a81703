#include "app/history_view.h"

#include "app/text_tables.h"
#include "archive/archive_record.h"
#include "text/number_text.h"

#include <QBuffer>
#include <QUuid>

#include <algorithm>
#include <cstring>
#include <limits>

namespace veltra::app {

namespace {

struct HistoryTextRow {
    const char* key;
    const char* russian;
    const char* english;
};

constexpr HistoryTextRow historyTexts[] = {
    {"title", "История", "History"},
    {"instrument", "Прибор", "Instrument"},
    {"allInstruments", "Все приборы", "All instruments"},
    {"from", "С", "From"},
    {"to", "по", "to"},
    {"statsBy", "Статистика", "Statistics"},
    {"byDay", "по дням", "by day"},
    {"byMonth", "по месяцам", "by month"},
    {"show", "Показать", "Show"},
    {"exportCsv", "Экспорт CSV…", "Export CSV…"},
    {"exportN42", "Экспорт N42…", "Export N42…"},
    {"sessions", "Сеансы", "Sessions"},
    {"statistics", "Статистика", "Statistics"},
    {"first", "Начало", "First record"},
    {"last", "Конец", "Last record"},
    {"records", "Записей", "Records"},
    {"mode", "Режим", "Mode"},
    {"period", "Период", "Period"},
    {"count", "Измерений", "Samples"},
    {"minimum", "Минимум", "Minimum"},
    {"maximum", "Максимум", "Maximum"},
    {"mean", "Среднее", "Average"},
    {"time", "Время по часам прибора", "Time by the instrument's clock"},
    {"value", "Значение", "Value"},
    {"shown", "Записей: %1", "Records: %1"},
    {"empty", "В истории нет записей за этот период", "The history has no records in this range"},
    {"notOpened", "Не удалось открыть историю %1", "Cannot open the history %1"},
    {"csvSaved", "Сохранено в %1: записей %2", "Saved to %1: %2 records"},
    {"n42Saved", "Сохранено в %1: измерений МЭД %2, сеансов %3",
     "Saved to %1: %2 dose-rate measurements, %3 sessions"},
    {"n42LeftOut", "; записей других режимов не вошло (в N42 для них нет места): %1",
     "; %1 records of other modes left out (N42 has no place for them)"},
    {"n42OneInstrument", "В файл N42 входит один прибор: выберите его",
     "An N42 file holds one instrument: choose it"},
    {"notSaved", "Не удалось сохранить %1: %2", "Cannot save %1: %2"},
    {"csvFiles", "Файлы CSV (*.csv)", "CSV files (*.csv)"},
    {"n42Files", "Файлы N42 (*.n42 *.xml)", "N42 files (*.n42 *.xml)"},
};

archive::ArchiveMode archiveModeOf(history::Mode mode) {
    switch (mode) {
    case history::Mode::doseRate:
        return archive::ArchiveMode::doseRate;
    case history::Mode::volumetricActivity:
        return archive::ArchiveMode::volumetricActivity;
    case history::Mode::betaFlux:
        return archive::ArchiveMode::beta;
    case history::Mode::alphaFlux:
        return archive::ArchiveMode::alpha;
    }
    return archive::ArchiveMode::doseRate;
}

QString csvField(QString text) {
    if (text.contains(u',') || text.contains(u'"') || text.contains(u'\n')) {
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        return u'"' + text + u'"';
    }
    return text;
}

// A stored time "YYYY-MM-DDTHH:MM:SS" as the window shows it: "DD.MM.YYYY HH:MM:SS".
QString shownTime(const QString& iso) {
    if (iso.size() < 19) {
        return iso;
    }
    return QStringLiteral("%1.%2.%3 %4")
        .arg(iso.mid(8, 2), iso.mid(5, 2), iso.left(4), iso.mid(11, 8));
}

QString shownPeriod(const QString& period) {
    if (period.size() == 10) { // YYYY-MM-DD
        return QStringLiteral("%1.%2.%3").arg(period.mid(8, 2), period.mid(5, 2), period.left(4));
    }
    if (period.size() == 7) { // YYYY-MM
        return QStringLiteral("%1.%2").arg(period.mid(5, 2), period.left(4));
    }
    return period;
}

// Four significant digits, as a table of dose figures is read; the exports keep nine.
QString value4(double value, QChar separator) {
    QString text = QString::number(value, 'g', 4);
    if (separator != u'.') {
        text.replace(u'.', separator);
    }
    return text;
}

} // namespace

QString historyText(const char* key, Language language) {
    for (const HistoryTextRow& row : historyTexts) {
        if (std::strcmp(row.key, key) == 0) {
            return language == Language::english ? QString::fromUtf8(row.english)
                                                 : QString::fromUtf8(row.russian);
        }
    }
    return QString::fromLatin1(key);
}

std::vector<const char*> historyTextKeys() {
    std::vector<const char*> keys;
    for (const HistoryTextRow& row : historyTexts) {
        keys.push_back(row.key);
    }
    return keys;
}

HistoryView loadHistoryView(history::HistoryStore& store, const history::Filter& filter,
                            history::HistoryStore::Period by, Language language,
                            QChar decimalSeparator) {
    HistoryView view;
    const Language shown = language == Language::english ? Language::english : Language::russian;
    const auto unitOf = [&](history::Mode mode) {
        return archive::unitText(archiveModeOf(mode), shown);
    };
    const auto records = store.records(filter, view.result);
    if (!view.result) {
        return view;
    }
    view.records = static_cast<int>(records.size());
    std::array<HistorySeries*, 4> byMode{};
    std::array<HistorySeries, 4> all;
    std::int64_t first = std::numeric_limits<std::int64_t>::max();
    std::int64_t last = std::numeric_limits<std::int64_t>::min();
    for (const history::StoredRecord& r : records) {
        const auto m = static_cast<std::size_t>(r.mode);
        if (byMode[m] == nullptr) {
            byMode[m] = &all[m];
            all[m].mode = r.mode;
            all[m].name = unitOf(r.mode);
            all[m].keys.reserve(static_cast<qsizetype>(records.size()));
            all[m].values.reserve(static_cast<qsizetype>(records.size()));
        }
        byMode[m]->keys.push_back(static_cast<double>(r.clock));
        byMode[m]->values.push_back(r.value);
        first = std::min(first, r.clock);
        last = std::max(last, r.clock);
    }
    for (std::size_t m = 0; m < all.size(); ++m) {
        if (byMode[m] != nullptr) {
            // Several instruments: each series in the clock's order.
            HistorySeries& s = all[m];
            if (!std::is_sorted(s.keys.begin(), s.keys.end())) {
                std::vector<std::pair<double, double>> points;
                points.reserve(static_cast<std::size_t>(s.keys.size()));
                for (qsizetype i = 0; i < s.keys.size(); ++i) {
                    points.emplace_back(s.keys[i], s.values[i]);
                }
                std::stable_sort(points.begin(), points.end(),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
                for (qsizetype i = 0; i < s.keys.size(); ++i) {
                    s.keys[i] = points[static_cast<std::size_t>(i)].first;
                    s.values[i] = points[static_cast<std::size_t>(i)].second;
                }
            }
            view.series.push_back(std::move(s));
        }
    }
    if (!records.empty()) {
        const auto dateOf = [](std::int64_t seconds) {
            return QDate(1970, 1, 1)
                .addDays(seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400);
        };
        view.first = dateOf(first);
        view.last = dateOf(last);
    }

    for (const history::StoredSession& s : store.sessions(filter, view.result)) {
        view.sessions.push_back({s.instrument, shownTime(s.first), shownTime(s.last),
                                 QString::number(s.records), unitOf(s.mode)});
    }
    if (!view.result) {
        return view;
    }
    for (const history::Stats& s : store.stats(filter, by, view.result)) {
        view.stats.push_back({shownPeriod(s.period), s.instrument, unitOf(s.mode),
                              QString::number(s.count), value4(s.minimum, decimalSeparator),
                              value4(s.maximum, decimalSeparator),
                              value4(s.mean, decimalSeparator)});
    }
    return view;
}

QByteArray historyCsv(const std::vector<history::StoredRecord>& records) {
    QString text = QStringLiteral("instrument,time,mode,value,unit\r\n");
    for (const history::StoredRecord& r : records) {
        text += QStringLiteral("%1,%2,%3,%4,%5\r\n")
                    .arg(csvField(r.instrument), r.time, history::modeName(r.mode),
                         text::number9(r.value), history::unitName(r.mode));
    }
    return text.toUtf8();
}

std::optional<QByteArray> historyN42(const history::Instrument& instrument,
                                     const std::vector<history::StoredRecord>& records,
                                     const QString& creator, history::N42Report& report,
                                     QString& error) {
    history::N42Source source{
        instrument,
        modelCaption(instrument.deviceType, text::Language::russian).value_or(QString()), creator,
        QUuid::createUuid().toString(QUuid::WithoutBraces), records};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!history::writeN42(buffer, source, report)) {
        error = buffer.errorString();
        return std::nullopt;
    }
    return bytes;
}

} // namespace veltra::app
