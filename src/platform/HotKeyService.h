#pragma once

#include <QObject>
#include <QString>

#include <memory>

// The system-wide hot key Super+Z ("Win+Z"). Presses arrive as the signal pressed(), always from the event queue,
// never from inside the native event handling, so that a receiver may show windows or run event loops.
class HotKeyService : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~HotKeyService() override = default;

    // Takes the key for this program; true when it already has it. False with the reason (a sentence for the user)
    // when it cannot: no X11 session, or another program holds the key.
    virtual bool install(QString* reason) = 0;
    // Gives the key back; harmless when not installed. No press is reported after it, even one already queued.
    virtual void remove() = 0;

signals:
    void pressed();
};

// The hot key of the platform this program was built for: call it once the QGuiApplication exists.
std::unique_ptr<HotKeyService> createHotKeyService();
