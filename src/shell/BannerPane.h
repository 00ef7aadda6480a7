#pragma once

#include <QString>

class QWebEngineView;
class QWidget;

// The units a window's measures are given in: twips as our windows keep them, or pixels.
enum class ScaleMode { Twips = 1, Pixels = 3 };

// Shows the banner page in wbBanner, inside a clip ("picBox") put in its place that cuts a strip off its right
// edge, so the page keeps its full width while the strip stays hidden; wbPicture, the picture that held the place
// until now, is hidden. The clip is 280 twips, or 20 pixels in a window measured in pixels. Gives back the clip.
QWidget* InstallBanner(QWebEngineView& wbBanner, QWidget& wbPicture, ScaleMode scaleMode, const QString& bannerUrl);

// How much of the banner's right edge the clip hides, in device-independent pixels of the banner's screen.
int bannerClipPixels(const QWidget& wbBanner, ScaleMode scaleMode);
