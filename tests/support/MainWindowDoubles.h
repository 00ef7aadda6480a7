#pragma once

#include "MainWindowShell.h"

#include <QStringList>

#include <functional>

// The program's part in the main window's load and unload, for tests: no tray, a hot key that installs,
// no skin, no banner and no help window unless a test gives them. Records what was asked, in order.
struct ShellDouble : MainWindowShell {
    bool trayShown = false;
    bool websiteOpen = false;
    std::function<bool(QString* reason)> installHook;
    std::function<void(QWidget&)> applySkin;
    std::function<void(WebView&, QLabel&)> installBanner;
    std::function<QWidget*()> showHelp;
    // What the main window asked hot-key presses to call.
    std::function<void()> hotKeyPressed;
    QStringList calls;

    void AddTrayIcon(QWidget&) override { calls << QStringLiteral("AddTrayIcon"); }
    void RemoveTrayIcon(QWidget&) override { calls << QStringLiteral("RemoveTrayIcon"); }
    bool TrayIconShown() const override { return trayShown; }
    bool InstallHook(QWidget&, std::function<void()> pressed, QString* reason) override
    {
        calls << QStringLiteral("InstallHook");
        hotKeyPressed = std::move(pressed);
        return !installHook || installHook(reason);
    }
    void RemoveHook() override { calls << QStringLiteral("RemoveHook"); }
    void ApplySkin(QWidget& window) override
    {
        calls << QStringLiteral("ApplySkin");
        if (applySkin)
            applySkin(window);
    }
    void StopSkinning() override { calls << QStringLiteral("StopSkinning"); }
    void InstallBanner(WebView& banner, QLabel& picture) override
    {
        calls << QStringLiteral("InstallBanner");
        if (installBanner)
            installBanner(banner, picture);
    }
    void CheckToolsEntry() override { calls << QStringLiteral("CheckToolsEntry"); }
    QWidget* ShowHelpWindow() override
    {
        calls << QStringLiteral("ShowHelpWindow");
        return showHelp ? showHelp() : nullptr;
    }
    bool WebsiteWindowKeepsProgram() override { return websiteOpen; }
};
