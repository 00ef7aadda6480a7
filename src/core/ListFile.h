#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The site-list file: one entry per line as typed, CR LF line ends. On reading, a line that is empty or a
// single space is skipped and a last line without a line end still counts. A full rewrite writes every
// entry with its CR LF and then one more CR LF; an append adds one entry with its CR LF.
class ListFile {
public:
    static QStringList parse(const QByteArray& bytes);
    static QByteArray serialize(const QStringList& entries);

    // Each returns false with the reason in *error; a failed write leaves the file as it was.
    static bool read(const QString& path, QStringList* entries, QString* error);
    static bool rewrite(const QString& path, const QStringList& entries, QString* error);
    static bool append(const QString& path, const QString& entry, QString* error);
};
