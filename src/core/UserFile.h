#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QString>

// The user's own files (lists, settings, autostart entries): read without ever blocking, written whole or
// not at all. A write goes to a new file in the target's folder, is flushed, checked and synced, and only
// then renamed over the target, so any failure leaves the old file byte for byte. A path that is a link to
// a regular file is followed (the target is replaced in its own folder and the link stays a link); a path
// whose target is anything else (a folder, a FIFO, a device, a link to nothing) is never opened nor
// replaced. Files the program creates are readable by the user alone (0600), its folders too (0700).
namespace UserFile {

enum class Kind {
    Missing, // nothing there yet: a write creates it
    Regular, // a regular file, or a link to one
    Refused, // anything else: never read, written or replaced
};

// What the path holds, looked at without opening it; for Refused, why in *reason.
Kind kindOf(const QString& path, QString* reason = nullptr);
// The file a write of path replaces: path itself, or the regular file its links end at.
QString targetOf(const QString& path);

// The whole file. False with the reason in *error (a missing file, one that is not regular, a read error).
bool read(const QString& path, QByteArray* bytes, QString* error);
// Replaces the file with bytes as described above. False with the reason in *error; the file is untouched.
bool write(const QString& path, const QByteArray& bytes, QString* error);
// Makes the folder and the missing folders above it, each 0700. False with the reason in *error.
bool makeFolders(const QString& folder, QString* error);

// Held while a shared file is read, changed and written back, so that two programs on one file take
// turns: a lock file beside the file's target. Waits a few seconds for the other program at most.
class Lock {
public:
    explicit Lock(const QString& path);
    bool locked() const { return m_locked; }
    // Why the lock could not be taken.
    QString error() const;

private:
    QLockFile m_file;
    bool m_locked = false;
};

} // namespace UserFile
