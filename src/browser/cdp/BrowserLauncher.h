#pragma once

#include "PipeTransport.h"

#include <QString>
#include <QStringList>

#include <memory>

// Starts a Chromium-family browser of the user's with its DevTools on a pipe, in a profile folder
// of the program's own (browsers ignore remote debugging on their default profile).
class BrowserLauncher {
public:
    // What the launch depends on outside the caller's options; current() reads this process's.
    struct Environment {
        bool hasDisplay = false;
        bool runningAsRoot = false;
        QStringList knownLocations; // tried first, in order
        QStringList searchPath;     // where the browser names are looked up; empty means $PATH
        static Environment current();
    };

    struct Options {
        QString browserPath;   // empty: find one
        QString profileDir;    // empty: defaultProfileDir()
        bool headless = false; // also headless whenever there is no display
        QStringList startUrls;
        bool discardOutput = false; // the browser's stdout and stderr to /dev/null
    };

    explicit BrowserLauncher(Environment environment = Environment::current());

    // The browser names looked up on the search path, in order of preference.
    static QStringList browserNames();
    // <generic data folder>/Tarnwick/browser-profile
    static QString defaultProfileDir();

    // The browser to start: requested (a path, or a name on the search path) or the first found.
    // Empty, with error set, when there is none.
    QString findBrowser(const QString& requested, QString* error) const;
    // The command line after the program name.
    QStringList arguments(const Options& options, const QString& profileDir) const;
    // Starts the browser. Null, with error set, when no browser is found, the profile folder cannot
    // be made, a headless browser is given more than one start address, or the browser cannot be started ("could not
    // start <path>: <reason>").
    std::unique_ptr<PipeTransport> launch(const Options& options, QString* error) const;

private:
    Environment m_environment;
};
