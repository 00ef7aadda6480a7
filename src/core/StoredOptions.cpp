#include "StoredOptions.h"

#include "SettingsStore.h"

StoredOptions::StoredOptions(const SettingsStore& settings)
    : m_popupBlocking(settings.GetBoxState(SettingKeys::chkStopPop) == 1)
    , m_setupMode(settings.GetBoxState(SettingKeys::chkAuto) == 1)
    , m_blockSound(settings.GetBoxState(SettingKeys::chkSound) == 1)
    , m_linkException(settings.GetBoxState(SettingKeys::chkLinks) == 1)
{}
