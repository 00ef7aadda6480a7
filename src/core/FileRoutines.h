#pragma once

#include <QString>

// The last component of a path: what follows its last "/", the whole text when it has none.
QString TrimPath(const QString& asPath);

// True when the path names an ordinary file (a link to one counts) whose name is the path's last
// component. A folder, a missing entry or an empty path is false.
bool fileExists(const QString& asPath);
