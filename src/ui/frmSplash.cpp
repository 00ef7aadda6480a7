#include "frmSplash.h"

#include "ResourceLocator.h"
#include "Twips.h"
#include "modIdentity.h"

#include <QLabel>
#include <QtDebug>

#include <exception>

frmSplash::frmSplash(const ProductIdentity& identity, MainWindowLoader loadMainWindow, SkinStarter startSkinning,
                     QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , skn(ResourceLocator().path(QStringLiteral("skin")))
    , m_identity(identity)
    , m_loadMainWindow(std::move(loadMainWindow))
    , m_startSkinning(std::move(startSkinning))
{
    setObjectName(QStringLiteral("frmSplash"));
    skn.setObjectName(QStringLiteral("skn"));
    const qreal scale = Twips::scaleOf(*this);
    setFixedSize(Twips::toPixels(7170, scale), Twips::toPixels(4770, scale));
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    // A picture, not a label: the skin neither colours it nor lays a skin label over it.
    Image1->setProperty("controlKind", QStringLiteral("Image"));
    Image1->setGeometry(rect());
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap(ResourceLocator().path(QStringLiteral("pictures/splash.jpg"))));

    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setInterval(2);
    Timer2.setTimerType(Qt::PreciseTimer);
    connect(&Timer2, &QTimer::timeout, this, &frmSplash::Timer2_Timer);
}

void frmSplash::Load()
{
    if (m_loaded)
        return;
    // Marked first: skinning may come back here to load the window for its skin.
    m_loaded = true;
    if (m_identity.gUseSkin && m_startSkinning) {
        // The program starts without its skin rather than not at all.
        try {
            m_startSkinning(*this);
        } catch (const std::exception& failure) {
            qWarning("the program starts without its skin: %s", failure.what());
        }
    }
    Timer2.start();
}

void frmSplash::LoadHidden()
{
    if (m_loaded)
        return;
    Load();
    Timer2.stop();
    hide();
}

void frmSplash::Timer2_Timer()
{
    intTemp = short(intTemp + 2);
    if (intTemp != 150)
        return;
    // Stopped before the main window loads, so no tick can come while its load runs.
    Timer2.stop();
    QWidget* main = m_loadMainWindow();
    if (!main) {
        emit startFailed();
        return;
    }
    main->show();
    hide();
}
