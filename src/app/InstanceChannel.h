#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

// The one desktop program of a user's session, reachable over a local socket in $XDG_RUNTIME_DIR that only
// the user can open. A later start hands its command line to the running program instead of starting a
// second tray icon, prompt and writer of the same files; a socket left behind by a program that crashed is
// taken over.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    // The running program, as it introduces itself to whoever connects.
    struct Running {
        qint64 pid = 0;
        QString dataFolder;
    };
    enum class Claim {
        Claimed,    // this process is the one program now
        HandedOver, // another one runs and has taken the arguments
        Failed,     // neither: *error says why
    };

    // The socket's path: $XDG_RUNTIME_DIR/<product>.socket (the temporary folder, by user id, without one).
    static QString defaultPath(const QString& product);

    // dataFolder is told to whoever connects.
    InstanceChannel(QString path, QString dataFolder, QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Becomes the session's program, or hands arguments to the one running and waits until it has them.
    Claim claimOrHandOver(const QStringList& arguments, QString* error);
    // The program running on this channel, if any, without handing anything over.
    std::optional<Running> running() const;

signals:
    // A later start's command line (its program name first), handed over.
    void argumentsReceived(const QStringList& arguments);

private:
    void onNewConnection();
    void onReadable(QLocalSocket* socket);
    // Connected to a running program, its introduction read; null when nobody answers, with *reached
    // telling whether something listens at all.
    std::unique_ptr<QLocalSocket> connectToRunning(Running* running, bool* reached) const;

    QString m_path;
    QString m_dataFolder;
    std::unique_ptr<QLocalServer> m_server;
};
