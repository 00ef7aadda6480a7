#pragma once

#include "NewWindowRequest.h"

#include <QObject>
#include <QString>

#include <memory>

// One page window of a browser, as the popup decision sees it.
class BrowserWindow : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~BrowserWindow() override = default;

    // The address of the page the window shows now.
    virtual QString LocationURL() const = 0;
    // Closes the window.
    virtual void Quit() = 0;

    // What this window's status text says now: the link under the mouse, or "".
    const QString& statusText() const { return m_statusText; }
    // The browser reports a new status text for this window.
    void reportStatusText(const QString& text)
    {
        m_statusText = text;
        emit StatusTextChange(text);
    }

signals:
    // The window's page asks for a new window. Connected handlers settle the request now or later.
    void NewWindow2(std::shared_ptr<NewWindowRequest> request);
    // The status text changed; over a link it is the link's absolute address, "" when the mouse leaves it.
    void StatusTextChange(const QString& Text);

private:
    QString m_statusText;
};
