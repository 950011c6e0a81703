// The text tables applied to TForm1 and the connection dialog, the language menu and About.
#include "forms/About.h"
#include "forms/About_eng.h"
#include "forms/Interface.h"
#include "forms/history_window.h"
#include "forms/main_window.h"

#include "app/parameters_tab.h"
#include "app/text_tables.h"

#include "ui_main_window.h"

#include <qcustomplot.h>

namespace veltra::forms {

using text::pick;

void TForm1::applyLanguage(app::Language language) {
    MainMenu1Change(); // the menu's captions change; whoever called this enables Timer1 again
    // Menu items and their menus, tabs, labels, buttons and check boxes.
    for (const app::TextRow& row : app::mainWindowTexts()) {
        const QString text = pick(language, row.russian, row.english);
        const QLatin1String name(row.control);
        if (auto* action = findChild<QAction*>(name)) {
            action->setText(text);
        } else if (auto* menu = findChild<QMenu*>(name)) {
            menu->setTitle(text);
        } else if (auto* page = findChild<QWidget*>(name);
                   page != nullptr && m_ui->PageControl1->indexOf(page) >= 0) {
            m_ui->PageControl1->setTabText(m_ui->PageControl1->indexOf(page), text);
        } else if (auto* label = findChild<QLabel*>(name)) {
            label->setText(text);
        } else if (auto* button = findChild<QAbstractButton*>(name)) {
            button->setText(text);
        }
    }
    m_ui->Chart2->yAxis->setLabel(app::chartTitle(language));
    m_ui->Chart2->replot(QCustomPlot::rpQueuedReplot);
    m_ui->Label34->move(app::mainValueUnitLeft(language), m_ui->Label34->y());
    fitStatusCaptions();
    if (m_historyWindow) {
        m_historyWindow->applyLanguage(language);
    }

    for (const app::GridHeading& heading : app::gridHeadings()) {
        if (auto* grid = findChild<QTableWidget*>(QLatin1String(heading.grid))) {
            if (QTableWidgetItem* item = grid->item(heading.row, heading.column)) {
                item->setText(pick(language, heading.russian, heading.english));
            }
        }
    }
    {
        const QSignalBlocker block(m_ui->ComboBox9);
        m_ui->ComboBox9->clear();
        m_ui->ComboBox9->addItems(app::timeFormatItems(language));
        m_ui->ComboBox9->setCurrentIndex(0);
    }
    // The archive tab's header row and statistics labels (the session's unit caption gives way
    // to "МЭД" / "Dose rate" until the next session is shown).
    m_context.archiveTab.applyLanguage(language);
    m_context.archiveTab.dateFormatItem = 0;
    showArchiveTab();
    if (m_connection != nullptr) {
        m_connection->applyDialogLanguage(language);
    }

    const params::ParameterBlock& copy = m_context.state.parameters.block;
    if (const auto caption = app::modelCaption(copy.deviceType, language)) {
        setWindowTitle(*caption);
    }
    app::applyLanguageLists(m_context.parametersTab, language, copy);
    syncParametersTab();
}

void TForm1::chooseLanguage(app::Language language) {
    m_context.state.language = language;
    applyLanguage(language);
    setLanguageMarks(language);
    setTimer1Enabled(true);
}

void TForm1::N1Click() {
    chooseLanguage(app::Language::russian);
}

void TForm1::English1Click() {
    chooseLanguage(app::Language::english);
}

void TForm1::MainMenu1Change() {
    setTimer1Enabled(false);
}

void TForm1::showAbout() {
    const bool versionLine = m_context.state.parametersRead;
    m_aboutRussian->setVersionLineVisible(versionLine);
    m_aboutEnglish->setVersionLineVisible(versionLine);
    if (m_context.state.aboutSuppressed) {
        return;
    }
    if (m_context.state.language == app::Language::russian) {
        m_aboutRussian->exec();
    } else if (m_context.state.language == app::Language::english) {
        m_aboutEnglish->exec();
    }
}

void TForm1::MaboutClick() {
    showAbout();
}

} // namespace veltra::forms
