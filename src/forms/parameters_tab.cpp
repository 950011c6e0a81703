// The parameters tab of TForm1: its controls show the core's tab state (app::ParametersTab) and
// feed the user's edits back into it; the tab switching that pauses the polling cycle.
#include "forms/About.h"
#include "forms/About_eng.h"
#include "forms/main_window.h"
#include "forms/parameters_binding.h"

#include "forms/Interface.h"

#include "text/number_text.h"

#include "ui_main_window.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableWidget>

namespace veltra::forms {

namespace {

using text::userDecimalSeparator;

using app::TabControl;

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

void showSelector(QComboBox* box, const app::Selector& selector) {
    const QSignalBlocker block(box);
    QStringList current;
    for (int i = 0; i < box->count(); ++i) {
        current << box->itemText(i);
    }
    if (current != selector.items) {
        box->clear();
        box->addItems(selector.items);
    }
    box->setCurrentIndex(selector.index);
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
    // Rows of 16 pixels as laid out; the style's own minimum (taller on Windows) must not grow
    // them past the grid's height.
    samples->verticalHeader()->setMinimumSectionSize(16);
    samples->verticalHeader()->setDefaultSectionSize(16);
    setCell(samples, 0, 0, QStringLiteral("№"), true);
    setCell(samples, 1, 0, QStringLiteral("Время и дата"), true);
    setCell(samples, 2, 0, QStringLiteral("МЭД"), true);

    QTableWidget* statistics = m_ui->StringGrid3;
    statistics->setColumnWidth(0, 110);
    statistics->setColumnWidth(1, 110);
    statistics->verticalHeader()->setMinimumSectionSize(16);
    statistics->verticalHeader()->setDefaultSectionSize(16);
    const char* const labels[] = {"Время работы", "Измерений", "Максимум", "Минимум", "Среднее"};
    for (int row = 0; row < 5; ++row) {
        setCell(statistics, 0, row, QString::fromUtf8(labels[row]), true);
    }
    connectParametersTab();
    syncParametersTab();
}

std::array<std::pair<QComboBox*, app::Selector*>, 8> TForm1::selectorBindings() {
    auto& tab = m_context.parametersTab;
    return {{{m_ui->ComboBox1, &tab.mode},
             {m_ui->ComboBox2, &tab.sound},
             {m_ui->ComboBox3, &tab.instrumentLanguage},
             {m_ui->ComboBox4, &tab.backlightTime},
             {m_ui->ComboBox5, &tab.doseRateThresholdNo},
             {m_ui->ComboBox6, &tab.displayView},
             {m_ui->ComboBox7, &tab.doseThresholdNo},
             {m_ui->ComboBox8, &tab.backlightColour}}};
}

void TForm1::connectParametersTab() {
    for (const auto& [box, selector] : selectorBindings()) {
        connect(box, &QComboBox::currentIndexChanged, this,
                [selector = selector](int index) { selector->index = index; });
    }
    // Check boxes and radio buttons: the user's click changes the state; the rules follow.
    for (int i = 0; i < app::tabControlCount; ++i) {
        const auto control = static_cast<TabControl>(i);
        auto* button = findChild<QAbstractButton*>(QLatin1String(tabControlObjectName(control)));
        if (button == nullptr) {
            continue;
        }
        const bool radio = qobject_cast<QRadioButton*>(button) != nullptr;
        connect(button, &QAbstractButton::clicked, this, [this, control, radio](bool checked) {
            // A radio button is not unchecked by clicking it again.
            m_context.parametersTab.setChecked(control, radio || checked);
            syncParametersTab();
        });
    }
    const auto cellEdited = [this](QTableWidgetItem* item, std::array<QString, 3>& cells) {
        if (item->column() == 1 && item->row() >= 1 && item->row() <= 3) {
            cells[static_cast<std::size_t>(item->row() - 1)] = item->text();
        }
    };
    connect(m_ui->StringGrid1, &QTableWidget::itemChanged, this,
            [this, cellEdited](QTableWidgetItem* item) {
                cellEdited(item, m_context.parametersTab.doseRateCells);
            });
    connect(m_ui->StringGrid4, &QTableWidget::itemChanged, this,
            [this, cellEdited](QTableWidgetItem* item) {
                cellEdited(item, m_context.parametersTab.doseCells);
            });
    connect(m_ui->Button14, &QPushButton::clicked, this, &TForm1::Button14Click);
    connect(m_ui->Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    connect(m_ui->Button8, &QPushButton::clicked, this, &TForm1::Button8Click);
    connect(m_ui->Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(m_ui->Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
}

void TForm1::syncParametersTab() {
    const auto& tab = m_context.parametersTab;
    for (int i = 0; i < app::tabControlCount; ++i) {
        const auto control = static_cast<TabControl>(i);
        auto* widget = findChild<QWidget*>(QLatin1String(tabControlObjectName(control)));
        if (widget == nullptr) {
            continue;
        }
        widget->setVisible(tab.visible(control));
        widget->setEnabled(tab.enabled(control));
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const QSignalBlocker block(button);
            button->setChecked(tab.checked(control));
        }
    }
    for (const auto& [box, selector] : selectorBindings()) {
        showSelector(box, *selector);
    }
    {
        const QSignalBlocker block1(m_ui->StringGrid1);
        const QSignalBlocker block4(m_ui->StringGrid4);
        for (int row = 1; row <= 3; ++row) {
            const auto index = static_cast<std::size_t>(row - 1);
            m_ui->StringGrid1->item(row, 1)->setText(tab.doseRateCells[index]);
            m_ui->StringGrid4->item(row, 1)->setText(tab.doseCells[index]);
        }
    }
    {
        const QSignalBlocker block(m_ui->TrackBar2);
        m_ui->TrackBar2->setValue(tab.bluetoothPeriodPosition());
    }
    m_ui->Label11->setText(tab.bluetoothPeriodMinutesText());
}

void TForm1::setSoftwareVersion(int version) {
    if (m_aboutRussian != nullptr) {
        m_aboutRussian->setSoftwareVersion(version);
    }
    if (m_aboutEnglish != nullptr) {
        m_aboutEnglish->setSoftwareVersion(version);
    }
}

void TForm1::Button14Click() {
    setTimer1Enabled(false);
    app::readParameters(m_context, *this, false, userDecimalSeparator());
    syncParametersTab();
}

void TForm1::Button6Click() {
    setTimer1Enabled(false);
    app::CellError badCell;
    if (app::writeParameters(m_context, *this, userDecimalSeparator(), &badCell) ==
        app::Outcome::badCell) {
        // Point at the cell that holds no number.
        QTableWidget* grid = badCell.doseRateGrid ? m_ui->StringGrid1 : m_ui->StringGrid4;
        grid->setCurrentCell(badCell.row, 1);
        grid->setFocus();
    }
}

void TForm1::Button8Click() {
    app::resetDose(m_context, *this, app::DoseResetButton::resultsTab);
}

void TForm1::Button3Click() {
    setTimer1Enabled(false);
    app::resetDose(m_context, *this, app::DoseResetButton::parametersTab);
}

void TForm1::Button4Click() {
    const int boxNumber =
        m_connection != nullptr ? app::portBoxNumber(m_connection->portBox()->currentText()) : 0;
    app::restoreFactorySettings(m_context, boxNumber);
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
    m_context.parametersTab.setBluetoothPeriodPosition(position);
    m_ui->Label11->setText(m_context.parametersTab.bluetoothPeriodMinutesText());
}

} // namespace veltra::forms
