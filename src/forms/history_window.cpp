#include "forms/history_window.h"

#include "forms/chart_time.h"

#include "station/file_writes.h"
#include "text/number_text.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <qcustomplot.h>

namespace veltra::forms {

namespace {

// One colour a mode, the same in every range.
QColor colourOf(history::Mode mode) {
    switch (mode) {
    case history::Mode::doseRate:
        return {255, 0, 0};
    case history::Mode::volumetricActivity:
        return {0, 128, 0};
    case history::Mode::betaFlux:
        return {0, 0, 255};
    case history::Mode::alphaFlux:
        return {160, 0, 160};
    }
    return Qt::black;
}

void fillTable(QTableWidget* table, const QStringList& headings,
               const auto& rows /* of std::array<QString, N> */) {
    table->setUpdatesEnabled(false);
    table->clear();
    table->setColumnCount(static_cast<int>(headings.size()));
    table->setHorizontalHeaderLabels(headings);
    table->setRowCount(static_cast<int>(rows.size()));
    int r = 0;
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            auto* item = new QTableWidgetItem(row[c]);
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            // Numbers right-aligned, as a table of figures is read.
            if (c >= 3 && !(row.size() == 5 && c == 4)) {
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            }
            table->setItem(r, static_cast<int>(c), item);
        }
        ++r;
    }
    table->resizeColumnsToContents();
    table->setUpdatesEnabled(true);
}

} // namespace

HistoryWindow::HistoryWindow(QString historyPath, app::Language language, QWidget* parent)
    : QWidget(parent, Qt::Window), m_path(std::move(historyPath)),
      m_language(language == app::Language::english ? app::Language::english
                                                    : app::Language::russian),
      m_instrumentLabel(new QLabel(this)), m_instrument(new QComboBox(this)),
      m_fromLabel(new QLabel(this)), m_from(new QDateEdit(this)), m_toLabel(new QLabel(this)),
      m_to(new QDateEdit(this)), m_byLabel(new QLabel(this)), m_by(new QComboBox(this)),
      m_show(new QPushButton(this)), m_csv(new QPushButton(this)), m_n42(new QPushButton(this)),
      m_chart(new QCustomPlot(this)), m_tabs(new QTabWidget(this)),
      m_sessions(new QTableWidget(this)), m_stats(new QTableWidget(this)),
      m_message(new QLabel(this)) {
    setObjectName(QStringLiteral("HistoryWindow"));
    for (QDateEdit* edit : {m_from, m_to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        edit->setDate(QDate::currentDate());
        // Room for the whole date beside the arrow in every style (the Windows one gives less).
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00.00.00000")) +
                              edit->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16);
    }
    m_instrument->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_instrument->setMinimumContentsLength(14);
    m_by->addItems({QString(), QString()});
    m_by->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    auto* controls = new QHBoxLayout;
    controls->addWidget(m_instrumentLabel);
    controls->addWidget(m_instrument);
    controls->addSpacing(8);
    controls->addWidget(m_fromLabel);
    controls->addWidget(m_from);
    controls->addWidget(m_toLabel);
    controls->addWidget(m_to);
    controls->addSpacing(8);
    controls->addWidget(m_byLabel);
    controls->addWidget(m_by);
    controls->addWidget(m_show);
    controls->addStretch(1);
    controls->addWidget(m_csv);
    controls->addWidget(m_n42);

    m_chart->setBackground(Qt::white);
    m_chart->setMinimumHeight(260);
    auto ticker = QSharedPointer<WallClockTicker>::create();
    ticker->setDateTimeFormat(QStringLiteral("dd.MM.yy\nhh:mm"));
    m_chart->xAxis->setTicker(ticker);
    // No legend: each series' value axis carries its name and unit, in its colour.
    m_chart->legend->setVisible(false);
    // Wheel zoom and drag along the time axis; the values keep their scale.
    m_chart->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_chart->axisRect()->setRangeDrag(Qt::Horizontal);
    m_chart->axisRect()->setRangeZoom(Qt::Horizontal);

    for (QTableWidget* table : {m_sessions, m_stats}) {
        table->verticalHeader()->setVisible(false);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    m_tabs->addTab(m_sessions, QString());
    m_tabs->addTab(m_stats, QString());

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_chart);
    split->addWidget(m_tabs);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setWordWrap(true);
    // Room for two lines: a message names a file and a reason.
    m_message->setMinimumHeight(2 * m_message->fontMetrics().lineSpacing() + 4);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(split, 1);
    layout->addWidget(m_message);

    connect(m_show, &QPushButton::clicked, this, &HistoryWindow::refresh);
    connect(m_by, &QComboBox::currentIndexChanged, this, [this] {
        if (m_open) {
            refresh();
        }
    });
    connect(m_csv, &QPushButton::clicked, this, [this] { chooseFile(false); });
    connect(m_n42, &QPushButton::clicked, this, [this] { chooseFile(true); });

    resize(980, 640);
    applyLanguage(m_language);
}

void HistoryWindow::applyLanguage(app::Language language) {
    m_language =
        language == app::Language::english ? app::Language::english : app::Language::russian;
    setWindowTitle(t("title"));
    m_instrumentLabel->setText(t("instrument"));
    m_fromLabel->setText(t("from"));
    m_toLabel->setText(t("to"));
    m_byLabel->setText(t("statsBy"));
    m_by->setItemText(0, t("byDay"));
    m_by->setItemText(1, t("byMonth"));
    m_show->setText(t("show"));
    m_csv->setText(t("exportCsv"));
    m_n42->setText(t("exportN42"));
    m_tabs->setTabText(0, t("sessions"));
    m_tabs->setTabText(1, t("statistics"));
    if (m_instrument->count() > 0) {
        m_instrument->setItemText(0, t("allInstruments"));
    }
    m_chart->xAxis->setLabel(t("time"));
    if (m_open) {
        refresh(); // the tables' texts and the series' names are the language's
    } else {
        m_chart->replot();
    }
    layout()->activate(); // the new texts get their room now, not at the next event
}

bool HistoryWindow::openStore() {
    if (m_open) {
        return true;
    }
    // The window only reads: a history that is not there yet is not made by looking at it.
    if (const history::Result r = m_store.open(m_path, false); !r) {
        say(t("notOpened").arg(QDir::toNativeSeparators(m_path)) + QStringLiteral(": ") + r.error,
            true);
        return false;
    }
    m_open = true;
    fillInstruments();
    return true;
}

void HistoryWindow::fillInstruments() {
    const QString chosen = m_instrument->currentIndex() > 0 ? m_instrument->currentText() : "";
    history::Result r;
    const auto instruments = m_store.instruments(r);
    m_instrument->blockSignals(true);
    m_instrument->clear();
    m_instrument->addItem(t("allInstruments"));
    for (const history::Instrument& i : instruments) {
        m_instrument->addItem(i.name);
    }
    m_instrument->setCurrentIndex(std::max(0, m_instrument->findText(chosen)));
    m_instrument->blockSignals(false);
}

history::Filter HistoryWindow::filter() const {
    history::Filter f;
    if (m_instrument->currentIndex() > 0) {
        f.instrument = m_instrument->currentText();
    }
    if (m_rangeSet) {
        f.from = m_from->date();
        f.to = m_to->date();
    }
    return f;
}

void HistoryWindow::refresh() {
    if (!m_open) {
        if (!openStore()) {
            return;
        }
    } else {
        fillInstruments(); // a download since may have brought another instrument
    }
    const auto by = m_by->currentIndex() == 1 ? history::HistoryStore::Period::month
                                              : history::HistoryStore::Period::day;
    app::HistoryView view =
        app::loadHistoryView(m_store, filter(), by, m_language, text::userDecimalSeparator());
    if (!view.result) {
        say(view.result.error, true);
        return;
    }
    if (!m_rangeSet && view.first) {
        // At first the whole history; from then on the range the user chose.
        m_from->setDate(*view.first);
        m_to->setDate(*view.last);
        m_rangeSet = true;
    }
    present(view);
    m_view = std::move(view);
}

void HistoryWindow::present(const app::HistoryView& view) {
    m_chart->clearGraphs();
    // Each mode has a unit of its own, so each its own value axis: the first on the left, the
    // others on the right, each in its series' colour and named with its unit.
    for (QCPAxis* axis : m_extraAxes) {
        m_chart->axisRect()->removeAxis(axis);
    }
    m_extraAxes.clear();
    bool any = false;
    for (const app::HistorySeries& s : view.series) {
        QCPAxis* axis = m_chart->yAxis;
        if (any) {
            axis = m_chart->axisRect()->addAxis(QCPAxis::atRight);
            m_extraAxes.push_back(axis);
        }
        const QColor colour = colourOf(s.mode);
        axis->setLabel(s.name);
        axis->setLabelColor(colour);
        axis->setTickLabelColor(colour);
        QCPGraph* graph = m_chart->addGraph(m_chart->xAxis, axis);
        graph->setName(s.name);
        graph->setPen(QPen(colour, 1));
        graph->setLineStyle(QCPGraph::lsNone);
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, colour, colour, 3));
        graph->setAdaptiveSampling(true);
        graph->setData(s.keys, s.values, true);
        bool found = false;
        const QCPRange r = graph->getValueRange(found);
        const double high = found && r.upper > 0.0 ? r.upper * 1.05 : 1.0;
        axis->setRange(found ? std::min(0.0, r.lower) : 0.0, high);
        any = true;
    }
    if (any) {
        m_chart->xAxis->rescale();
        const double pad = std::max((m_chart->xAxis->range().size()) * 0.02, 30.0);
        m_chart->xAxis->setRange(m_chart->xAxis->range().lower - pad,
                                 m_chart->xAxis->range().upper + pad);
    } else {
        const auto day = static_cast<double>(QDate(1970, 1, 1).daysTo(m_from->date())) * 86400.0;
        m_chart->xAxis->setRange(day, day + 86400.0);
        m_chart->yAxis->setRange(0.0, 1.0);
        m_chart->yAxis->setLabel(t("value"));
        m_chart->yAxis->setLabelColor(Qt::black);
        m_chart->yAxis->setTickLabelColor(Qt::black);
    }
    m_chart->replot();

    fillTable(m_sessions, {t("instrument"), t("first"), t("last"), t("records"), t("mode")},
              view.sessions);
    fillTable(m_stats,
              {t("period"), t("instrument"), t("mode"), t("count"), t("minimum"), t("maximum"),
               t("mean")},
              view.stats);
    say(view.records > 0 ? t("shown").arg(view.records) : t("empty"), false);
}

void HistoryWindow::say(const QString& message, bool failure) {
    QPalette palette = m_message->palette();
    palette.setColor(QPalette::WindowText, failure ? QColor(255, 0, 0) : QColor(0, 0, 0));
    m_message->setPalette(palette);
    m_message->setText(message);
}

void HistoryWindow::chooseFile(bool n42) {
    const QString suggested = n42 ? QStringLiteral("history.n42") : QStringLiteral("history.csv");
    const QString path =
        QFileDialog::getSaveFileName(this, n42 ? t("exportN42") : t("exportCsv"), suggested,
                                     n42 ? t("n42Files") : t("csvFiles"));
    if (path.isEmpty()) {
        return;
    }
    if (n42) {
        exportN42(path);
    } else {
        exportCsv(path);
    }
}

bool HistoryWindow::exportCsv(const QString& path) {
    if (!openStore()) {
        return false;
    }
    history::Result r;
    const auto records = m_store.records(filter(), r);
    if (!r) {
        say(r.error, true);
        return false;
    }
    const QString shown = QDir::toNativeSeparators(path);
    if (const station::FileResult w = station::replaceFile(path, app::historyCsv(records)); !w) {
        say(t("notSaved").arg(shown, w.reason), true);
        return false;
    }
    say(t("csvSaved").arg(shown).arg(records.size()), false);
    return true;
}

bool HistoryWindow::exportN42(const QString& path) {
    if (!openStore()) {
        return false;
    }
    history::Result r;
    std::optional<history::Instrument> instrument;
    if (m_instrument->currentIndex() > 0) {
        instrument = m_store.instrumentNamed(m_instrument->currentText(), false, r);
    } else if (const auto known = m_store.instruments(r); r && known.size() == 1) {
        instrument = known.front();
    }
    if (!instrument) {
        say(r ? t("n42OneInstrument") : r.error, true);
        return false;
    }
    history::Filter f = filter();
    f.instrument = instrument->name;
    const auto records = m_store.records(f, r);
    if (!r) {
        say(r.error, true);
        return false;
    }
    history::N42Report report;
    QString why;
    const auto document = app::historyN42(*instrument, records,
                                          QStringLiteral("Veltra " VELTRA_VERSION), report, why);
    const QString shown = QDir::toNativeSeparators(path);
    if (!document) {
        say(t("notSaved").arg(shown, why), true);
        return false;
    }
    if (const station::FileResult w = station::replaceFile(path, *document); !w) {
        say(t("notSaved").arg(shown, w.reason), true);
        return false;
    }
    QString told = t("n42Saved").arg(shown).arg(report.measurements).arg(report.groups);
    if (report.leftOut > 0) {
        told += t("n42LeftOut").arg(report.leftOut);
    }
    say(told, false);
    return true;
}

} // namespace veltra::forms
