#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Autostart entries in freedesktop.org's Desktop Entry format (version 1.5): the entry the program writes
// for a Run value, and the command read back from any entry in the folder.
class DesktopEntry {
public:
    // The file for the Run value name with data command: an application entry named name whose Exec
    // starts command as one program path, whatever characters it holds, shown with the icon named icon (none
    // when empty).
    static QByteArray autostartFile(const QString& name, const QString& command, const QString& writerName,
                                    const QString& icon);

    // The command that an entry starts at log-in; nothing when the text is not a UTF-8 application entry
    // with an Exec key, or is hidden or disabled. An Exec of one argument gives that argument unquoted;
    // an Exec of several gives the whole command line as written (with its field codes), like a Run
    // value on Windows that carries arguments.
    static std::optional<QString> runCommand(const QByteArray& text);

    // The Exec value (as it stands in the file) that starts program with no arguments: quoted, with "%"
    // doubled and the string escapes applied.
    static QString execValue(const QString& program);
    // The arguments of an Exec value as it stands in the file; nothing when it is not well formed.
    static std::optional<QStringList> execArguments(const QString& value);

private:
    // A string value as it stands in the file (\s \n \t \r \\ escapes) and back.
    static QString escapeString(const QString& text);
    static QString unescapeString(const QString& value);
};
