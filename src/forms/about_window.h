#pragma once
// What the two About windows share: a fixed window with a version line (Label3 and Label4) that
// is shown only after a successful parameter read, and an OK button that closes it.

#include "forms/fonts.h"
#include "forms/program_icon.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <memory>

namespace veltra::forms {

template <class Form> class AboutWindow : public QDialog {
public:
    explicit AboutWindow(Qt::WindowFlags flags, QWidget* parent = nullptr)
        : QDialog(parent, flags), m_ui(std::make_unique<Form>()) {
        m_ui->setupUi(this);
        applyProgramFonts(this);
        setFixedSize(size());
        m_ui->Image1->setFrameShape(QFrame::NoFrame);
        m_ui->Image1->setPixmap(programPicture(m_ui->Image1->width()));
        placeVersionNumber();
        QObject::connect(m_ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
    }

    void setVersionLineVisible(bool visible) {
        m_ui->Label3->setVisible(visible);
        m_ui->Label4->setVisible(visible);
    }
    // Label4: the instrument's software version in decimal.
    void setSoftwareVersion(int version) {
        m_ui->Label4->setText(QString::number(version));
        placeVersionNumber();
    }
    [[nodiscard]] QLabel* versionLabel() const { return m_ui->Label4; }

private:
    // The number follows the version line's text where its drawn letters end (its trailing
    // blank left out), so that the line reads as one: "... - 0.14". Drawn at a fixed place it
    // would stand apart, or under the text, in a font wider or narrower than the designed one.
    void placeVersionNumber() {
        QLabel* line = m_ui->Label3;
        QLabel* number = m_ui->Label4;
        const int textEnd = line->x() + line->contentsRect().left() +
                            QFontMetrics(line->font()).horizontalAdvance(line->text().trimmed());
        number->adjustSize();
        number->move(textEnd, line->y());
        number->resize(std::max(number->width(), width() - textEnd - 8), line->height());
    }

    std::unique_ptr<Form> m_ui;
};

} // namespace veltra::forms
