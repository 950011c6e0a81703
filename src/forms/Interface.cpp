#include "forms/Interface.h"

#include "app/settings_file.h"

#include "ui_Interface.h"

namespace veltra::forms {

TForm2::TForm2(app::AppState& state, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      m_ui(std::make_unique<Ui::TForm2>()) {
    m_ui->setupUi(this);
    connect(m_ui->Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(m_ui->Button2, &QPushButton::clicked, this, &TForm2::Button2Click);

    const app::Settings settings = app::loadSettings(app::readIniFile(app::settingsFilePath()));
    state.language = settings.language;
    state.transparency = settings.transparency;
    state.viewMode = settings.viewMode;
    applyDialogLanguage(state.language);
}

TForm2::~TForm2() = default;

QComboBox* TForm2::portBox() const {
    return m_ui->ComboBox1;
}

void TForm2::applyDialogLanguage(app::Language language) {
    setWindowTitle(text::pick(language, "Связь", "Connection"));
    m_ui->Label1->setText(text::pick(language, "COM-Порт", "COM-port"));
    m_ui->Button2->setText(text::pick(language, "Автоопределение", "Auto connection"));
}

void TForm2::Button1Click() {
    m_autoDetectChosen = false;
    accept();
}

void TForm2::Button2Click() {
    m_autoDetectChosen = true;
    accept();
}

} // namespace veltra::forms
