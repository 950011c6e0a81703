// The parameters tab of TForm1 and the tab switching that pauses the polling cycle.
#include "forms/main_window.h"

#include "ui_main_window.h"

#include <QHeaderView>
#include <QTableWidget>

namespace veltra::forms {

namespace {

// Writes a grid cell (column, row), as the grids address their cells.
void setCell(QTableWidget* grid, int column, int row, const QString& text, bool fixed) {
    auto* item = new QTableWidgetItem(text);
    if (fixed) {
        item->setFlags(Qt::ItemIsEnabled);
        item->setBackground(grid->palette().color(QPalette::Button));
    }
    grid->setItem(row, column, item);
}

void setUpThresholdGrid(QTableWidget* grid, const QString& name, const QString& unit) {
    grid->setColumnWidth(0, 100);
    grid->setColumnWidth(1, 158);
    setCell(grid, 0, 0, name, true);
    setCell(grid, 1, 0, unit, true);
    for (int row = 1; row <= 3; ++row) {
        setCell(grid, 0, row, QStringLiteral("# %1").arg(row), true);
        setCell(grid, 1, row, QString(), false);
    }
    for (int row = 0; row < grid->rowCount(); ++row) {
        grid->setRowHeight(row, 21);
    }
}

} // namespace

void TForm1::setUpGrids() {
    setUpThresholdGrid(m_ui->StringGrid1, QStringLiteral("Порог МЭД"),
                       QStringLiteral("Значение, мкЗв/ч"));
    setUpThresholdGrid(m_ui->StringGrid4, QStringLiteral("Порог ЭД"),
                       QStringLiteral("Значение, мкЗв"));

    QTableWidget* samples = m_ui->StringGrid8;
    const int widths[] = {30, 109, 114};
    for (int column = 0; column < 3; ++column) {
        samples->setColumnWidth(column, widths[column]);
    }
    samples->verticalHeader()->setDefaultSectionSize(16);
    setCell(samples, 0, 0, QStringLiteral("№"), true);
    setCell(samples, 1, 0, QStringLiteral("Время и дата"), true);
    setCell(samples, 2, 0, QStringLiteral("МЭД"), true);

    QTableWidget* statistics = m_ui->StringGrid3;
    statistics->setColumnWidth(0, 110);
    statistics->setColumnWidth(1, 110);
    statistics->verticalHeader()->setDefaultSectionSize(16);
    const char* const labels[] = {"Время работы", "Измерений", "Максимум", "Минимум", "Среднее"};
    for (int row = 0; row < 5; ++row) {
        setCell(statistics, 0, row, QString::fromUtf8(labels[row]), true);
    }
}

void TForm1::PageControl1Change(int index) {
    QWidget* page = m_ui->PageControl1->widget(index);
    if (page == m_ui->TabSheet2) {
        setTimer1Enabled(true);
    } else if (page == m_ui->TabSheet5 || page == m_ui->TabSheet1) {
        setTimer1Enabled(false);
    }
}

void TForm1::TrackBar2Change(int position) {
    m_ui->Label11->setText(QString::number(position / 60));
}

} // namespace veltra::forms
