#pragma once

#include <QObject>
#include <QUrl>

#include <memory>

class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;
class QWidget;

// Keeps the banner page in its view only while the window holding the view is on screen. The page, with a
// profile of its own, is made when the window is shown and destroyed when it is hidden or minimised, so a
// program waiting in the tray runs no web engine for a pane nobody sees; it is loaded again on the next show.
class BannerPane : public QObject {
    Q_OBJECT
public:
    // Parented to the view; follows the window the view is in from now on.
    BannerPane(QWebEngineView& view, QUrl url);
    ~BannerPane() override;

    // The page while it is loaded; nullptr while the window is away.
    QWebEnginePage* page() const { return m_page.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool windowShown() const;
    void follow();
    void load();
    void release();

    QWebEngineView& m_view;
    const QUrl m_url;
    QWidget* m_window;
    // The page goes before the profile it was made in.
    std::unique_ptr<QWebEngineProfile> m_profile;
    std::unique_ptr<QWebEnginePage> m_page;
};
