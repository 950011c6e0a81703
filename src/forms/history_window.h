#pragma once
// The history window ("Вид" → "История"): the dose history of one instrument or all of them
// over a range of dates: a chart of every stored record (a series per mode, the archive chart's
// date axis, wheel zoom and drag), the sessions, the statistics by day or month, and the CSV
// and N42 exports. A history that cannot be opened is a message naming the file and the reason;
// the window stays usable and "Показать" tries again.

#include "app/history_view.h"

#include <QWidget>

#include <vector>

class QComboBox;
class QCPAxis;
class QCustomPlot;
class QDateEdit;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace veltra::forms {

class HistoryWindow : public QWidget {
    Q_OBJECT

public:
    HistoryWindow(QString historyPath, app::Language language, QWidget* parent = nullptr);

    void applyLanguage(app::Language language);
    // Opens the history again and shows the range chosen (the whole history at first).
    void refresh();

    // For the tests.
    [[nodiscard]] QCustomPlot* chart() const { return m_chart; }
    [[nodiscard]] QTableWidget* sessionsTable() const { return m_sessions; }
    [[nodiscard]] QTableWidget* statsTable() const { return m_stats; }
    [[nodiscard]] QLabel* messageLabel() const { return m_message; }
    [[nodiscard]] QComboBox* instrumentBox() const { return m_instrument; }
    [[nodiscard]] QDateEdit* fromEdit() const { return m_from; }
    [[nodiscard]] QDateEdit* toEdit() const { return m_to; }
    [[nodiscard]] const app::HistoryView& view() const { return m_view; }
    // The exports, to a file chosen in a dialog by the buttons.
    bool exportCsv(const QString& path);
    bool exportN42(const QString& path);

private:
    [[nodiscard]] QString t(const char* key) const { return app::historyText(key, m_language); }
    bool openStore();
    [[nodiscard]] history::Filter filter() const;
    void present(const app::HistoryView& view);
    void say(const QString& message, bool failure);
    void fillInstruments();
    void chooseFile(bool n42);

    QString m_path;
    app::Language m_language;
    history::HistoryStore m_store;
    bool m_open = false;
    bool m_rangeSet = false;
    app::HistoryView m_view;

    QLabel* m_instrumentLabel;
    QComboBox* m_instrument;
    QLabel* m_fromLabel;
    QDateEdit* m_from;
    QLabel* m_toLabel;
    QDateEdit* m_to;
    QLabel* m_byLabel;
    QComboBox* m_by;
    QPushButton* m_show;
    QPushButton* m_csv;
    QPushButton* m_n42;
    QCustomPlot* m_chart;
    std::vector<QCPAxis*> m_extraAxes; // the value axes of the second and later modes
    QTabWidget* m_tabs;
    QTableWidget* m_sessions;
    QTableWidget* m_stats;
    QLabel* m_message;
};

} // namespace veltra::forms
