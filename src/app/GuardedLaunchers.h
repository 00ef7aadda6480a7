#pragma once

#include <QString>
#include <QStringList>

// Per-user desktop entries, one for each Chromium-family browser installed, named "<Browser> (guarded)": each
// starts that browser on its own profile through the program (handed to the program already running, if any),
// with the browser's own icon.
class GuardedLaunchers {
public:
    // folder: where the entries go ($XDG_DATA_HOME/applications); program: what their Exec starts.
    GuardedLaunchers(QString folder, QString program);

    // $XDG_DATA_HOME/applications (default ~/.local/share/applications).
    static QString standardFolder();

    // Writes an entry for each browser found; returns the files written. False, with the reason, when none
    // could be written or no browser is installed.
    bool install(QStringList* written, QString* error) const;
    // Removes the entries written before; returns the files removed.
    bool remove(QStringList* removed, QString* error) const;

    // The text of the entry that starts browserPath, named name, shown with icon.
    QByteArray entry(const QString& browserPath, const QString& name, const QString& icon) const;

private:
    QString m_folder;
    QString m_program;
};
