#pragma once

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QSize>

#include <cmath>

// Window geometry is laid out in twips (1/1440 inch): 15 twips make one pixel
// at 96 dpi, and the count scales with the screen's logical dpi so that the
// windows keep their proportions on a denser screen.
namespace Twips {

// The logical dpi of the primary screen; 96 when there is none yet.
inline qreal logicalDpi()
{
    if (const QScreen *s = QGuiApplication::primaryScreen()) {
        const qreal dpi = s->logicalDotsPerInch();
        if (dpi > 0)
            return dpi;
    }
    return 96.0;
}

// Twips to pixels at the given dpi, rounded to the nearest pixel.
inline int toPixels(int twips, qreal dpi)
{
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

inline int toPixels(int twips)
{
    return toPixels(twips, logicalDpi());
}

inline QSize size(int width, int height)
{
    const qreal dpi = logicalDpi();
    return {toPixels(width, dpi), toPixels(height, dpi)};
}

// A control's rectangle from its left, top, width and height in twips.
inline QRect rect(int left, int top, int width, int height)
{
    const qreal dpi = logicalDpi();
    return {toPixels(left, dpi), toPixels(top, dpi), toPixels(width, dpi), toPixels(height, dpi)};
}

} // namespace Twips
