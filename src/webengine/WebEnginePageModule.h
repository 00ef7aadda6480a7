#pragma once

#include "WebContent.h"

#include <QObject>

// The web engine module's entry: page views made of QtWebEngine's widgets.
class WebEnginePageModule : public QObject, public WebEngineModule {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TarnwickWebEngineModule_iid)
    Q_INTERFACES(WebEngineModule)
public:
    WebEnginePageModule();
    std::unique_ptr<WebContent> createContent(QWidget& parent, Profile profile, WebContent::Events events) override;
};
