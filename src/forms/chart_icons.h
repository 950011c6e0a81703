#pragma once
// The icons of the archive chart's navigation buttons, drawn for their 25 x 25 buttons: arrows
// for scrolling, a magnifier with + or - for zooming, and a frame with a dot for "fit to the
// points" (automatic scaling).

#include <QIcon>

namespace veltra::forms {

enum class ChartIcon { left, right, up, down, zoomIn, zoomOut, fit };

[[nodiscard]] QIcon chartIcon(ChartIcon kind);

} // namespace veltra::forms
