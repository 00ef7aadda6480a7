#pragma once

#include "PopupOptions.h"

class SettingsStore;

// The popup options the decision reads: as they were stored when the program started, then as the main
// window's boxes set them.
class StoredOptions : public PopupOptions {
public:
    explicit StoredOptions(const SettingsStore& settings);

    bool PopupBlocking() const override { return m_popupBlocking; }
    bool SetupMode() const override { return m_setupMode; }
    bool BlockSound() const override { return m_blockSound; }
    bool LinkException() const override { return m_linkException; }

    void setPopupBlocking(bool on) { m_popupBlocking = on; }
    void setSetupMode(bool on) { m_setupMode = on; }
    void setBlockSound(bool on) { m_blockSound = on; }
    void setLinkException(bool on) { m_linkException = on; }

private:
    bool m_popupBlocking;
    bool m_setupMode;
    bool m_blockSound;
    bool m_linkException;
};
