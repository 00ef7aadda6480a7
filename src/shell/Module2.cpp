#include "Module2.h"

#include <QWidget>

Module2::~Module2() = default;

void Module2::AddTrayIcon(QWidget& window, quintptr id, const QIcon& icon, const QString& tip)
{
    m_icon = std::make_unique<QSystemTrayIcon>(icon);
    m_icon->setToolTip(tip);
    m_id = id;
    connect(m_icon.get(), &QSystemTrayIcon::activated, &window, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
            emit menuRequested();
    });
    m_icon->show();
}

void Module2::RemoveTrayIcon(quintptr id)
{
    if (!m_icon || id != m_id)
        return;
    m_icon->hide();
    m_icon.reset();
}

void Module2::setTip(const QString& tip)
{
    if (m_icon)
        m_icon->setToolTip(tip);
}
