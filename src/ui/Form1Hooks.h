#pragma once

#include <QString>

#include <functional>

class Form1;
class QWidget;

// The pieces of the main window's life that other parts of the program provide. Any may be left empty:
// the main window then runs without that piece.
struct Form1Hooks {
    // Load step 5 and unload step 2: the tray icon; a click on it opens the window's Popup menu. True
    // while the icon is there, so that minimising never hides the window where nobody can reach it.
    std::function<void(Form1&)> AddTrayIcon;
    std::function<void(Form1&)> RemoveTrayIcon;
    std::function<bool()> TrayIconShown;
    // Load step 22 and unload step 3: the hot key, whose presses reach pctHotkey_MouseMove from the event
    // queue. False, with the reason, when the hot key cannot be had.
    std::function<bool(Form1&, QString* reason)> InstallHook;
    std::function<void()> RemoveHook;
    // Load step 24, after the window has laid its skin labels over the plain ones in its frames: the skin.
    std::function<void(QWidget&)> ApplySkin;
    // Load step 25: shows the banner pane in the room made for it. Without it the window keeps its size.
    std::function<void(Form1&)> InstallBanner;
    // Load step 26.
    std::function<void()> CheckToolsEntry;
    // Load step 27: loads and shows the help window, and gives it back.
    std::function<QWidget*()> ShowHelpWindow;
    // Unload step 5: the built-in browser window is open, so the program ends when it closes.
    std::function<bool()> WebsiteWindowVisible;
    std::function<void()> StopSkinning;
};
