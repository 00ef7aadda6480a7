#pragma once

#include "PipeTransport.h"

#include <QString>
#include <QStringList>

#include <memory>

// Starts a Chromium-family browser of the user's with its DevTools on a pipe, never a TCP port: in a profile
// folder of the program's own, or in the browser's own profile (bookmarks, logins, extensions), which
// Chromium builds allow and Google Chrome 136 and later refuse.
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
        // profileDir is the user's own: their sync and background services are left as they are.
        bool userProfile = false;
    };

    explicit BrowserLauncher(Environment environment = Environment::current());

    // The browser names looked up on the search path, in order of preference.
    static QStringList browserNames();
    // <generic data folder>/Tarnwick/browser-profile
    static QString defaultProfileDir();
    // The browser's own profile folder under $XDG_CONFIG_HOME (~/.config), by its program's name; empty for a
    // browser not known.
    static QString ownProfileDir(const QString& browserPath);
    // The name users know the browser by ("Chromium", "Google Chrome"...), by its program's name.
    static QString displayName(const QString& browserPath);
    // The process that holds the profile folder now (its SingletonLock names it), or 0.
    static qint64 profileHolder(const QString& profileDir);

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
