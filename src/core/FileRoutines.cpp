#include "FileRoutines.h"

#include <QFileInfo>

QString TrimPath(const QString& asPath)
{
    // File names on this system may hold a backslash; only "/" separates folders.
    return asPath.mid(asPath.lastIndexOf(u'/') + 1);
}

bool fileExists(const QString& asPath)
{
    const QString name = TrimPath(asPath);
    if (name.isEmpty())
        return false;
    // Names are compared as the file system compares them: letter case matters here, so a file that
    // differs only in case is another file, and reporting it would make the caller open a missing one.
    const QFileInfo entry(asPath);
    return entry.isFile() && entry.fileName() == name;
}
