// The results tab of TForm1: the readings of the top panel, the status panels they fill, and
// the live chart.
#include "forms/Short2.h"
#include "forms/chart_time.h"
#include "forms/fonts.h"
#include "forms/main_window.h"

#include "live/live_chart.h"

#include "ui_main_window.h"

#include <qcustomplot.h>

#include <algorithm>
#include <array>

namespace veltra::forms {

namespace {

// Time labels of the live chart: the instrument's wall-clock time, never closer than a minute.
class MinuteTicker : public WallClockTicker {
public:
    MinuteTicker() { setDateTimeFormat(QStringLiteral("hh:mm")); }

protected:
    double getTickStep(const QCPRange& range) override {
        return std::max(60.0, WallClockTicker::getTickStep(range));
    }
};

// clMenuBar, as the platform's palette renders a menu bar: its window colour.
QColor boxColour(live::BoxColour colour, const QPalette& palette) {
    return colour == live::BoxColour::red ? QColor(255, 0, 0) : palette.color(QPalette::Window);
}

QString barStyle(live::BarColour colour) {
    const char* rgb = colour == live::BarColour::green    ? "rgb(0,128,0)"
                      : colour == live::BarColour::yellow ? "rgb(255,255,0)"
                                                          : "rgb(255,0,0)";
    return QStringLiteral("QProgressBar::chunk { background-color: %1; }").arg(rgb);
}

} // namespace

void TForm1::setUpLiveChart() {
    QCustomPlot* chart = m_ui->Chart2;
    chart->setBackground(Qt::white);
    chart->axisRect()->setBackground(Qt::white);
    chart->legend->setVisible(false);
    chart->setSelectionRectMode(QCP::srmZoom);
    chart->setNoAntialiasingOnDrag(true);

    chart->xAxis->setTicker(QSharedPointer<MinuteTicker>::create());
    chart->xAxis->ticker()->setTickCount(8);
    chart->xAxis->setTickLabels(false); // hidden until the first point

    chart->yAxis->setRange(0.0, live::chartStartMaximum);
    chart->yAxis->setLabelFont(programFont(Typeface::arial, 13));
    chart->yAxis->setLabelColor(Qt::black);
    chart->yAxis->setPadding(4);

    m_series1 = chart->addGraph();
    m_series1->setName(QStringLiteral("Series1"));
    m_series1->setPen(QPen(QColor(255, 0, 0), 1));
    m_series1->setScatterStyle(
        QCPScatterStyle(QCPScatterStyle::ssDisc, Qt::NoPen, QBrush(QColor(255, 0, 0)), 7));
    m_series1->setAdaptiveSampling(true);

    // A rubber band zooms in; a double click gives the whole series back.
    connect(chart->selectionRect(), &QCPSelectionRect::accepted, this, [this] {
        m_liveChartZoomed = true;
        replotLiveChart();
    });
    connect(chart, &QCustomPlot::mouseDoubleClick, this, [this] {
        m_liveChartZoomed = false;
        replotLiveChart();
    });
}

void TForm1::replotLiveChart() {
    QCustomPlot* chart = m_ui->Chart2;
    const QCPRange visible = chart->xAxis->range();
    const auto points = m_liveChartZoomed && !m_liveSeries.empty()
                            ? m_liveSeries.drawPoints(visible.lower, visible.upper, 1024)
                            : m_liveSeries.drawPoints();
    QVector<QCPGraphData> graphData;
    graphData.reserve(static_cast<qsizetype>(points.size()));
    for (const auto& p : points) {
        graphData.append(QCPGraphData(p.key, p.value));
    }
    m_series1->data()->set(graphData, true);
    if (!m_liveChartZoomed && !m_liveSeries.empty()) {
        const double first = m_liveSeries.points().front().key;
        const double last = m_liveSeries.points().back().key;
        // A single point gets a minute either side; otherwise room for the first and the last
        // marker at the edges.
        const double pad = std::max((last - first) * 0.015, 5.0);
        chart->xAxis->setRange(first < last ? QCPRange(first - pad, last + pad)
                                            : QCPRange(first - 60.0, last + 60.0));
    }
    chart->replot(QCustomPlot::rpQueuedReplot);
}

void TForm1::chartPoint(double key, double y, double axisMaximum, bool plot) {
    QCustomPlot* chart = m_ui->Chart2;
    chart->xAxis->setTickLabels(true);
    chart->yAxis->setRangeUpper(axisMaximum);
    if (plot) {
        m_liveSeries.add(key, y);
    }
    replotLiveChart();
}

void TForm1::restartLiveChart(const live::ChartRestart& restart) {
    if (restart.clearSeries) {
        m_liveSeries.clear();
    }
    if (restart.resetScale) {
        m_ui->Chart2->yAxis->setRange(0.0, live::chartStartMaximum);
    }
    if (restart.title) {
        m_ui->Chart2->yAxis->setLabel(*restart.title);
    }
    if (restart.clearSeries || restart.resetScale || restart.title) {
        replotLiveChart();
    }
}

void TForm1::clearLiveChart() {
    m_liveSeries.clear();
    replotLiveChart();
}

void TForm1::Button5Click() {
    m_liveSeries.clear();
    m_ui->Chart2->yAxis->setRange(0.0, live::chartStartMaximum);
    m_cycle.state().chartMaximum = 0.0;
    replotLiveChart();
}

void TForm1::Button11Click() {
    m_liveSeries.clear();
    replotLiveChart();
}

void TForm1::fitReadingBoxes() {
    // The reading boxes show their whole text: a number wider than its box (a value far out of
    // any range, the longest duration) gets a smaller font, never a cut.
    const struct {
        QLineEdit* box;
        int pixelSize;
    } boxes[] = {{m_ui->Edit4, 19}, {m_ui->Edit10, 19}, {m_ui->Edit1, 16}};
    for (const auto& [box, designed] : boxes) {
        const int frame = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, box);
        const int room = box->width() - 2 * frame - 2 * 2 - 2;
        const QFont font =
            smallerToFit(programFont(Typeface::arial, designed, true, true), box->text(), room);
        if (font != box->font()) {
            box->setFont(font);
        }
    }
}

void TForm1::fitCaptionBeforeUnit() {
    // The main reading's caption and its unit share a line; the unit's place is fixed, so a
    // caption that would run into it (the long caption of volumetric activity) gets a smaller
    // font.
    QLabel* caption = m_ui->Label12;
    const int room = m_ui->Label34->x() - caption->x() - 3;
    const QFont font =
        smallerToFit(programFont(Typeface::interface, 12, true), caption->text(), room);
    caption->setFont(font);
    caption->resize(
        std::max(1, std::min(room, QFontMetrics(font).horizontalAdvance(caption->text()) + 2)),
        caption->height());
}

void TForm1::fitStatusCaptions() {
    // The captions above the status bar stand at fixed places; one that would run into the
    // next (English "Measurements") sets its letters closer, or takes a smaller font, so that
    // a blank's width stays between them.
    constexpr int gap = 4;
    const std::array<QLabel*, 6> row{m_ui->Label1, m_ui->Label2,  m_ui->Label3,
                                     m_ui->Label5, m_ui->Label19, m_ui->Label22};
    const QFont base = programFont(Typeface::interface, 11);
    for (std::size_t i = 0; i < row.size(); ++i) {
        QLabel* caption = row[i];
        const int room =
            i + 1 < row.size() ? row[i + 1]->x() - caption->x() - gap : caption->width();
        caption->setFont(fittingFont(base, caption->text(), room));
        caption->resize(room, caption->height());
    }
}

void TForm1::applyReadings(const live::ReadingsView& v) {
    const auto setBackground = [](QWidget* w, const QColor& colour) {
        QPalette palette = w->palette();
        palette.setColor(QPalette::Base, colour);
        w->setPalette(palette);
    };
    setBackground(m_ui->Edit4, boxColour(v.mainValueColour, palette()));
    setBackground(m_ui->Edit10, boxColour(v.doseColour, palette()));
    m_ui->StatusPanel3->setText(v.measurementCountText);
    m_ui->Label21->setText(v.memoryFillPercentText);
    m_ui->ProgressBar1->setValue(std::min(v.memoryFillBar, m_ui->ProgressBar1->maximum()));
    if (v.memoryFillBarColour != live::BarColour::unchanged) {
        m_ui->ProgressBar1->setStyleSheet(barStyle(v.memoryFillBarColour));
    }
    m_ui->Label20->setText(v.errorPercentText);
    m_ui->Image1->setVisible(true);

    const auto setText = [](auto* widget, const std::optional<QString>& text) {
        if (text) {
            widget->setText(*text);
        }
    };
    setText(m_ui->Label12, v.mainValueCaption);
    setText(m_ui->Label34, v.mainValueUnit);
    if (v.mainValueUnit) {
        m_ui->Label34->adjustSize();
    }
    if (v.mainValueUnitLeft) {
        m_ui->Label34->move(*v.mainValueUnitLeft, m_ui->Label34->y());
    }
    if (v.mainValueCaption || v.mainValueUnitLeft) {
        fitCaptionBeforeUnit();
    }
    setText(m_ui->Edit4, v.mainValueText);
    setText(m_ui->Label39, v.doseUnit);
    if (v.doseUnit) {
        m_ui->Label39->adjustSize();
    }
    setText(m_ui->Edit10, v.doseText);
    setText(m_ui->StatusPanel1, v.workingTimeText);
    setText(m_ui->Edit1, v.doseAccumulationTimeText);
    fitReadingBoxes();
    setText(m_ui->StatusPanel2, v.batteryText);
    setText(m_ui->StatusPanel4, v.doseRateThresholdText);
    setText(m_ui->StatusPanel5, v.doseThresholdText);
    if (m_compact != nullptr && (v.compactValueText || v.compactUnitText)) {
        setText(m_compact->label1(), v.compactValueText);
        setText(m_compact->label2(), v.compactUnitText);
        m_compact->fitToLabels();
    }
}

} // namespace veltra::forms
