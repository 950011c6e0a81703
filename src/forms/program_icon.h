#pragma once
// The program's icon: a dosimeter's display showing a reading, drawn as SVG
// (packaging/veltra.svg) and built into the program as PNG renderings, which Qt reads without a
// plug-in or Qt SVG on every platform.

#include <QIcon>
#include <QPixmap>

namespace veltra::forms {

// The icon at the sizes desktops ask for (16 to 256 pixels).
[[nodiscard]] QIcon programIcon();

// The picture at one size, on a transparent background; the About windows' Image1.
[[nodiscard]] QPixmap programPicture(int size);

} // namespace veltra::forms
