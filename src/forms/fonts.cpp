#include "forms/fonts.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>

#include <algorithm>
#include <cmath>

namespace veltra::forms {

namespace {

// Whether a family has a bold face of its own (not one the rasteriser makes by emboldening).
bool hasOwnBold(const QString& family) {
    const QStringList styles = QFontDatabase::styles(family);
    return std::any_of(styles.begin(), styles.end(), [](const QString& style) {
        return style.contains(QLatin1String("Bold"), Qt::CaseInsensitive);
    });
}

QStringList familiesOf(Typeface face, bool bold) {
    switch (face) {
    case Typeface::arial:
        return {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                QStringLiteral("DejaVu Sans")};
    case Typeface::calibri:
        return {QStringLiteral("Calibri"), QStringLiteral("Carlito"),
                QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
    case Typeface::interface:
        break;
    }
    QStringList families{QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                         QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                         QStringLiteral("DejaVu Sans")};
    // Tahoma emboldened at 12 pixels loses the breve of "й" ("Текущий" reads "Текущии"); bold
    // texts take Liberation Sans Bold instead where Tahoma has no bold face of its own.
    if (bold && !hasOwnBold(QStringLiteral("Tahoma"))) {
        families.removeAll(QStringLiteral("Tahoma"));
    }
    return families;
}

Typeface faceOf(const QString& family) {
    if (family.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0) {
        return Typeface::arial;
    }
    if (family.compare(QLatin1String("Calibri"), Qt::CaseInsensitive) == 0) {
        return Typeface::calibri;
    }
    return Typeface::interface;
}

} // namespace

QFont programFont(Typeface face, int pixelSize, bool bold, bool italic) {
    QFont font;
    const QStringList families = familiesOf(face, bold);
    // The first family the system has; the rest stay as fallbacks for missing glyphs.
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : families) {
        if (installed.contains(family)) {
            font.setFamily(family);
            break;
        }
    }
    font.setFamilies(families);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

void installProgramFonts() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
#ifndef Q_OS_WIN
    // Only the regular face: Wine's "Tahoma Bold" has the regular's thin strokes spread wider,
    // which reads as letter-spaced, not bold (bold texts take another family, see above).
    const QString tahoma = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
    if (QFile::exists(tahoma)) {
        QFontDatabase::addApplicationFont(tahoma);
    }
#endif
    QApplication::setFont(programFont(Typeface::interface, 11));
}

QFont smallerToFit(const QFont& font, const QString& text, int width, int minimum) {
    QFont f = font;
    const int own = font.pixelSize() > 0
                        ? font.pixelSize()
                        : static_cast<int>(std::lround(font.pointSizeF() * 96.0 / 72.0));
    for (int px = own; px > minimum; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).horizontalAdvance(text) <= width) {
            return f;
        }
    }
    f.setPixelSize(minimum);
    return f;
}

QFont fittingFont(const QFont& font, const QString& text, int width, int minimum) {
    for (const qreal spacing : {0.0, -0.25, -0.5}) {
        QFont tighter = font;
        tighter.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
        if (QFontMetrics(tighter).horizontalAdvance(text) <= width) {
            return tighter;
        }
    }
    return smallerToFit(font, text, width, minimum);
}

void applyProgramFonts(QWidget* window) {
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        if (!w->testAttribute(Qt::WA_SetFont)) {
            continue; // inherits its parent's, which is the program's already
        }
        const QFont designed = w->font();
        const double points = designed.pointSizeF() > 0 ? designed.pointSizeF() : 8.0;
        const int pixels = static_cast<int>(std::lround(points * 96.0 / 72.0));
        w->setFont(
            programFont(faceOf(designed.family()), pixels, designed.bold(), designed.italic()));
    }
}

} // namespace veltra::forms
