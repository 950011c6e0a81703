#include "forms/Interface.h"

#include "app/settings_file.h"
#include "forms/fonts.h"

#include "ui_Interface.h"

#include <QCoreApplication>
#include <QLocale>
#include <QScreen>

namespace veltra::forms {

TForm2::TForm2(app::AppState& state, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      m_state(state), m_ui(std::make_unique<Ui::TForm2>()) {
    m_ui->setupUi(this);
    applyProgramFonts(this);
    setFixedSize(size());
    m_ui->CancelScan->hide();
    connect(m_ui->Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(m_ui->Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(m_ui->CancelScan, &QPushButton::clicked, this, [this] {
        if (m_cancel) {
            m_cancel();
        }
    });
    // ComboBox1Change does nothing; the line beside the box follows what it says.
    connect(m_ui->ComboBox1, &QComboBox::currentTextChanged, this, &TForm2::showDeviceOf);

    const app::Settings settings =
        app::startingSettings(app::settingsFilePath(), QLocale::system());
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
    m_ui->CancelScan->setText(text::pick(language, "Отмена", "Cancel"));
}

void TForm2::showCancel(bool visible, bool enabled) {
    m_ui->CancelScan->setVisible(visible);
    m_ui->CancelScan->setEnabled(enabled);
    if (visible && enabled) {
        m_ui->CancelScan->setFocus();
    }
}

QPushButton* TForm2::cancelButton() const {
    return m_ui->CancelScan;
}

void TForm2::reject() {
    if (m_ui->CancelScan->isVisible() && m_ui->CancelScan->isEnabled() && m_cancel) {
        m_cancel();
    }
}

void TForm2::Button1Click() {
    m_autoDetectChosen = false;
    accept();
}

void TForm2::Button2Click() {
    m_autoDetectChosen = true;
    accept();
}

void TForm2::centreOnScreen() {
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TForm2::showSearchLook(bool showLabel, const std::optional<QString>& labelText) {
    m_ui->ComboBox1->hide();
    m_ui->Button1->hide();
    m_ui->Button2->hide();
    m_ui->DeviceLabel->hide();
    m_ui->ProgressBar1->show();
    if (showLabel) {
        m_ui->Label2->show();
    }
    if (labelText) {
        m_ui->Label2->setText(*labelText);
    }
    centreOnScreen();
    show(); // stays on top of the other windows
    paintScanProgress();
}

bool TForm2::chooseConnection() {
    m_ui->ComboBox1->show();
    m_ui->Button1->show();
    m_ui->Button2->show();
    // The device the number stands for: a path and the adapter on Linux, the port and the
    // driver's device the system registers for it on Windows.
    m_ui->DeviceLabel->show();
    showDeviceOf(m_ui->ComboBox1->currentText());
    m_ui->ProgressBar1->hide();
    m_ui->Label2->hide();
    centreOnScreen();
    exec();
    return m_autoDetectChosen;
}

void TForm2::clearPortList() {
    m_ui->ComboBox1->clear();
}

void TForm2::addPortRow(int number) {
    m_ui->ComboBox1->addItem(QString::number(number));
}

void TForm2::selectPortRow(int row) {
    if (row >= 0 && row < m_ui->ComboBox1->count()) {
        m_ui->ComboBox1->setCurrentIndex(row);
    }
}

void TForm2::setScanProgress(int port) {
    m_ui->ProgressBar1->setValue(port);
}

void TForm2::paintScanProgress() {
    if (!isVisible()) {
        return;
    }
    // The scan runs on the interface thread and no user input, no timer tick and no serial
    // notification may be handled until it ends. The window system's own events still are, so
    // the dialog gets mapped and exposed (a window that never was cannot be painted); then the
    // label and the bar are painted at once.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::ExcludeSocketNotifiers |
                                    QEventLoop::X11ExcludeTimers);
    m_ui->Label2->repaint();
    m_ui->ProgressBar1->repaint();
}

int TForm2::portRowCount() const {
    return m_ui->ComboBox1->count();
}

QString TForm2::portRowText(int row) const {
    return m_ui->ComboBox1->itemText(row);
}

void TForm2::setDeviceDescriber(DeviceDescriber describer) {
    m_describeDevice = std::move(describer);
    showDeviceOf(m_ui->ComboBox1->currentText());
}

QString TForm2::deviceLineText() const {
    return m_ui->DeviceLabel->text();
}

void TForm2::showDeviceOf(const QString& boxText) {
    if (!m_describeDevice) {
        return;
    }
    bool ok = false;
    const int number = boxText.trimmed().toInt(&ok, 10);
    m_ui->DeviceLabel->setText(ok || boxText.trimmed().isEmpty() ? m_describeDevice(ok ? number : 0)
                                                                 : m_describeDevice(-1));
}

} // namespace veltra::forms
