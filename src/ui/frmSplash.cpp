#include "frmSplash.h"

#include "AppState.h"
#include "ResourceLocator.h"
#include "Twips.h"
#include "modIdentity.h"

#include <QLabel>

frmSplash::frmSplash(AppState& state, MainWindowLoader loadMainWindow, SkinStarter startSkinning, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_state(state)
    , m_loadMainWindow(std::move(loadMainWindow))
    , m_startSkinning(std::move(startSkinning))
{
    setObjectName(QStringLiteral("frmSplash"));
    const qreal scale = Twips::scaleOf(*this);
    setFixedSize(Twips::toPixels(7170, scale), Twips::toPixels(4770, scale));
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
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
    m_state.gExitPending = false;
    LoadProductIdentity(m_state);
    if (m_state.gUseSkin && m_startSkinning)
        m_startSkinning(*this);
    Timer2.start();
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
