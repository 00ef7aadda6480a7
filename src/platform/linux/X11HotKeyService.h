#pragma once

#include "HotKeyService.h"

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <vector>

// Super+Z as passive key grabs on the root window, through Qt's own xcb connection, whose events reach a native
// event filter. X grabs match modifiers exactly, so each key typing "z" is grabbed with Super alone and with the
// NumLock and CapsLock variants; otherwise the key dies whenever one of the locks is on.
// The keys are looked up at install(): a keyboard mapping changed later is picked up by installing again.
class X11HotKeyService : public HotKeyService, private QAbstractNativeEventFilter {
    Q_OBJECT
public:
    using HotKeyService::HotKeyService;
    ~X11HotKeyService() override;

    bool install(QString* reason) override;
    void remove() override;

private:
    struct Grab {
        std::uint32_t root;
        std::uint8_t key;
        std::uint16_t modifiers;
    };

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    std::vector<Grab> grabs_; // empty when not installed
};
