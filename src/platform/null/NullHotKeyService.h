#pragma once

#include "HotKeyService.h"

// A hot key that only tests press: for tests, and for systems without a system-wide hot key, where it is
// unavailable.
class NullHotKeyService : public HotKeyService {
    Q_OBJECT
public:
    explicit NullHotKeyService(bool available = false, QObject* parent = nullptr);

    bool install(QString* reason) override;
    void remove() override;

    bool isInstalled() const { return installed_; }
    // Stands for the user pressing the key: reports it through the event queue, as the real key does, when installed.
    void press();

private:
    bool available_;
    bool installed_ = false;
};
