#pragma once

#include <QObject>
#include <QUrl>

class QWidget;
class WebEngineSource;
class WebView;

// Keeps the banner page in its view only while the window holding the view is on screen. The page, with a
// profile of its own, is made when the window is shown and let go when it is hidden or minimised, so a program
// waiting in the tray runs no web engine for a pane nobody sees (nor loads one, before its first show); it is
// loaded again on the next show.
class BannerPane : public QObject {
    Q_OBJECT
public:
    // Parented to the view; follows the window the view is in from now on.
    BannerPane(WebEngineSource& engine, WebView& view, QUrl url);
    ~BannerPane() override;

    // True while the page is there; false while the window is away.
    bool loaded() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool windowShown() const;
    void follow();
    void load();
    void release();

    WebEngineSource& m_engine;
    WebView& m_view;
    const QUrl m_url;
    QWidget* m_window;
};
