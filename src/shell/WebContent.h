#pragma once

#include <QString>
#include <QUrl>
#include <QVariant>
#include <QtPlugin>

#include <functional>
#include <memory>

class QWidget;

// One page view made by the web engine module. The module is the only part of the program that links QtWebEngine,
// so that a program waiting in the tray has none of its libraries loaded; everything else drives pages through
// this.
class WebContent {
public:
    // What the page reports; each may be left empty.
    struct Events {
        std::function<void()> loadStarted;
        std::function<void(bool ok)> loadFinished;
        std::function<void(const QString& url)> linkHovered;
    };

    virtual ~WebContent() = default;

    // The page's widget, a child of the parent it was made in, deleted with this object.
    virtual QWidget& widget() = 0;

    virtual void load(const QUrl& url) = 0;
    virtual void back() = 0;
    virtual void forward() = 0;
    virtual void stop() = 0;
    virtual void reload() = 0;

    virtual QUrl url() const = 0;
    virtual QUrl requestedUrl() const = 0;
    virtual QString title() const = 0;

    // Runs a script in the page; done gets what it gave back.
    virtual void runJavaScript(const QString& script, std::function<void(const QVariant&)> done) = 0;
};

// The entry of the web engine module.
class WebEngineModule {
public:
    enum class Profile {
        Shared,  // the web engine's default profile, shared by every page made in it
        Private, // a profile of the page's own, off the record, gone with the page
    };

    virtual ~WebEngineModule() = default;

    virtual std::unique_ptr<WebContent> createContent(QWidget& parent, Profile profile, WebContent::Events events) = 0;
};

#define TarnwickWebEngineModule_iid "example.tarnwick.WebEngineModule/1"
Q_DECLARE_INTERFACE(WebEngineModule, TarnwickWebEngineModule_iid)
