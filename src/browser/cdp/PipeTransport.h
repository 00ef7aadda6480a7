#pragma once

#include "CdpTransport.h"
#include "ChildProcess.h"
#include "UniqueFd.h"

#include <QByteArray>

#include <deque>
#include <memory>

class QSocketNotifier;
class QTimer;

// The DevTools pipe of a browser we start (--remote-debugging-pipe): its fd 3 takes commands, its
// fd 4 gives messages, each a JSON text ended by a NUL byte. Reads and writes never block; writes
// queue while the browser is slow to read. Owns the browser process: dropping the transport closes
// the pipe and ends the browser.
class PipeTransport : public CdpTransport {
    Q_OBJECT
public:
    // Larger messages from the browser end the connection instead of filling memory.
    static constexpr qsizetype kMaxMessageSize = qsizetype(256) * 1024 * 1024;

    // Starts program with the pipe on its fds 3 and 4. Returns null and sets error when it cannot.
    static std::unique_ptr<PipeTransport> launch(const QString& program, const QStringList& arguments,
                                                 bool discardOutput, QString* error);

    // Over stream sockets already connected to the browser; owns them and, when given, the process.
    PipeTransport(UniqueFd commandFd, UniqueFd messageFd, std::unique_ptr<ChildProcess> process = {},
                  QObject* parent = nullptr);
    ~PipeTransport() override;

    void sendMessage(const QByteArray& message) override;
    bool isClosed() const override { return m_closed; }

    // The browser process, null for a transport over bare sockets.
    ChildProcess* process() const { return m_process.get(); }
    // Bytes queued for the browser and not yet taken by it.
    qsizetype pendingWriteBytes() const;

private:
    void onReadable();
    void onWritable();
    void onProcessFinished(const QString& description);
    void readAvailable();
    void dispatch();
    void flush();
    void pipeBroken(const QString& reason);
    void closeWith(const QString& reason);

    UniqueFd m_commandFd;
    UniqueFd m_messageFd;
    std::unique_ptr<ChildProcess> m_process;
    // Declared after the descriptors so that they go first.
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    std::unique_ptr<QTimer> m_exitWait;

    QByteArray m_readBuffer;
    qsizetype m_readPos = 0; // start of the first message not yet delivered
    qsizetype m_scanPos = 0; // no NUL before this offset
    std::deque<QByteArray> m_writeQueue;
    qsizetype m_writeOffset = 0; // bytes of the front message already written
    bool m_inputEnded = false;
    bool m_dispatching = false;
    bool m_closed = false;
    QString m_brokenReason;
};
