#include "ListFile.h"

#include <QFile>
#include <QSaveFile>

namespace {

bool isIgnored(QByteArrayView line)
{
    // Blank lines, a lone space, and the bare CR that a CR CR LF leaves behind.
    return line.isEmpty() || line == " " || line == "\r";
}

} // namespace

QStringList ListFile::parse(const QByteArray& bytes)
{
    QStringList entries;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        if (end < 0)
            end = bytes.size();
        QByteArrayView line(bytes.constData() + start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!isIgnored(line))
            entries.append(QString::fromUtf8(line));
        start = next;
    }
    return entries;
}

QByteArray ListFile::serialize(const QStringList& entries)
{
    QByteArray bytes;
    for (const QString& entry : entries) {
        bytes += entry.toUtf8();
        bytes += "\r\n";
    }
    bytes += "\r\n";
    return bytes;
}

bool ListFile::read(const QString& path, QStringList* entries, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    *entries = parse(bytes);
    return true;
}

bool ListFile::rewrite(const QString& path, const QStringList& entries, QString* error)
{
    // Written beside the file and renamed over it, so a failure part-way leaves the old file whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray bytes = serialize(entries);
    if (file.write(bytes) != bytes.size())
        file.cancelWriting();
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool ListFile::append(const QString& path, const QString& entry, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = file.errorString();
        return false;
    }
    const qint64 before = file.size();
    QByteArray bytes = entry.toUtf8();
    bytes += "\r\n";
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        *error = file.errorString();
        // Take back whatever part of the line reached the file.
        file.resize(before);
        return false;
    }
    return true;
}
