#include "StoredOptions.h"

#include "SettingsStore.h"

// Keys and defaults as the main window reads them.
StoredOptions::StoredOptions(const SettingsStore& settings)
    : m_popupBlocking(settings.GetBoxState(QStringLiteral("chkStopPop"), 1) == 1)
    , m_setupMode(settings.GetBoxState(QStringLiteral("chkAuto"), 1) == 1)
    , m_blockSound(settings.GetBoxState(QStringLiteral("chkSound"), 1) == 1)
    , m_linkException(settings.GetBoxState(QStringLiteral("chkLinks"), 0) == 1)
{}
