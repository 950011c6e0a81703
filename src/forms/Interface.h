#pragma once
// TForm2, the connection dialog. Creating it reads the settings file prog.ini into the program
// state and sets the dialog's texts in that language.

#include "app/app_state.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TForm2;
}
class QComboBox;

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

private:
    void Button1Click();
    void Button2Click();

    std::unique_ptr<Ui::TForm2> m_ui;
    bool m_autoDetectChosen = false;
};

} // namespace veltra::forms
