#pragma once

#include "PopupOptions.h"

class SettingsStore;

// The popup options as they were stored, for a program without the main window's boxes.
class StoredOptions : public PopupOptions {
public:
    explicit StoredOptions(const SettingsStore& settings);

    bool PopupBlocking() const override { return m_popupBlocking; }
    bool SetupMode() const override { return m_setupMode; }
    bool BlockSound() const override { return m_blockSound; }
    bool LinkException() const override { return m_linkException; }

private:
    bool m_popupBlocking;
    bool m_setupMode;
    bool m_blockSound;
    bool m_linkException;
};
