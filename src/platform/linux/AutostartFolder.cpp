#include "AutostartFolder.h"

#include "DesktopEntry.h"
#include "UserFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSuffix = QStringLiteral(".desktop");
constexpr qint64 kMaxEntryBytes = 64 * 1024; // far above any real entry; a larger file is not one of them
constexpr qsizetype kMaxFileNameBytes = 255;

std::optional<QString> commandOf(const QString& path)
{
    QFile file(path);
    if (file.size() > kMaxEntryBytes || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return DesktopEntry::runCommand(file.read(kMaxEntryBytes));
}

// The regular files (or links to them) named *.desktop.
QStringList entries(const QDir& dir)
{
    return dir.entryList({QStringLiteral("*") + kSuffix}, QDir::Files | QDir::Hidden | QDir::CaseSensitive, QDir::Name);
}

// mkdir -p with the errno of the step that failed, which QDir::mkpath does not keep.
int makeFolder(const QString& path)
{
    const QByteArray native = QFile::encodeName(QDir::cleanPath(path));
    for (qsizetype slash = native.indexOf('/', 1);; slash = native.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? native : native.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash < 0)
            break;
    }
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

} // namespace

AutostartFolder::AutostartFolder(QString folder, QString writerName, QString writerIcon)
    : m_folder(std::move(folder))
    , m_writerName(std::move(writerName))
    , m_writerIcon(std::move(writerIcon))
{}

bool AutostartFolder::isSafeName(const QString& name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') && !name.contains(QChar(0)) &&
           (name + kSuffix).toUtf8().size() <= kMaxFileNameBytes;
}

QString AutostartFolder::findEntry(const QString& name, QString* command) const
{
    if (!isSafeName(name))
        return {};
    // Only files the listing calls regular: opening a FIFO named like an entry would never return.
    const QDir dir(m_folder);
    const QString exact = name + kSuffix;
    const QString folded = Registry::fold(exact);
    QStringList candidates;
    for (const QString& file : entries(dir)) {
        if (file == exact)
            candidates.prepend(file);
        else if (Registry::fold(file) == folded)
            candidates << file;
    }
    for (const QString& file : std::as_const(candidates)) {
        const QString path = dir.filePath(file);
        if (const std::optional<QString> found = commandOf(path)) {
            if (command != nullptr)
                *command = *found;
            return path;
        }
    }
    return {};
}

RegResult AutostartFolder::read(const QString& name, QString& command) const
{
    return findEntry(name, &command).isEmpty() ? RegResult::FileNotFound : RegResult::Success;
}

RegResult AutostartFolder::write(const QString& name, const QString& command) const
{
    if (!isSafeName(name) || command.isEmpty() || command.contains(QChar(0)))
        return RegResult::InvalidParameter;
    if (const int error = makeFolder(m_folder); error != 0)
        return error == EACCES || error == EPERM || error == EROFS ? RegResult::AccessDenied : RegResult::CantWrite;
    // A value written again under another case keeps the file, and so the name, it already has.
    QString path = findEntry(name, nullptr);
    if (path.isEmpty())
        path = QDir(m_folder).filePath(name + kSuffix);
    const QString entryName = QFileInfo(path).fileName().chopped(kSuffix.size());
    const QByteArray bytes = DesktopEntry::autostartFile(entryName, command, m_writerName, m_writerIcon);
    QString error;
    return UserFile::write(path, bytes, &error) ? RegResult::Success : failure();
}

RegResult AutostartFolder::remove(const QString& name) const
{
    const QString path = findEntry(name, nullptr);
    if (path.isEmpty())
        return RegResult::FileNotFound;
    return QFile::remove(path) ? RegResult::Success : failure();
}

RegResult AutostartFolder::failure() const
{
    return ::access(QFile::encodeName(m_folder).constData(), W_OK) != 0 &&
                   (errno == EACCES || errno == EPERM || errno == EROFS)
               ? RegResult::AccessDenied
               : RegResult::CantWrite;
}
