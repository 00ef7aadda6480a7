#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>

#include <memory>

class BrowserWindow;
class DecisionContext;
class NewWindowRequest;

// The event sink attached to one browser window: records its status text and decides on its popups.
class IE_Class : public QObject {
    Q_OBJECT
public:
    explicit IE_Class(DecisionContext& context, QObject* parent = nullptr);
    // Sets IE to nothing, which disconnects the window's events.
    ~IE_Class() override;

    // Attaches the sink to a window.
    void IEctl(std::shared_ptr<BrowserWindow> IncomeIE);
    const std::shared_ptr<BrowserWindow>& IE() const { return m_IE; }

    void IE_StatusTextChange(const QString& Text);
    void IE_NewWindow2(const std::shared_ptr<NewWindowRequest>& request);

private:
    void disconnectWindow();

    DecisionContext& m_context;
    std::shared_ptr<BrowserWindow> m_IE;
    QList<QMetaObject::Connection> m_connections;
};
