#pragma once

#include "ShellWindows.h"

#include <QPointer>

#include <optional>

// A browser window driven by the test: it holds a page address and records what became of its popups.
class FakeBrowserWindow : public BrowserWindow {
    Q_OBJECT
public:
    explicit FakeBrowserWindow(QString location = {});

    QString LocationURL() const override { return m_location; }
    void Quit() override;

    void navigate(const QString& location) { m_location = location; }
    void hover(const QString& text) { reportStatusText(text); }

    // Raises NewWindow2 for a popup of the given address. The outcome is known once the request is
    // settled: true when it was cancelled.
    struct Popup {
        std::shared_ptr<std::optional<bool>> cancelled = std::make_shared<std::optional<bool>>();
        // The request while someone holds it, so a test can take the popup away.
        std::weak_ptr<NewWindowRequest> request;
        bool settled() const { return cancelled->has_value(); }
        bool blocked() const { return cancelled->value_or(false); }
    };
    // userGesture: asked for in answer to the user's click, as a link's popup is.
    Popup openPopup(const QString& popupUrl = {}, bool userGesture = false);

    bool quitCalled() const { return m_quit; }
    // The collection the window belongs to, told before each popup as a browser tells it.
    void setShell(ShellWindows* shell) { m_shell = shell; }

private:
    QPointer<ShellWindows> m_shell;
    QString m_location;
    bool m_quit = false;
};

// A window collection that the test fills and empties.
class FakeShellWindows : public ShellWindows {
    Q_OBJECT
public:
    using ShellWindows::ShellWindows;

    QList<std::shared_ptr<BrowserWindow>> windows() const override { return m_windows; }

    std::shared_ptr<FakeBrowserWindow> open(const QString& location);
    void close(const std::shared_ptr<BrowserWindow>& window);

private:
    QList<std::shared_ptr<BrowserWindow>> m_windows;
    long m_cookie = 0;
};
