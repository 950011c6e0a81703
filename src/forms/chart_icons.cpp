#include "forms/chart_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace veltra::forms {

namespace {

constexpr int iconSize = 16;

void drawArrow(QPainter& p, ChartIcon kind) {
    // An arrow pointing right, turned to its direction.
    p.translate(iconSize / 2.0, iconSize / 2.0);
    const int turns = kind == ChartIcon::right  ? 0
                      : kind == ChartIcon::down ? 1
                      : kind == ChartIcon::left ? 2
                                                : 3;
    p.rotate(90.0 * turns);
    QPainterPath head;
    head.moveTo(6.5, 0);
    head.lineTo(0.5, -5.5);
    head.lineTo(0.5, 5.5);
    head.closeSubpath();
    p.fillPath(head, p.pen().color());
    p.drawLine(QPointF(-6, 0), QPointF(1, 0));
}

void drawMagnifier(QPainter& p, bool plus) {
    p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    p.drawLine(QPointF(9.5, 9.5), QPointF(14.5, 14.5));
    p.drawLine(QPointF(3.5, 6), QPointF(8.5, 6));
    if (plus) {
        p.drawLine(QPointF(6, 3.5), QPointF(6, 8.5));
    }
}

void drawFit(QPainter& p) {
    const qreal a = 1.5;
    const qreal b = iconSize - 1.5;
    const qreal c = 4.5;
    for (const auto& [x, y, dx, dy] : {std::tuple{a, a, 1, 1}, std::tuple{b, a, -1, 1},
                                       std::tuple{a, b, 1, -1}, std::tuple{b, b, -1, -1}}) {
        p.drawLine(QPointF(x, y), QPointF(x + dx * c, y));
        p.drawLine(QPointF(x, y), QPointF(x, y + dy * c));
    }
    p.setBrush(p.pen().color());
    p.drawEllipse(QPointF(iconSize / 2.0, iconSize / 2.0), 2.0, 2.0);
}

QPixmap draw(ChartIcon kind, const QColor& colour) {
    QPixmap pixmap(iconSize, iconSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap));
    switch (kind) {
    case ChartIcon::left:
    case ChartIcon::right:
    case ChartIcon::up:
    case ChartIcon::down:
        drawArrow(p, kind);
        break;
    case ChartIcon::zoomIn:
    case ChartIcon::zoomOut:
        drawMagnifier(p, kind == ChartIcon::zoomIn);
        break;
    case ChartIcon::fit:
        drawFit(p);
        break;
    }
    return pixmap;
}

} // namespace

QIcon chartIcon(ChartIcon kind) {
    QIcon icon(draw(kind, QColor(40, 40, 40)));
    icon.addPixmap(draw(kind, QColor(150, 150, 150)), QIcon::Disabled);
    return icon;
}

} // namespace veltra::forms
