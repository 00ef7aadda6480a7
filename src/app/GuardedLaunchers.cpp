#include "GuardedLaunchers.h"

#include "BrowserLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

namespace {

const QString kPrefix = QStringLiteral("tarnwick-guarded-");

// One argument of an Exec value: quoted, with the characters the quoting reserves escaped, then the escapes
// every string value takes, and "%" doubled so that it is no field code.
QString execArgument(const QString& argument)
{
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    quoted.replace(u'%', QStringLiteral("%%"));
    return u'"' + quoted + u'"';
}

// The icon the browser's own desktop entry shows; else its program's name, which icon themes use too.
QString browserIcon(const QString& browserPath)
{
    const QString program = QFileInfo(browserPath).fileName();
    for (const QString& name : {program, QStringLiteral("%1-browser").arg(program)}) {
        const QString file =
            QStandardPaths::locate(QStandardPaths::ApplicationsLocation, name + QStringLiteral(".desktop"));
        QFile entry(file);
        if (file.isEmpty() || !entry.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : entry.readAll().split('\n')) {
            if (line.startsWith("Icon="))
                return QString::fromUtf8(line.mid(5)).trimmed();
        }
    }
    return program;
}

} // namespace

GuardedLaunchers::GuardedLaunchers(QString folder, QString program)
    : m_folder(std::move(folder))
    , m_program(std::move(program))
{}

QString GuardedLaunchers::standardFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications");
}

QByteArray GuardedLaunchers::entry(const QString& browserPath, const QString& name, const QString& icon) const
{
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nVersion=1.4\n");
    text += QStringLiteral("Name=%1 (guarded)\n").arg(name);
    text += QStringLiteral("Comment=%1 on your own profile, its popups blocked by Tarnwick\n").arg(name);
    text += QStringLiteral("Exec=%1 %2 %3\n")
                .arg(execArgument(m_program), execArgument(QStringLiteral("--launch=") + browserPath),
                     QStringLiteral("--browser-profile=default"));
    text += QStringLiteral("Icon=%1\nTerminal=false\nCategories=Network;WebBrowser;\n").arg(icon);
    return text.toUtf8();
}

bool GuardedLaunchers::install(QStringList* written, QString* error) const
{
    const BrowserLauncher launcher;
    QSet<QString> seen;
    QStringList failures;
    for (const QString& name : BrowserLauncher::browserNames()) {
        const QString path = launcher.findBrowser(name, nullptr);
        if (path.isEmpty() || BrowserLauncher::ownProfileDir(path).isEmpty() ||
            seen.contains(BrowserLauncher::displayName(path)))
            continue;
        seen.insert(BrowserLauncher::displayName(path));
        if (!QDir().mkpath(m_folder)) {
            *error = QStringLiteral("could not create %1").arg(m_folder);
            return false;
        }
        QSaveFile file(QDir(m_folder).filePath(kPrefix + QFileInfo(path).fileName() + QStringLiteral(".desktop")));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(entry(path, BrowserLauncher::displayName(path), browserIcon(path))) < 0 || !file.commit()) {
            failures << QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
            continue;
        }
        written->append(file.fileName());
    }
    if (!failures.isEmpty() || written->isEmpty()) {
        *error = failures.isEmpty() ? QStringLiteral("no Chromium-family browser is installed (looked for %1)")
                                          .arg(BrowserLauncher::browserNames().join(QStringLiteral(", ")))
                                    : QStringLiteral("could not write %1").arg(failures.join(QStringLiteral("; ")));
        return false;
    }
    return true;
}

bool GuardedLaunchers::remove(QStringList* removed, QString* error) const
{
    const QDir dir(m_folder);
    for (const QString& name : dir.entryList({kPrefix + QStringLiteral("*.desktop")}, QDir::Files)) {
        QFile file(dir.filePath(name));
        if (!file.remove()) {
            *error = QStringLiteral("could not remove %1: %2").arg(file.fileName(), file.errorString());
            return false;
        }
        removed->append(file.fileName());
    }
    return true;
}
