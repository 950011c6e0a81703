#include "forms/program_icon.h"

#include <QImage>

#include <algorithm>
#include <array>

namespace veltra::forms {

namespace {

// packaging/veltra.svg rendered at these sizes (packaging/render-icons.sh), built in.
constexpr std::array<int, 7> renderedSizes = {16, 24, 32, 48, 64, 128, 256};

QString rendered(int size) {
    return QStringLiteral(":/veltra/icons/veltra-%1.png").arg(size);
}

} // namespace

QPixmap programPicture(int size) {
    // The smallest rendering at least as large, scaled down; PNG needs no plug-in.
    const auto it = std::find_if(renderedSizes.begin(), renderedSizes.end(),
                                 [size](int s) { return s >= size; });
    const int source = it != renderedSizes.end() ? *it : renderedSizes.back();
    QImage image(rendered(source));
    if (image.isNull()) {
        QPixmap empty(size, size); // a build without the resource: an empty picture, not none
        empty.fill(Qt::transparent);
        return empty;
    }
    if (source != size) {
        image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return QPixmap::fromImage(image);
}

QIcon programIcon() {
    QIcon icon;
    for (const int size : renderedSizes) {
        icon.addFile(rendered(size), QSize(size, size));
    }
    return icon;
}

} // namespace veltra::forms
