#include "forms/main_window.h"

#include "app/settings_file.h"
#include "forms/About.h"
#include "forms/About_eng.h"
#include "forms/Interface.h"
#include "forms/Short2.h"
#include "forms/fonts.h"
#include "forms/history_window.h"

#include "ui_main_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>

namespace veltra::forms {

namespace {

constexpr int timer1Interval_ms = 1000;
constexpr int timer2Interval_ms = 3000;
constexpr int timer3Interval_ms = 7000;
constexpr int clientWidth = 848;
constexpr int clientHeight = 482;

} // namespace

TForm1::TForm1(app::AppContext& context, QWidget* parent)
    : QMainWindow(parent), m_context(context), m_ui(std::make_unique<Ui::TForm1>()),
      m_cycle(context, *this), m_startup(context, m_cycle, *this),
      m_settingsPath(app::settingsFilePath()) {
    m_ui->setupUi(this);
    applyProgramFonts(this);
    m_ui->centralwidget->setFixedSize(clientWidth, clientHeight);
    setFixedSize(clientWidth, clientHeight + m_ui->MainMenu1->sizeHint().height());
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    setUpStatusBar();
    setUpGrids();
    setUpLiveChart();
    setUpArchiveTab();

    m_timer1.setInterval(timer1Interval_ms);
    m_timer2.setInterval(timer2Interval_ms);
    m_timer3.setInterval(timer3Interval_ms);
    connect(&m_timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(&m_timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    connect(&m_timer3, &QTimer::timeout, this, &TForm1::Timer3Timer);
    m_timer1.start(); // enabled at creation

    connect(m_ui->N8, &QAction::triggered, this, &TForm1::N8Click);
    connect(m_ui->N13, &QAction::triggered, this, &TForm1::N13Click);
    connect(m_ui->N3, &QAction::triggered, this, &TForm1::N3Click);
    connect(m_ui->N21, &QAction::triggered, this, &TForm1::N21Click);
    connect(m_ui->N1, &QAction::triggered, this, &TForm1::N1Click);
    connect(m_ui->English1, &QAction::triggered, this, &TForm1::English1Click);
    connect(m_ui->Mabout, &QAction::triggered, this, &TForm1::MaboutClick);
    connect(m_ui->LogReadings, &QAction::triggered, this, &TForm1::LogReadingsClick);
    connect(m_ui->ShowHistory, &QAction::triggered, this, &TForm1::ShowHistoryClick);
    // Device work runs on a worker; Esc cancels it, as "Отмена" does.
    attachDeviceWorker();
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &TForm1::cancelDeviceWork);
    // The measurement log, as the settings file left it.
    if (const auto log = app::loadLogSettings(app::readIniFile(m_settingsPath)); log.enabled) {
        m_ui->LogReadings->setChecked(true);
        startReadingsLog(log);
    }
    connect(m_ui->Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(m_ui->Button2, &QPushButton::clicked, this, &TForm1::Button11Click);
    connect(m_ui->PageControl1, &QTabWidget::currentChanged, this, &TForm1::PageControl1Change);
    connect(m_ui->TrackBar1, &QSlider::valueChanged, this, &TForm1::TrackBar1Change);
    connect(m_ui->TrackBar2, &QSlider::valueChanged, this, &TForm1::TrackBar2Change);
}

TForm1::~TForm1() {
    m_context.deviceWork = nullptr;
    m_context.onInterface = nullptr;
}

void TForm1::startReadingsLog(const app::LogSettings& settings) {
    const QString folder = app::logFolder(settings, m_settingsPath);
    m_context.readingsLog = std::make_unique<station::MeasurementLog>(
        folder, station::MeasurementLog::Into::folder, false);
    m_ui->LogReadings->setStatusTip(QDir::toNativeSeparators(folder));
    m_ui->LogReadings->setToolTip(QDir::toNativeSeparators(folder));
    m_context.readingsHistory = std::make_unique<app::ReadingsHistory>(historyPath());
}

QString TForm1::historyPath() const {
    return m_context.historyPath.isEmpty()
               ? QFileInfo(m_settingsPath).absoluteDir().filePath(history::historyFileName)
               : m_context.historyPath;
}

void TForm1::ShowHistoryClick() {
    if (!m_historyWindow) {
        m_historyWindow = std::make_unique<HistoryWindow>(historyPath(), m_context.state.language);
    }
    m_historyWindow->refresh();
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

void TForm1::LogReadingsClick(bool checked) {
    app::LogSettings settings = app::loadLogSettings(app::readIniFile(m_settingsPath));
    settings.enabled = checked;
    if (checked) {
        startReadingsLog(settings);
        showStatus(app::StatusColour::black, app::status::logOn.arg(QDir::toNativeSeparators(
                                                 m_context.readingsLog->location())));
    } else {
        m_context.readingsLog.reset();
        m_context.readingsHistory.reset();
        showStatus(app::StatusColour::black, app::status::logOff);
    }
    // The choice is kept at once, in [Log]: it holds for the next start whichever way this one
    // ends.
    if (app::saveLogSettings(m_settingsPath, settings) != app::SaveOutcome::saved) {
        showStatus(app::StatusColour::red, app::settingsNotSavedText(m_settingsPath));
    }
}

void TForm1::attach(TForm2* connection, TForm3* aboutRussian, TForm4* aboutEnglish,
                    TForm9* compact) {
    m_connection = connection;
    m_aboutRussian = aboutRussian;
    m_aboutEnglish = aboutEnglish;
    m_compact = compact;
    connect(m_compact, &TForm9::returnToFullViewRequested, this, &TForm1::Label1ContextPopup);
    connect(m_compact, &TForm9::saveAndQuitRequested, this, &TForm1::Label1DblClick);
    attachConnectionDialog();
}

// ---- status line ---------------------------------------------------------------------------

void TForm1::setUpStatusBar() {
    // Panel 0 keeps the last message until the next one replaces it; a repaint never wipes it.
    m_ui->StatusPanel0->setContentsMargins(3, 0, 0, 0);
    // The dose accumulation time's box: clBtnFace, as the platform's palette renders a button.
    QPalette palette = m_ui->Edit1->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    m_ui->Edit1->setPalette(palette);
}

QString TForm1::statusLineText() const {
    return m_statusText;
}

QColor TForm1::statusLineColour() const {
    return m_ui->StatusPanel0->palette().color(QPalette::WindowText);
}

void TForm1::showStatus(app::StatusColour colour, const app::StatusMessage& message) {
    const auto text = app::statusText(message, m_context.state.language);
    if (!text) {
        return;
    }
    QPalette palette = m_ui->StatusPanel0->palette();
    palette.setColor(QPalette::WindowText,
                     colour == app::StatusColour::red ? QColor(255, 0, 0) : QColor(0, 0, 0));
    m_ui->StatusPanel0->setPalette(palette);
    m_statusText = *text;
    // A message too long for the panel (one that carries a cell's text or a file's name) is
    // elided, and shows whole as the panel's tooltip.
    QLabel* panel = m_ui->StatusPanel0;
    const int room = panel->contentsRect().width() - 2;
    const QFontMetrics fm(panel->font());
    if (fm.horizontalAdvance(*text) > room) {
        panel->setText(fm.elidedText(*text, Qt::ElideRight, room));
        panel->setToolTip(*text);
    } else {
        panel->setText(*text);
        panel->setToolTip(QString());
    }
}

void TForm1::showNoConnection() {
    m_ui->Edit4->clear();
    m_ui->Edit10->clear();
    m_ui->Edit1->clear();
    for (QLabel* panel : {m_ui->StatusPanel1, m_ui->StatusPanel2, m_ui->StatusPanel3,
                          m_ui->StatusPanel4, m_ui->StatusPanel5, m_ui->StatusPanel6}) {
        panel->clear();
    }
    if (m_compact == nullptr) {
        return;
    }
    if (const auto text = text::Bilingual(" Нет связи ", " Connection error ")
                              .shownIn(m_context.state.language)) {
        m_compact->label1()->setText(*text);
    }
    m_compact->fitToLabels();
}

// ---- timers and the polling cycle ------------------------------------------------------------

void TForm1::setTimer1Enabled(bool enabled) {
    if (!enabled) {
        m_timer1.stop();
    } else if (!m_timer1.isActive()) {
        m_timer1.start(timer1Interval_ms);
    }
}

void TForm1::Timer1Timer() {
    if (m_context.state.portNumber != 0) {
        // Setting the interval restarts the countdown from this tick.
        m_timer1.start(timer1Interval_ms);
    }
    m_cycle.tick();
}

void TForm1::Timer2Timer() {
    setTimer1Enabled(true);
    m_timer2.stop();
}

void TForm1::Timer3Timer() {
    m_timer3.stop();
    setTimer1Enabled(true);
    // In the full view the preview ends here. The polling cycle's next tick would hide the
    // compact window too, but with no instrument selected that tick stops before it, and the
    // preview (an empty window, opaque or not) would stay on the desktop for good.
    if (m_context.state.viewMode == 0) {
        setCompactVisible(false);
    }
}

void TForm1::setCompactVisible(bool visible) {
    if (m_compact != nullptr) {
        m_compact->setVisible(visible);
    }
}

void TForm1::setViewMarks(bool full) {
    m_ui->N3->setChecked(full);
    m_ui->N21->setChecked(!full);
}

void TForm1::enforceViewMode() {
    if (m_context.state.viewMode == 0) {
        show();
        setCompactVisible(false);
        setViewMarks(true);
    } else if (m_context.state.viewMode == 1) {
        setCompactVisible(true);
        hide();
        m_ui->N3->setChecked(false); // "Краткий" keeps its mark as it is
    }
}

// ---- life cycle --------------------------------------------------------------------------

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (m_deviceBusy) {
        // The work is cancelled first; the window closes once it has ended.
        m_closeWhenDone = true;
        cancelDeviceWork();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        emit quitRequested();
    }
}

void TForm1::setLanguageMarks(app::Language language) {
    m_ui->N1->setChecked(language == app::Language::russian);
    m_ui->English1->setChecked(language == app::Language::english);
}

void TForm1::FormShow() {
    m_startup.run();
}

void TForm1::setTransparencySlider(int position) {
    m_ui->TrackBar1->setValue(position); // clamped to 40..255 by the slider
}

void TForm1::setCompactOpacity(int alpha) {
    if (m_compact != nullptr) {
        m_compact->setOpacity(alpha);
    }
}

void TForm1::showResultsTab() {
    m_ui->PageControl1->setCurrentWidget(m_ui->TabSheet2);
}

void TForm1::N3Click() {
    m_context.state.startupDone = true;
    show();
    setViewMarks(true);
    setTimer1Enabled(true);
    m_context.state.viewMode = 0;
}

void TForm1::N21Click() {
    m_context.state.startupDone = true;
    setCompactVisible(true);
    hide();
    setViewMarks(false);
    m_timer3.stop();
    setTimer1Enabled(true);
    m_context.state.viewMode = 1;
}

bool TForm1::saveSettings() {
    const auto outcome =
        app::saveSettings(m_settingsPath, {m_context.state.language, m_ui->TrackBar1->value(),
                                           m_context.state.viewMode});
    if (outcome == app::SaveOutcome::saved) {
        return true;
    }
    // The program still ends; the user learns that the settings (and the file's [Ports] pins)
    // are as they were, not as they were just set.
    const app::Language language = m_context.state.language;
    QMessageBox box(QMessageBox::Warning, text::pick(language, "Настройки", "Settings"),
                    app::settingsNotSavedText(m_settingsPath).in(language), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("SettingsNotSaved"));
    box.exec();
    return false;
}

void TForm1::N8Click() {
    saveSettings();
    m_context.link.close();
    emit quitRequested();
}

// ---- compact window ----------------------------------------------------------------------

void TForm1::Label1ContextPopup() {
    show();
    setCompactVisible(false);
    setViewMarks(true);
    m_context.state.viewMode = 0;
    m_timer3.stop();
    setTimer1Enabled(true);
}

void TForm1::Label1DblClick() {
    m_context.state.viewMode = 1;
    saveSettings();
    if (m_compact != nullptr) {
        m_compact->close();
    }
    emit quitRequested();
}

void TForm1::TrackBar1Change(int position) {
    m_context.state.startupDone = true;
    setTimer1Enabled(false);
    if (!m_timer3.isActive()) {
        m_timer3.start(timer3Interval_ms); // a series of changes does not restart the pause
    }
    if (m_compact != nullptr) {
        m_compact->show();
        m_compact->setOpacity(position);
    }
}

} // namespace veltra::forms
