#include "UserFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace UserFile {

namespace {

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions kOwnerFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr int kLockWaitMs = 5000;

} // namespace

Kind kindOf(const QString& path, QString* reason)
{
    // QFileInfo looks with stat and lstat: nothing is opened, so a FIFO cannot hold the program up.
    const QFileInfo info(path);
    QString why;
    if (info.isSymLink() && !info.exists())
        why = QStringLiteral("it is a link to nothing (%1)").arg(info.symLinkTarget());
    else if (!info.exists())
        return Kind::Missing;
    else if (info.isFile())
        return Kind::Regular;
    else if (info.isDir())
        why = QStringLiteral("it is a folder");
    else
        why = QStringLiteral("it is not a regular file (a FIFO, a socket or a device)");
    if (reason != nullptr)
        *reason = why;
    return Kind::Refused;
}

QString targetOf(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink() && info.isFile())
        return info.canonicalFilePath();
    return path;
}

bool read(const QString& path, QByteArray* bytes, QString* error)
{
    QString reason;
    switch (kindOf(path, &reason)) {
    case Kind::Missing:
        *error = QStringLiteral("there is no such file");
        return false;
    case Kind::Refused:
        *error = reason;
        return false;
    case Kind::Regular:
        break;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool write(const QString& path, const QByteArray& bytes, QString* error)
{
    QString reason;
    const Kind kind = kindOf(path, &reason);
    if (kind == Kind::Refused) {
        *error = reason;
        return false;
    }
    QSaveFile file(targetOf(path));
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    // A failed flush does not stop commit() from renaming the short file over the old one, so every
    // step is checked here first: the disk may be full.
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    const bool owned = written && (kind == Kind::Regular || file.setPermissions(kOwnerOnly));
    if (!written || !owned) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool makeFolders(const QString& folder, QString* error)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    qsizetype slash = 0;
    while (true) {
        slash = clean.indexOf(u'/', slash + 1);
        const QString part = slash < 0 ? clean : clean.left(slash);
        const QFileInfo info(part);
        if (!info.exists()) {
            // Exactly 0700 whatever the umask: mkdir alone would let the umask decide.
            if (!QDir().mkdir(part) || !QFile::setPermissions(part, kOwnerFolder)) {
                *error = part == clean ? QStringLiteral("cannot create the folder %1").arg(clean)
                                       : QStringLiteral("cannot create the folder %1 (nor %2)").arg(clean, part);
                return false;
            }
        } else if (!info.isDir()) {
            *error = QStringLiteral("cannot create the folder %1: %2 is not a folder").arg(clean, part);
            return false;
        }
        if (slash < 0)
            return true;
    }
}

Lock::Lock(const QString& path)
    : m_file(targetOf(path) + QStringLiteral(".lock"))
{
    m_locked = m_file.tryLock(kLockWaitMs);
}

QString Lock::error() const
{
    switch (m_file.error()) {
    case QLockFile::LockFailedError:
        return QStringLiteral("another program holds its lock file");
    case QLockFile::PermissionError:
        return QStringLiteral("its lock file cannot be made");
    default:
        return QStringLiteral("its lock file cannot be used");
    }
}

} // namespace UserFile
