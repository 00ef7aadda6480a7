#pragma once

#include <QString>

#include <functional>

class QLabel;
class QWidget;
class WebView;

// What the program lends the main window for its load and unload. Every piece is required: a program
// that leaves one out does not compile. A piece the desktop lacks (no tray, no X11 hot key) answers so
// and the main window says it once.
class MainWindowShell {
public:
    virtual ~MainWindowShell() = default;

    // The tray icon, whose click opens the main window's tray menu. TrayIconShown is true while the icon
    // is there, so that minimising never hides the window where nobody can reach it.
    virtual void AddTrayIcon(QWidget& window) = 0;
    virtual void RemoveTrayIcon(QWidget& window) = 0;
    virtual bool TrayIconShown() const = 0;

    // The hot key, whose presses call pressed from the event queue. False, with the reason, when it
    // cannot be had.
    virtual bool InstallHook(QWidget& target, std::function<void()> pressed, QString* reason) = 0;
    virtual void RemoveHook() = 0;

    // The program's skin, on a window whose skin labels already lie over its plain ones.
    virtual void ApplySkin(QWidget& window) = 0;
    virtual void StopSkinning() = 0;

    // Shows the banner pane in the room the window made for it.
    virtual void InstallBanner(WebView& banner, QLabel& picture) = 0;

    // Looks at the browser Tools-menu entry, and says when it names another copy of the program.
    virtual void CheckToolsEntry() = 0;

    // Loads and shows the help window, and gives it back (nullptr when it could not be shown).
    virtual QWidget* ShowHelpWindow() = 0;

    // Asked as the main window unloads: true when the built-in browser window is open and keeps the
    // program going until it is closed.
    virtual bool WebsiteWindowKeepsProgram() = 0;
};
