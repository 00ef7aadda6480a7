#include "BannerPane.h"

#include <QFrame>
#include <QUrl>
#include <QWebEngineView>
#include <QtMath>

namespace {
constexpr int kClipTwips = 280;
constexpr int kClipPixels = 20;
} // namespace

int bannerClipPixels(const QWidget& wbBanner, ScaleMode scaleMode)
{
    if (scaleMode == ScaleMode::Pixels)
        return kClipPixels;
    // 15 twips to a pixel at 96 dpi, as the windows lay themselves out.
    return qRound(kClipTwips * (wbBanner.logicalDpiX() / 96.0) / 15.0);
}

QWidget* InstallBanner(QWebEngineView& wbBanner, QWidget& wbPicture, ScaleMode scaleMode, const QString& bannerUrl)
{
    QWidget* container = wbBanner.parentWidget();
    const QRect place = wbBanner.geometry();

    auto* picBox = new QFrame(container);
    picBox->setObjectName(QStringLiteral("picBox"));
    picBox->setProperty("controlKind", QStringLiteral("PictureBox"));
    picBox->setFrameShape(QFrame::NoFrame);
    picBox->setGeometry(place.left(), place.top(), qMax(0, place.width() - bannerClipPixels(wbBanner, scaleMode)),
                        place.height());

    // The page is laid out at the view's full width; the clip shows all of it but the right-hand strip.
    wbBanner.setParent(picBox);
    wbBanner.move(0, 0);
    wbBanner.resize(place.size());

    picBox->show();
    wbBanner.show();
    wbPicture.hide();
    wbBanner.load(QUrl(bannerUrl));
    return picBox;
}
