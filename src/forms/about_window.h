#pragma once
// What the two About windows share: a fixed window with a version line (Label3 and Label4) that
// is shown only after a successful parameter read, and an OK button that closes it.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <memory>

namespace veltra::forms {

template <class Form> class AboutWindow : public QDialog {
public:
    explicit AboutWindow(Qt::WindowFlags flags, QWidget* parent = nullptr)
        : QDialog(parent, flags), m_ui(std::make_unique<Form>()) {
        m_ui->setupUi(this);
        setFixedSize(size());
        QObject::connect(m_ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
    }

    void setVersionLineVisible(bool visible) {
        m_ui->Label3->setVisible(visible);
        m_ui->Label4->setVisible(visible);
    }
    // Label4: the instrument's software version in decimal.
    void setSoftwareVersion(int version) { m_ui->Label4->setText(QString::number(version)); }
    [[nodiscard]] QLabel* versionLabel() const { return m_ui->Label4; }

private:
    std::unique_ptr<Form> m_ui;
};

} // namespace veltra::forms
