#pragma once
// TForm1, the main window: the results, parameters and archive tabs, the main menu, the status
// bar with its caption labels, and the three timers. It drives the polling cycle and shows what
// the core computes; the rules themselves live in the core.
//
// The window's code is split by tab: main_window.cpp (life cycle, menus, timers, status line),
// results_tab.cpp (readings and live chart), parameters_tab.cpp, archive_tab.cpp (with the
// device worker that runs the archive read), connection.cpp (the scan and the connection
// dialog), language.cpp (the text tables, About).

#include "app/app_context.h"
#include "app/archive_tab.h"
#include "app/polling_cycle.h"
#include "app/settings_file.h"
#include "app/startup_sequence.h"
#include "live/live_series.h"
#include "live/presentation.h"

#include <QMainWindow>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

namespace Ui {
class TForm1;
}
class QCPGraph;
class QCPAxisTickerDateTime;
class QComboBox;

namespace veltra::forms {

class TForm2;
class TForm3;
class TForm4;
class TForm9;
class HistoryWindow;

class TForm1 : public QMainWindow, public app::StartupHost {
    Q_OBJECT
public:
    explicit TForm1(app::AppContext& context, QWidget* parent = nullptr);
    ~TForm1() override;

    // The other windows, created after this one.
    void attach(TForm2* connection, TForm3* aboutRussian, TForm4* aboutEnglish, TForm9* compact);

    [[nodiscard]] Ui::TForm1& ui() { return *m_ui; }
    [[nodiscard]] app::PollingCycle& pollingCycle() { return m_cycle; }
    [[nodiscard]] QTimer& timer1() { return m_timer1; }
    [[nodiscard]] QTimer& timer2() { return m_timer2; }
    [[nodiscard]] QTimer& timer3() { return m_timer3; }
    [[nodiscard]] QCPGraph* series1() const { return m_series1; }
    [[nodiscard]] QCPGraph* series12() const { return m_series12; }
    [[nodiscard]] const live::LiveSeries& liveSeries() const { return m_liveSeries; }
    [[nodiscard]] live::LiveSeries& liveSeries() { return m_liveSeries; }
    // The status line: the last message (whole, even when the panel shows it elided) and its
    // colour.
    [[nodiscard]] QString statusLineText() const;
    [[nodiscard]] QColor statusLineColour() const;

    // Where "Выход" and the compact window's double click write the settings.
    void setSettingsPath(const QString& path) { m_settingsPath = path; }
    // The dose history: --history FILE, else history.sqlite beside the settings file.
    [[nodiscard]] QString historyPath() const;
    // "История": the history window, made when first asked for.
    void ShowHistoryClick();
    [[nodiscard]] HistoryWindow* historyWindow() const { return m_historyWindow.get(); }

    // Device work off the interface thread (AppContext::deviceWork): the work runs on a worker
    // thread that holds the port meanwhile; this thread keeps painting and taking the window
    // system's events, and returns once the work has ended. During a short group the user's
    // input and the timers' ticks wait until it has ended; during the archive read and the scan
    // the menu, the tabs, "Чтение архива" and the compact window are disabled and the timers
    // stopped, and "Отмена" and Esc cancel it (within one reply time-out).
    void attachDeviceWorker();
    void runDeviceWork(const std::function<void()>& work, const std::function<void()>& tick,
                       app::AppContext::DeviceWork kind);
    void cancelDeviceWork();
    [[nodiscard]] bool deviceBusy() const { return m_deviceBusy; }

    // Events: the status line, the no-connection reset, the software version.
    void showStatus(app::StatusColour colour, const app::StatusMessage& message) override;
    void showNoConnection() override;
    void setSoftwareVersion(int version) override;

    // PollingHost
    void setTimer1Enabled(bool enabled) override;
    void enforceViewMode() override;
    void restartLiveChart(const live::ChartRestart& restart) override;
    void applyReadings(const live::ReadingsView& view) override;
    void chartPoint(double key, double y, double axisMaximum, bool plot) override;

    // StartupHost
    void setCompactVisible(bool visible) override;
    void setLanguageMarks(app::Language language) override;
    void applyLanguage(app::Language language) override;
    void showParametersTab() override { syncParametersTab(); }
    void clearLiveChart() override;
    void clearArchiveChart() override;
    void showMainWindow() override { show(); }
    // "Полный" checked and "Краткий" not, or the reverse.
    void setViewMarks(bool full) override;
    void setTransparencySlider(int position) override;
    void setCompactOpacity(int alpha) override;
    void showResultsTab() override;

    // Events: the archive tab.
    void showReadProgress(int recordsRead) override;
    void showArchiveTab() override;
    bool confirmErase() override;
    void resetMemoryFill() override;

    // ConnectionMenuHost: the connection dialog and Timer2
    void startTimer2() override;
    void showSearchLook(bool showLabel, const std::optional<QString>& labelText) override;
    void hideDialog() override;
    bool chooseConnection() override;
    void clearPortList() override;
    void addPortRow(int number) override;
    void selectPortRow(int row) override;
    void setScanProgress(int port) override;
    void paintScanProgress() override;

    // Handlers, by their given names.
    void Timer1Timer();
    void Timer2Timer();
    void N13Click();
    void Button1Click();
    void Button7Click();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn5Click();
    void BitBtn6Click();
    void BitBtn7Click();
    void BitBtn8Click();
    void BitBtn9Click();
    void BitBtn10Click();
    void BitBtn11Click();
    void Timer3Timer();
    void FormShow();
    void N3Click();
    void N21Click();
    void N8Click();
    // "Журнал измерений": the measurement log on or off, kept in prog.ini's [Log].
    void LogReadingsClick(bool checked);
    void N1Click();
    void English1Click();
    void Button5Click();
    void Button11Click();
    void PageControl1Change(int index);
    void TrackBar1Change(int position);
    void TrackBar2Change(int position);
    void Label1ContextPopup();
    void Label1DblClick();
    void Button14Click();
    void Button6Click();
    void Button8Click();
    void Button3Click();
    void Button4Click();
    void MaboutClick();
    void MainMenu1Change();

    // The About window of the language, modal; nothing when suppressed or without a language.
    void showAbout();
    // Shows the parameters tab's state in its controls.
    void syncParametersTab();

    // Writes the settings (language, slider position, view mode); false when that failed.
    bool saveSettings();

signals:
    // The program should end now (exit code 0).
    void quitRequested();

protected:
    void showEvent(QShowEvent* event) override;
    // Closing the main window ends the program without saving the settings.
    void closeEvent(QCloseEvent* event) override;

private:
    void startReadingsLog(const app::LogSettings& settings);
    void setUpStatusBar();
    void attachConnectionDialog();
    void setUpGrids();
    void connectParametersTab();
    // Each selector of the parameters tab and the state it shows.
    std::array<std::pair<QComboBox*, app::Selector*>, 8> selectorBindings();
    void setUpLiveChart();
    void setUpArchiveTab();
    void replotArchiveChart();
    void navigate(archive::NavigationButton button);
    void replotLiveChart();
    void fitReadingBoxes();
    void fitCaptionBeforeUnit();
    void fitStatusCaptions();
    // Sets the language from the menu: the tables, the marks, the polling cycle running.
    void chooseLanguage(app::Language language);

    app::AppContext& m_context;
    std::unique_ptr<Ui::TForm1> m_ui;
    app::PollingCycle m_cycle;
    app::StartupSequence m_startup;
    QTimer m_timer1;
    QTimer m_timer2;
    QTimer m_timer3;
    QCPGraph* m_series1 = nullptr;
    QCPGraph* m_series12 = nullptr;
    QSharedPointer<QCPAxisTickerDateTime> m_archiveTicker;
    // About one bucket for every two pixel columns of the 785-pixel chart.
    live::LiveSeries m_liveSeries{400};
    bool m_liveChartZoomed = false;
    QString m_settingsPath;
    QString m_statusText; // the status line's message, whole

    std::unique_ptr<HistoryWindow> m_historyWindow;
    bool m_deviceBusy = false;
    app::AppContext::DeviceWork m_deviceKind = app::AppContext::DeviceWork::transactions;
    std::atomic<bool> m_cancel{false}; // read by the link's waits on the worker
    bool m_cancelled = false;          // the last device work was cancelled
    bool m_closeWhenDone = false;      // the window was closed during device work
    TForm2* m_connection = nullptr;
    TForm3* m_aboutRussian = nullptr;
    TForm4* m_aboutEnglish = nullptr;
    TForm9* m_compact = nullptr;
};

} // namespace veltra::forms
