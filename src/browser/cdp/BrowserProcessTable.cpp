#include "BrowserProcessTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

#include <unistd.h>

std::optional<DebuggingPortProcess> DebuggingPortProcess::fromCommandLine(qint64 pid, const QByteArray& cmdline)
{
    const QList<QByteArray> arguments = cmdline.split('\0');
    if (arguments.isEmpty() || arguments.first().isEmpty())
        return std::nullopt;
    DebuggingPortProcess process;
    process.pid = pid;
    process.program = QFileInfo(QString::fromLocal8Bit(arguments.first())).fileName();
    process.address = QStringLiteral("127.0.0.1");
    bool hasPort = false;
    // A switch given twice counts as the browser reads it: the last one wins.
    for (const QByteArray& argument : arguments.mid(1)) {
        if (argument.startsWith("--type="))
            return std::nullopt;
        if (argument.startsWith("--remote-debugging-port=")) {
            bool ok = false;
            const uint port = argument.mid(int(std::strlen("--remote-debugging-port="))).toUInt(&ok);
            hasPort = ok && port <= 65535;
            process.port = hasPort ? quint16(port) : 0;
        } else if (argument.startsWith("--remote-debugging-address=")) {
            process.address = QString::fromLocal8Bit(argument.mid(int(std::strlen("--remote-debugging-address="))));
        } else if (argument.startsWith("--user-data-dir=")) {
            process.profileDir = QString::fromLocal8Bit(argument.mid(int(std::strlen("--user-data-dir="))));
        } else if (argument == "--") {
            break;
        }
    }
    if (!hasPort || process.port == 0)
        return std::nullopt;
    return process;
}

QList<DebuggingPortProcess> ProcBrowserProcessTable::debuggingPortProcesses() const
{
    QList<DebuggingPortProcess> found;
    const uint uid = ::getuid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok)
            continue;
        const QString dir = QStringLiteral("/proc/") + entry;
        if (QFileInfo(dir).ownerId() != uid)
            continue;
        QFile file(dir + QStringLiteral("/cmdline"));
        // A process may end between the listing and here.
        if (!file.open(QIODevice::ReadOnly))
            continue;
        if (auto process = DebuggingPortProcess::fromCommandLine(pid, file.read(1 << 20)))
            found.append(*process);
    }
    return found;
}
