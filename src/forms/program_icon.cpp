#include "forms/program_icon.h"

#include <QPainter>
#include <QSvgRenderer>

namespace veltra::forms {

namespace {

const QString iconResource = QStringLiteral(":/veltra/veltra.svg");

} // namespace

QPixmap programPicture(int size) {
    QSvgRenderer renderer(iconResource);
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    if (!renderer.isValid()) {
        return pixmap; // a build without the resource: an empty picture rather than none
    }
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    return pixmap;
}

QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(programPicture(size));
    }
    return icon;
}

} // namespace veltra::forms
