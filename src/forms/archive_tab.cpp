// The archive tab of TForm1: reading the archive, the session table, chart and statistics, the
// session arrows, the chart's navigation buttons, and erasing. The tab's state and its rules
// live in the core (app::ArchiveTab); this file shows it and feeds the clicks in.
#include "forms/Short2.h"
#include "forms/chart_icons.h"
#include "forms/chart_time.h"
#include "forms/fonts.h"
#include "forms/history_window.h"
#include "forms/main_window.h"

#include "text/number_text.h"

#include "ui_main_window.h"

#include <qcustomplot.h>

#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QThread>
#include <QTimer>

namespace veltra::forms {

namespace {

using archive::NavigationButton;

constexpr double daysFrom1899To1970 = 25569.0;
constexpr double secondsPerDay = 86400.0;

// Date-time labels for keys in day serials (days since 1899-12-30, the fraction the time of
// day), as the instrument's clock shows them: the base ticker counts seconds since 1970.
class DaySerialTicker : public WallClockTicker {
protected:
    static double toSeconds(double days) { return (days - daysFrom1899To1970) * secondsPerDay; }
    static QCPRange toSeconds(const QCPRange& r) {
        return {toSeconds(r.lower), toSeconds(r.upper)};
    }
    double getTickStep(const QCPRange& range) override {
        return WallClockTicker::getTickStep(toSeconds(range)) / secondsPerDay;
    }
    int getSubTickCount(double tickStep) override {
        return WallClockTicker::getSubTickCount(tickStep * secondsPerDay);
    }
    QString getTickLabel(double tick, const QLocale& locale, QChar formatChar,
                         int precision) override {
        return WallClockTicker::getTickLabel(toSeconds(tick), locale, formatChar, precision);
    }
    QVector<double> createTickVector(double tickStep, const QCPRange& range) override {
        QVector<double> ticks =
            WallClockTicker::createTickVector(tickStep * secondsPerDay, toSeconds(range));
        for (double& t : ticks) {
            t = t / secondsPerDay + daysFrom1899To1970;
        }
        return ticks;
    }
};

// Leaves room above the highest point for its marker.
constexpr double valueHeadroom = 1.05;

} // namespace

void TForm1::setUpArchiveTab() {
    QCustomPlot* chart = m_ui->Chart5;
    chart->setBackground(Qt::white);
    chart->legend->setVisible(false);
    m_archiveTicker = QSharedPointer<DaySerialTicker>::create();
    chart->xAxis->setTicker(m_archiveTicker);
    chart->yAxis->setRange(0.0, 1.0);
    // Room in the margins for the navigation buttons: a column of four at the left (x 4..29)
    // and a row of five at the bottom (y 339..364 of 372), beyond the axes' labels.
    chart->axisRect()->setMinimumMargins(QMargins(76, 8, 10, 56));
    m_series12 = chart->addGraph();
    m_series12->setName(QStringLiteral("Series12"));
    m_series12->setPen(QPen(QColor(255, 0, 0), 1));
    m_series12->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(QColor(255, 0, 0)), Qt::NoBrush, 5));

    const struct {
        QToolButton* button;
        ChartIcon icon;
        void (TForm1::*handler)();
    } buttons[] = {
        {m_ui->BitBtn10, ChartIcon::fit, &TForm1::BitBtn10Click},
        {m_ui->BitBtn1, ChartIcon::zoomIn, &TForm1::BitBtn1Click},
        {m_ui->BitBtn2, ChartIcon::zoomOut, &TForm1::BitBtn2Click},
        {m_ui->BitBtn4, ChartIcon::right, &TForm1::BitBtn4Click},
        {m_ui->BitBtn3, ChartIcon::left, &TForm1::BitBtn3Click},
        {m_ui->BitBtn9, ChartIcon::down, &TForm1::BitBtn9Click},
        {m_ui->BitBtn8, ChartIcon::up, &TForm1::BitBtn8Click},
        {m_ui->BitBtn7, ChartIcon::zoomOut, &TForm1::BitBtn7Click},
        {m_ui->BitBtn6, ChartIcon::zoomIn, &TForm1::BitBtn6Click},
    };
    for (const auto& b : buttons) {
        b.button->setText(QString());
        b.button->setIcon(chartIcon(b.icon));
        b.button->setIconSize(QSize(16, 16));
        connect(b.button, &QToolButton::clicked, this, b.handler);
    }
    m_ui->BitBtn5->setText(QString());
    m_ui->BitBtn5->setIcon(chartIcon(ChartIcon::left));
    m_ui->BitBtn11->setText(QString());
    m_ui->BitBtn11->setIcon(chartIcon(ChartIcon::right));

    // The cells of the sample table, made once; the state's texts go into them.
    QTableWidget* samples = m_ui->StringGrid8;
    for (int row = 1; row < samples->rowCount(); ++row) {
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            samples->setItem(row, column, item);
        }
    }
    for (int row = 0; row < 5; ++row) {
        auto* item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        m_ui->StringGrid3->setItem(row, 1, item);
    }

    connect(m_ui->Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(m_ui->Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
    connect(m_ui->CancelRead, &QPushButton::clicked, this, &TForm1::cancelDeviceWork);
    connect(m_ui->BitBtn5, &QToolButton::clicked, this, &TForm1::BitBtn5Click);
    connect(m_ui->BitBtn11, &QToolButton::clicked, this, &TForm1::BitBtn11Click);
    connect(m_ui->CheckBox1, &QCheckBox::toggled, this,
            [this](bool on) { m_context.archiveTab.saveToFile = on; });
    connect(m_ui->ComboBox9, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_context.archiveTab.dateFormatItem = index; });
}

void TForm1::showArchiveTab() {
    const app::ArchiveTab& tab = m_context.archiveTab;
    QTableWidget* samples = m_ui->StringGrid8;
    samples->setUpdatesEnabled(false);
    for (int column = 0; column < 3; ++column) {
        // A heading wider than its column (the alpha unit's caption) gets a smaller font.
        QTableWidgetItem* heading = samples->item(0, column);
        const QString text = tab.header[static_cast<std::size_t>(column)];
        heading->setText(text);
        heading->setFont(smallerToFit(samples->font(), text, samples->columnWidth(column) - 7));
    }
    // Rows beyond the row count are kept (and hidden with it), as the grid keeps its cells.
    if (samples->rowCount() < static_cast<int>(archive::recordCapacity)) {
        samples->setRowCount(static_cast<int>(archive::recordCapacity));
    }
    for (int row = 1; row < samples->rowCount(); ++row) {
        const auto& cells = tab.rows[static_cast<std::size_t>(row - 1)];
        for (int column = 0; column < 3; ++column) {
            QTableWidgetItem* item = samples->item(row, column);
            if (item->text() != cells[static_cast<std::size_t>(column)]) {
                item->setText(cells[static_cast<std::size_t>(column)]);
            }
        }
        samples->setRowHidden(row, row >= tab.rowCount);
    }
    samples->setUpdatesEnabled(true);
    for (int row = 0; row < 5; ++row) {
        const auto index = static_cast<std::size_t>(row);
        m_ui->StringGrid3->item(row, 0)->setText(tab.statLabels[index]);
        if (tab.stats) {
            m_ui->StringGrid3->item(row, 1)->setText((*tab.stats)[index]);
        }
    }
    if (tab.box) {
        m_ui->Edit2->setText(*tab.box);
    }
    {
        const QSignalBlocker block(m_ui->CheckBox1);
        m_ui->CheckBox1->setChecked(tab.saveToFile);
    }
    m_ui->ProgressBar2->setVisible(tab.decodingProgressVisible);
    m_ui->ProgressBar2->setValue(tab.decodingProgress);
    replotArchiveChart();
}

void TForm1::replotArchiveChart() {
    const app::ArchiveTab& tab = m_context.archiveTab;
    QCustomPlot* chart = m_ui->Chart5;
    QVector<QCPGraphData> graphData;
    graphData.reserve(static_cast<qsizetype>(tab.points.size()));
    double highest = 0.0;
    for (const auto& p : tab.points) {
        graphData.append(QCPGraphData(p.x, p.y));
        highest = std::max(highest, p.y);
    }
    m_series12->data()->set(graphData, false);
    m_archiveTicker->setDateTimeFormat(tab.dateFormat);

    const archive::ChartAxes& axes = tab.axes;
    if (!axes.timeAutomatic) {
        chart->xAxis->setRange(axes.time.min, axes.time.max);
    } else if (!tab.points.empty()) {
        bool found = false;
        QCPRange keys = m_series12->getKeyRange(found);
        if (keys.size() <= 0.0) { // one point: a minute either side
            keys = QCPRange(keys.lower - 1.0 / 1440.0, keys.upper + 1.0 / 1440.0);
        }
        chart->xAxis->setRange(keys);
    }
    if (!axes.valueAutomaticMax) {
        chart->yAxis->setRange(axes.value.min, axes.value.max);
    } else {
        const double upper =
            highest > axes.value.min ? highest * valueHeadroom : chart->yAxis->range().upper;
        chart->yAxis->setRange(axes.value.min, upper);
    }
    chart->replot(QCustomPlot::rpQueuedReplot);
}

void TForm1::clearArchiveChart() {
    m_context.archiveTab.points.clear();
    replotArchiveChart();
}

void TForm1::showReadProgress(int recordsRead) {
    QProgressBar* bar = m_ui->ReadProgress;
    if (recordsRead < 0) {
        bar->hide();
        return;
    }
    // The read handles no input and no timer until it ends; the bar is painted at once.
    bar->setValue(recordsRead);
    bar->show();
    bar->repaint();
}

bool TForm1::confirmErase() {
    const app::Language language = m_context.state.language;
    QMessageBox box(QMessageBox::Question, text::pick(language, "Стереть архив", "Erase archive"),
                    text::pick(language, "Стереть архив прибора? Все его записи будут потеряны.",
                               "Erase the instrument's archive? All its records will be lost."),
                    QMessageBox::NoButton, this);
    QPushButton* yes =
        box.addButton(text::pick(language, "Стереть", "Erase"), QMessageBox::DestructiveRole);
    QPushButton* no =
        box.addButton(text::pick(language, "Отмена", "Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.setObjectName(QStringLiteral("EraseQuestion"));
    box.exec();
    return box.clickedButton() == yes;
}

void TForm1::resetMemoryFill() {
    m_ui->Label21->setText(text::fixedText(0.0, 0, text::userDecimalSeparator()) + u'%');
    m_ui->ProgressBar1->setValue(0);
    QPalette palette = m_ui->Label21->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    m_ui->Label21->setPalette(palette);
}

void TForm1::Button1Click() {
    setTimer1Enabled(false);
    clearArchiveChart();
    const app::ArchiveReadResult read =
        app::readArchive(m_context, *this, text::userDecimalSeparator());
    if (read.outcome == app::Outcome::interrupted && m_cancelled) {
        // As a failed read, said as the user's own doing.
        showStatus(app::StatusColour::black, app::status::readCancelled);
    }
    if (read.identity) {
        m_context.lineIdentity = read.identity;
        m_context.lineIdentityPort = m_context.state.portNumber;
    }
    // Into the dose history: a whole download, or the records a shorter read proved.
    if (read.identity && (read.outcome == app::Outcome::ok || read.recordsRead > 0)) {
        const app::DownloadStored stored = app::storeArchiveRead(
            m_context, read, historyPath(), QString(), QStringLiteral("veltra " VELTRA_VERSION));
        if (!stored.stored) {
            showStatus(app::StatusColour::red, app::status::historyNotWritten.arg(stored.error));
        } else if (m_historyWindow && m_historyWindow->isVisible()) {
            m_historyWindow->refresh();
        }
    }
}

void TForm1::Button7Click() {
    app::eraseArchive(m_context, *this);
}

void TForm1::BitBtn5Click() {
    app::stepSession(m_context, *this, app::SessionStep::previous, text::userDecimalSeparator());
}

void TForm1::BitBtn11Click() {
    app::stepSession(m_context, *this, app::SessionStep::next, text::userDecimalSeparator());
}

void TForm1::navigate(NavigationButton button) {
    const QCPAxis* axis =
        archive::movesTimeAxis(button) ? m_ui->Chart5->xAxis : m_ui->Chart5->yAxis;
    if (app::navigateChart(m_context.archiveTab, button,
                           {axis->range().lower, axis->range().upper})) {
        replotArchiveChart();
    }
}

void TForm1::BitBtn1Click() {
    navigate(NavigationButton::timeZoomIn);
}
void TForm1::BitBtn2Click() {
    navigate(NavigationButton::timeZoomOut);
}
void TForm1::BitBtn3Click() {
    navigate(NavigationButton::timeEarlier);
}
void TForm1::BitBtn4Click() {
    navigate(NavigationButton::timeLater);
}
void TForm1::BitBtn6Click() {
    navigate(NavigationButton::valueZoomIn);
}
void TForm1::BitBtn7Click() {
    navigate(NavigationButton::valueZoomOut);
}
void TForm1::BitBtn8Click() {
    navigate(NavigationButton::valueUp);
}
void TForm1::BitBtn9Click() {
    navigate(NavigationButton::valueDown);
}

void TForm1::BitBtn10Click() {
    app::resetChartScaling(m_context.archiveTab);
    replotArchiveChart();
}

} // namespace veltra::forms
