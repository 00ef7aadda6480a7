#pragma once

#include <QString>

// One key of the settings store's "Settings" section with the text it reads as when it is missing.
struct SettingKey {
    const char* name;
    const char* defaultText;

    QString key() const { return QString::fromLatin1(name); }
    QString defaultValue() const { return QString::fromLatin1(defaultText); }
    int defaultNumber() const { return defaultValue().toInt(); }
};

// Every key the program stores, with its default, for both the desktop program and the headless runner.
namespace SettingKeys {
inline constexpr SettingKey chkStopPop{"chkStopPop", "1"};       // popup blocking
inline constexpr SettingKey chkAuto{"chkAuto", "1"};             // setup mode
inline constexpr SettingKey chkLinks{"chkLinks", "0"};           // the link exception
inline constexpr SettingKey chkSound{"chkSound", "1"};           // the block sound
inline constexpr SettingKey chkOnTop{"chkOnTop", "0"};           // the main window held on top
inline constexpr SettingKey chkRunAtStart{"chkRunAtStart", "0"}; // run at log-in
inline constexpr SettingKey intStopped{"intStopped", "0"};       // popups blocked to date
// Its default names the product's web site, so it is built where the site is known.
inline constexpr SettingKey strAllowed{"strAllowed", ""};
inline constexpr SettingKey strDisallowed{"strDisallowed", ""};
inline constexpr SettingKey state{"state", "up"}; // the main window shown ("up") or in the tray
inline constexpr SettingKey showHelp{"showHelp", "1"};
} // namespace SettingKeys
