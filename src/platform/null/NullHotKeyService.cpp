#include "NullHotKeyService.h"

NullHotKeyService::NullHotKeyService(bool available, QObject* parent)
    : HotKeyService(parent)
    , available_(available)
{}

bool NullHotKeyService::install(QString* reason)
{
    if (!available_) {
        if (reason)
            *reason = tr("The Win+Z hot key is not available on this system.");
        return false;
    }
    installed_ = true;
    return true;
}

void NullHotKeyService::remove()
{
    installed_ = false;
}

void NullHotKeyService::press()
{
    if (!installed_)
        return;
    // Checked again on delivery: a press queued before remove() is not reported.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (installed_)
                emit pressed();
        },
        Qt::QueuedConnection);
}
