#pragma once

#include "WebContent.h"

#include <QWidget>

#include <memory>

class QLabel;
class WebEngineSource;

// A page view of the program's own: a place in a window that shows a web page once it is opened in the web
// engine, and shows in plain words why not when the web engine cannot be had. Nothing of QtWebEngine is loaded
// until a view is opened.
class WebView : public QWidget {
    Q_OBJECT
public:
    explicit WebView(QWidget* parent = nullptr);
    ~WebView() override;

    // Makes the page, loading the web engine module on first use. False when the module cannot be had: the view
    // then says why, in the page's place.
    bool open(WebEngineSource& engine, WebEngineModule::Profile profile);
    // Lets the page go, and with it what it holds in the web engine.
    void release();
    bool isOpen() const { return m_content != nullptr; }
    // What the view says in place of a page it could not open; empty otherwise.
    QString failure() const;
    // The web engine's own widget while the page is open.
    QWidget* surface() const;

    QUrl url() const;
    QUrl requestedUrl() const;
    QString title() const;
    // Runs a script in the open page; false, done not called, without one.
    bool runJavaScript(const QString& script, std::function<void(const QVariant&)> done);

public slots:
    // Without an open page these do nothing.
    void load(const QUrl& url);
    void back();
    void forward();
    void stop();
    void reload();

signals:
    void loadStarted();
    void loadFinished(bool ok);
    void linkHovered(const QString& url);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();

    std::unique_ptr<WebContent> m_content;
    QLabel* m_message = nullptr;
};
