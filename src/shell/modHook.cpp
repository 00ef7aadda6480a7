#include "modHook.h"

#include "HotKeyService.h"

modHook::modHook(HotKeyService& service, QObject* parent)
    : QObject(parent)
    , m_service(service)
{}

modHook::~modHook()
{
    RemoveHook();
}

bool modHook::InstallHook(QObject& hWndTarget, std::function<void()> pressed, QString* reason)
{
    RemoveHook();
    if (!m_service.install(reason))
        return false;
    m_connection = connect(&m_service, &HotKeyService::pressed, &hWndTarget, std::move(pressed), Qt::QueuedConnection);
    return true;
}

void modHook::RemoveHook()
{
    disconnect(m_connection);
    m_service.remove();
}
