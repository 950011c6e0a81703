#pragma once
// The one place that chooses the program's fonts. The windows are laid out in pixels for the
// instrument program's Windows fonts: the 11-pixel interface font (MS Sans Serif 8 pt), Arial
// for the reading boxes and tables, Calibri for the compact window. Where the originals are
// missing (Linux), the free fonts whose widths come closest take their place:
//   MS Sans Serif -> Tahoma as Wine ships it (Debian fonts-wine; within about 3 % of MS Sans
//                    Serif's widths at 11 px), then Liberation Sans; bold texts take Liberation
//                    Sans Bold unless Tahoma has a real bold face (Wine's has none worth using)
//   Arial         -> Liberation Sans (metric-compatible)
//   Calibri       -> Carlito (metric-compatible)
// and DejaVu Sans, which every Debian has, last of all.

#include <QFont>
#include <QWidget>

namespace veltra::forms {

enum class Typeface { interface, arial, calibri };

[[nodiscard]] QFont programFont(Typeface face, int pixelSize, bool bold = false,
                                bool italic = false);

// Registers the free fonts the program brings along from the system's packages (Wine's
// Tahoma) and makes the 11-pixel interface font the application's. Once per process.
void installProgramFonts();

// Gives every control of a window whose form sets its font the program's font for it: the
// face its family stands for, the pixel size of its point size at 96 dpi, its weight and slant.
void applyProgramFonts(QWidget* window);

// The font at the largest pixel size, from its own down to minimum, at which the text fits the
// width; at the minimum when none does.
[[nodiscard]] QFont smallerToFit(const QFont& font, const QString& text, int width,
                                 int minimum = 8);

// The font, or the least change of it, in which the text fits the width: first the letters set
// up to half a pixel closer, then smaller pixel sizes down to minimum.
[[nodiscard]] QFont fittingFont(const QFont& font, const QString& text, int width, int minimum = 8);

} // namespace veltra::forms
