#pragma once

#include <QRect>
#include <QWidget>
#include <QtMath>

// Window measures are kept in twips, 1,440 to the inch: 15 to a pixel at 96 dpi, more on a denser screen.
namespace Twips {

// Device-independent pixels per twip times 15: 1 at 96 dpi.
inline qreal scaleOf(const QWidget& widget)
{
    return widget.logicalDpiX() / 96.0;
}

inline int toPixels(int twips, qreal scale)
{
    return qRound(twips * scale / 15.0);
}

inline int fromPixels(int pixels, qreal scale)
{
    return qRound(pixels * 15.0 / scale);
}

inline QRect rect(int left, int top, int width, int height, qreal scale)
{
    return {toPixels(left, scale), toPixels(top, scale), toPixels(width, scale), toPixels(height, scale)};
}

} // namespace Twips
