#include "DevToolsEndpoint.h"

#include <QFile>
#include <QHostAddress>
#include <QList>

bool DevToolsEndpoint::isLoopbackHost(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    // Only literal addresses: any other name could resolve anywhere.
    QHostAddress address;
    if (!address.setAddress(host))
        return false;
    return address.isLoopback();
}

QString DevToolsEndpoint::refusal(const QUrl& url)
{
    const QString shown = url.toDisplayString();
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("not a DevTools address: \"%1\"").arg(shown);
    if (!isLoopbackHost(url.host()))
        return QStringLiteral("refusing DevTools endpoint %1: only loopback addresses (127.0.0.0/8, ::1, "
                              "localhost) are allowed")
            .arg(shown);
    return {};
}

QUrl DevToolsEndpoint::fromActivePortFile(const QString& profileDir, QString* error)
{
    QFile file(profileDir + QStringLiteral("/DevToolsActivePort"));
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("could not read %1: %2").arg(file.fileName(), file.errorString());
        return {};
    }
    // The file holds two short lines; anything longer is not one.
    const QByteArray text = file.read(4096);
    QString parseError;
    QUrl url = fromActivePortText(text, &parseError);
    if (url.isEmpty() && error)
        *error = QStringLiteral("%1: %2").arg(file.fileName(), parseError);
    return url;
}

QUrl DevToolsEndpoint::fromActivePortText(const QByteArray& text, QString* error)
{
    auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return QUrl();
    };
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 2)
        return fail(QStringLiteral("expected a port and a path on two lines"));
    bool ok = false;
    const int port = lines.at(0).trimmed().toInt(&ok);
    if (!ok || port <= 0 || port > 65535)
        return fail(QStringLiteral("not a port number: \"%1\"").arg(QString::fromUtf8(lines.at(0).trimmed())));
    const QString path = QString::fromUtf8(lines.at(1).trimmed());
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QLatin1Char('?')) || path.contains(QLatin1Char('#')))
        return fail(QStringLiteral("not a DevTools path: \"%1\"").arg(path));
    QUrl url;
    url.setScheme(QStringLiteral("ws"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(port);
    url.setPath(path);
    if (!url.isValid())
        return fail(QStringLiteral("not a DevTools path: \"%1\"").arg(path));
    return url;
}
