#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
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
    // What the running program made of a handed-over command line: the later start ends with this status,
    // saying message (when there is one) on its standard error.
    struct Answer {
        int status = 0;
        QString message;
    };
    using Handler = std::function<Answer(const QStringList& arguments)>;

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

    // Becomes the session's program, or hands arguments to the one running and waits for its answer.
    Claim claimOrHandOver(const QStringList& arguments, QString* error, Answer* answer);
    // Answers the command lines handed over, once claimed.
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // The program running on this channel, if any, without handing anything over.
    std::optional<Running> running() const;

private:
    void onNewConnection();
    void onReadable(QLocalSocket* socket);
    // Connected to a running program, its introduction read; null when nobody answers, with *reached
    // telling whether something listens at all.
    std::unique_ptr<QLocalSocket> connectToRunning(Running* running, bool* reached) const;

    QString m_path;
    QString m_dataFolder;
    std::unique_ptr<QLocalServer> m_server;
    Handler m_handler;
};
