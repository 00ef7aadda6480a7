#pragma once

#include <QString>

// Where the program's read-only files are: a "resources" folder beside the executable (a build tree),
// else the installed share folder.
class ResourceLocator {
public:
    // The folder searched first is the given one; empty means the running executable's.
    explicit ResourceLocator(QString executableFolder = {});

    // The full path of a resource, e.g. "sounds/pop.wav"; the first candidate when none exists, so
    // that whoever opens it reports a path that means something.
    QString path(const QString& relative) const;

private:
    QString m_executableFolder;
};
