#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QPluginLoader;
class WebEngineModule;

// Where the program's page views come from.
class WebEngineSource {
public:
    virtual ~WebEngineSource() = default;

    // The web engine module, loaded on the first call; nullptr, with the reason in error, when it cannot be had.
    virtual WebEngineModule* module(QString* error) = 0;
};

// The web engine module as a plugin file beside the program: in the executable's folder (a build tree), else in
// the program's folder of the installed library folder. Loaded once, on the first page asked for, and kept to the
// end of the process: QtWebEngine cannot be unloaded.
class WebEnginePlugin final : public WebEngineSource {
public:
    // The folder searched first is the given one; empty means the running executable's.
    explicit WebEnginePlugin(QString executableFolder = {});
    ~WebEnginePlugin() override;
    WebEnginePlugin(const WebEnginePlugin&) = delete;
    WebEnginePlugin& operator=(const WebEnginePlugin&) = delete;

    // The plugin's file name, the same in every folder.
    static QString fileName();
    // The files tried, in order.
    QStringList candidates() const;

    WebEngineModule* module(QString* error) override;

private:
    QString m_executableFolder;
    std::unique_ptr<QPluginLoader> m_loader;
    WebEngineModule* m_module = nullptr;
    QString m_error;
};
