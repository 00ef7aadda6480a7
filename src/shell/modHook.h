#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class HotKeyService;

// The Win+Z hot key of the main window: takes the key, and hands each press to the target from the
// event queue, never from inside the window system's event handling.
class modHook : public QObject {
    Q_OBJECT
public:
    explicit modHook(HotKeyService& service, QObject* parent = nullptr);
    ~modHook() override;

    // False, with the reason for the user, when the key cannot be had; the program runs on without it.
    bool InstallHook(QObject& hWndTarget, std::function<void()> pressed, QString* reason);
    // Gives the key back; harmless when it was never taken.
    void RemoveHook();

private:
    HotKeyService& m_service;
    QMetaObject::Connection m_connection;
};
