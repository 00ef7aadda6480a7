#pragma once

#include "Registry.h"

#include <QString>
#include <QStringList>

// The Run values kept as XDG autostart entries: the value NAME with data COMMAND is the file NAME.desktop
// in the folder (usually $XDG_CONFIG_HOME/autostart), whose Exec starts COMMAND at log-in.
//
// Every entry in the folder that starts something at log-in is a Run value, whoever wrote it, just as
// the Run key of Windows holds every program's value; hidden or disabled entries and files
// that are not application entries are not. Names match without regard to case, as registry value names
// do, but only the one file NAME.desktop that holds the value is ever replaced or deleted. A name that
// could not be a plain file name in the folder (empty, ".", "..", or with "/" or a zero character) is
// refused.
class AutostartFolder {
public:
    // The entries written name writerName in a comment and show the icon writerIcon (an icon theme name).
    AutostartFolder(QString folder, QString writerName, QString writerIcon);

    // FileNotFound when no entry in the folder is that Run value.
    RegResult read(const QString& name, QString& command) const;
    // Writes the whole entry file or leaves the old one as it was (UserFile: a link to an entry is followed,
    // anything else in its place is left alone and the write fails; a new entry is 0600). InvalidParameter
    // for a name that is not safe or an empty command; AccessDenied or CantWrite when the folder cannot be
    // written.
    RegResult write(const QString& name, const QString& command) const;
    RegResult remove(const QString& name) const;

private:
    static bool isSafeName(const QString& name);
    // The file that holds the Run value name (an exact match first); empty when there is none.
    QString findEntry(const QString& name, QString* command) const;
    RegResult failure() const;

    QString m_folder;
    QString m_writerName;
    QString m_writerIcon;
};
