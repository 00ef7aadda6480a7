#include "SkinManager.h"

#include "Skin.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

#include <stdexcept>

namespace {

const QString kStyle = QStringLiteral("Fusion");

QApplication& widgetApplication()
{
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!application)
        throw std::runtime_error("skinning needs a widget application");
    return *application;
}

} // namespace

SkinManager::~SkinManager()
{
    StopSkinning();
}

void SkinManager::AttachSkin(const Skin& skin)
{
    if (!skin.isLoaded())
        throw std::runtime_error(skin.errorString().toStdString());
    m_skin = &skin;
}

void SkinManager::StartSkinning()
{
    if (!m_skin)
        throw std::runtime_error("no skin is attached");
    const QPalette palette = m_skin->palette();
    widgetApplication();
    QStyle* style = QStyleFactory::create(kStyle);
    if (!style)
        throw std::runtime_error("Qt's Fusion style is missing");
    if (!m_before)
        m_before = Application{QApplication::palette(), QApplication::style()->name()};
    // The style first: setting one resets the palette of an application that never set its own.
    QApplication::setStyle(style);
    QApplication::setPalette(palette);
}

void SkinManager::StopSkinning()
{
    if (!m_before)
        return;
    const Application before = *std::exchange(m_before, std::nullopt);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    if (QStyle* style = before.style.isEmpty() ? nullptr : QStyleFactory::create(before.style))
        QApplication::setStyle(style);
    QApplication::setPalette(before.palette);
}
