#pragma once
// A label whose text reads upwards, turned a quarter to the left: a caption beside a chart that
// is narrower than its text is long.

#include <QLabel>
#include <QPainter>

namespace veltra::forms {

class VerticalLabel : public QLabel {
public:
    explicit VerticalLabel(QWidget* parent = nullptr) : QLabel(parent) {
        setProperty("textTurned", true); // for the test that no text is cut
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setFont(font());
        const QRect r = contentsRect();
        painter.translate(r.left(), r.bottom());
        painter.rotate(-90.0);
        painter.drawText(QRect(0, 0, r.height(), r.width()), Qt::AlignCenter, text());
    }
};

} // namespace veltra::forms
