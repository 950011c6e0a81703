#pragma once
// TForm2, the connection dialog. Creating it reads the settings file prog.ini into the program
// state and sets the dialog's texts in that language.
//
// It has two looks: the search look (port box and buttons hidden, the progress bar running
// through the port numbers while the scan paints it) and the choice look (the port found in the
// box, "ОК" to reopen it or "Автоопределение" to probe the box's rows). It has no border icons:
// only its two buttons close it. Beside the box it shows the device a port number stands for
// (path, and where the system gives them the adapter's description and serial number), so a
// person can tell two adapters apart; the rows themselves are the decimal numbers alone.

#include "app/app_state.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TForm2;
}
class QComboBox;
class QPushButton;

namespace veltra::forms {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(app::AppState& state, QWidget* parent = nullptr);
    ~TForm2() override;

    // The dialog's caption, Label1 and Button2 in the language (English for 2, else Russian).
    void applyDialogLanguage(app::Language language);

    [[nodiscard]] QComboBox* portBox() const;
    [[nodiscard]] bool autoDetectChosen() const { return m_autoDetectChosen; }
    [[nodiscard]] Ui::TForm2& ui() { return *m_ui; }

    // The looks and the scan's progress.
    void showSearchLook(bool showLabel, const std::optional<QString>& labelText);
    // Shows the choice look modally; true when closed with "Автоопределение".
    bool chooseConnection();
    void clearPortList();
    void addPortRow(int number);
    void selectPortRow(int row);
    void setScanProgress(int port);
    // Paints the search label and the progress bar at once, without running the event loop.
    void paintScanProgress();
    [[nodiscard]] int portRowCount() const;
    [[nodiscard]] QString portRowText(int row) const;

    // What a port number stands for, as the line beside the box shows it (the window supplies
    // the catalogue's answer).
    using DeviceDescriber = std::function<QString(int number)>;
    void setDeviceDescriber(DeviceDescriber describer);
    [[nodiscard]] QString deviceLineText() const;

    // "Отмена" in the search look, while the scan runs on the device worker (disabled once
    // pressed); it and Esc call cancel.
    void showCancel(bool visible, bool enabled = true);
    void setCancelAction(std::function<void()> cancel) { m_cancel = std::move(cancel); }
    [[nodiscard]] QPushButton* cancelButton() const;

    // Nothing closes the dialog but its two buttons; Esc cancels a scan under way.
    void reject() override;

private:
    void Button1Click();
    void Button2Click();
    void showDeviceOf(const QString& boxText);
    void centreOnScreen();

    app::AppState& m_state;
    std::unique_ptr<Ui::TForm2> m_ui;
    bool m_autoDetectChosen = false;
    DeviceDescriber m_describeDevice;
    std::function<void()> m_cancel;
};

} // namespace veltra::forms
