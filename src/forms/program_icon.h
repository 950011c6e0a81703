#pragma once
// The program's icon: a dosimeter's display showing a reading, drawn as SVG and built into the
// program. Rendered with Qt SVG directly, so it needs no image-format plug-in at run time.

#include <QIcon>
#include <QPixmap>

namespace veltra::forms {

// The icon at the sizes desktops ask for (16 to 256 pixels).
[[nodiscard]] QIcon programIcon();

// The picture at one size, on a transparent background; the About windows' Image1.
[[nodiscard]] QPixmap programPicture(int size);

} // namespace veltra::forms
