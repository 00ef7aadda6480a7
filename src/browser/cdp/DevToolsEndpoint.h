#pragma once

#include <QString>
#include <QUrl>

// Where a running browser's DevTools listen, and the rule that only this machine's loopback counts:
// the program never talks to a browser on another host.
class DevToolsEndpoint {
public:
    // True for literal addresses in 127.0.0.0/8, ::1 (also IPv4-mapped) and the name "localhost".
    static bool isLoopbackHost(const QString& host);

    // Empty when url may be contacted, else the message that refuses it, naming the address.
    static QString refusal(const QUrl& url);

    // Reads <profileDir>/DevToolsActivePort (line 1 the port, line 2 the browser's path) into
    // "ws://127.0.0.1:PORT/PATH". Returns an empty URL and sets error when the file is missing or malformed.
    static QUrl fromActivePortFile(const QString& profileDir, QString* error);

    // Parses the text of such a file; error as above.
    static QUrl fromActivePortText(const QByteArray& text, QString* error);
};
