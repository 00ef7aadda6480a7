#include "PipeTransport.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

constexpr int kBrowserCommandFd = 3;
constexpr int kBrowserMessageFd = 4;
// How long a pipe that broke waits for the process to exit, so that the reason can name the exit.
constexpr int kExitWaitMs = 1000;

} // namespace

std::unique_ptr<PipeTransport> PipeTransport::launch(const QString& program, const QStringList& arguments,
                                                     bool discardOutput, QString* error)
{
    // Stream sockets rather than pipes: send() with MSG_NOSIGNAL cannot raise SIGPIPE when the
    // browser dies, and the browser reads and writes them just like pipes.
    int command[2];
    int message[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, command) != 0) {
        if (error)
            *error = QStringLiteral("could not start %1: %2").arg(program, errnoText(errno));
        return nullptr;
    }
    UniqueFd commandOurs(command[0]);
    UniqueFd commandTheirs(command[1]);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, message) != 0) {
        if (error)
            *error = QStringLiteral("could not start %1: %2").arg(program, errnoText(errno));
        return nullptr;
    }
    UniqueFd messageOurs(message[0]);
    UniqueFd messageTheirs(message[1]);

    ChildProcess::Options options;
    options.fds = {{commandTheirs.get(), kBrowserCommandFd}, {messageTheirs.get(), kBrowserMessageFd}};
    options.discardOutput = discardOutput;
    auto process = ChildProcess::start(program, arguments, options, error);
    if (!process)
        return nullptr;
    return std::make_unique<PipeTransport>(std::move(commandOurs), std::move(messageOurs), std::move(process));
}

PipeTransport::PipeTransport(UniqueFd commandFd, UniqueFd messageFd, std::unique_ptr<ChildProcess> process,
                             QObject* parent)
    : CdpTransport(parent)
    , m_commandFd(std::move(commandFd))
    , m_messageFd(std::move(messageFd))
    , m_process(std::move(process))
{
    for (const UniqueFd* fd : {&m_commandFd, &m_messageFd}) {
        const int flags = ::fcntl(fd->get(), F_GETFL);
        if (flags >= 0)
            ::fcntl(fd->get(), F_SETFL, flags | O_NONBLOCK);
    }
    m_readNotifier = std::make_unique<QSocketNotifier>(m_messageFd.get(), QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &PipeTransport::onReadable);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_commandFd.get(), QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &PipeTransport::onWritable);
    m_exitWait = std::make_unique<QTimer>();
    m_exitWait->setSingleShot(true);
    connect(m_exitWait.get(), &QTimer::timeout, this, [this] {
        if (m_process && !m_process->isRunning())
            closeWith(QStringLiteral("the browser %1").arg(m_process->exitDescription()));
        else
            closeWith(m_brokenReason);
    });
    if (m_process)
        connect(m_process.get(), &ChildProcess::finished, this, &PipeTransport::onProcessFinished);
}

PipeTransport::~PipeTransport()
{
    m_readNotifier.reset();
    m_writeNotifier.reset();
    // The browser ends by itself when its command pipe closes; terminate() makes sure.
    m_commandFd.reset();
    m_messageFd.reset();
    if (m_process) {
        m_process->disconnect(this);
        m_process.reset();
    }
}

qsizetype PipeTransport::pendingWriteBytes() const
{
    qsizetype total = -m_writeOffset;
    for (const QByteArray& message : m_writeQueue)
        total += message.size();
    return total;
}

void PipeTransport::sendMessage(const QByteArray& message)
{
    // A NUL inside would split the message in two for the browser (JSON texts escape it as \u0000).
    if (m_closed || !m_brokenReason.isEmpty() || message.contains('\0'))
        return;
    QByteArray framed;
    framed.reserve(message.size() + 1);
    framed.append(message).append('\0');
    m_writeQueue.push_back(std::move(framed));
    if (m_writeQueue.size() == 1)
        flush();
}

void PipeTransport::onWritable()
{
    flush();
}

void PipeTransport::flush()
{
    while (!m_writeQueue.empty()) {
        const QByteArray& front = m_writeQueue.front();
        const ssize_t written = ::send(m_commandFd.get(), front.constData() + m_writeOffset,
                                       static_cast<size_t>(front.size() - m_writeOffset), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                m_writeNotifier->setEnabled(true);
                return;
            }
            pipeBroken(QStringLiteral("could not write to the browser: %1").arg(errnoText(errno)));
            return;
        }
        m_writeOffset += written;
        if (m_writeOffset == front.size()) {
            m_writeQueue.pop_front();
            m_writeOffset = 0;
        }
    }
    m_writeNotifier->setEnabled(false);
}

void PipeTransport::onReadable()
{
    readAvailable();
    dispatch();
}

void PipeTransport::readAvailable()
{
    if (m_inputEnded)
        return;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(m_messageFd.get(), chunk, sizeof chunk);
        if (got > 0) {
            m_readBuffer.append(chunk, got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        m_inputEnded = true;
        m_readNotifier->setEnabled(false);
        m_brokenReason = got == 0 ? QStringLiteral("the browser closed the DevTools pipe")
                                  : QStringLiteral("could not read from the browser: %1").arg(errnoText(errno));
        return;
    }
}

void PipeTransport::dispatch()
{
    // A slot that spins an event loop could bring us back here: the outer pass delivers in order.
    if (m_dispatching || m_closed)
        return;
    m_dispatching = true;
    const QPointer<PipeTransport> self(this);
    for (;;) {
        const qsizetype end = m_readBuffer.indexOf('\0', std::max(m_readPos, m_scanPos));
        if (end < 0)
            break;
        const QByteArray message = m_readBuffer.sliced(m_readPos, end - m_readPos);
        m_readPos = end + 1;
        if (!message.isEmpty()) {
            emit messageReceived(message);
            if (!self)
                return;
            if (m_closed)
                break;
        }
    }
    m_readBuffer.remove(0, m_readPos);
    m_readPos = 0;
    m_scanPos = m_readBuffer.size();
    m_dispatching = false;
    if (m_closed)
        return;
    if (m_readBuffer.size() > kMaxMessageSize) {
        m_readBuffer.clear();
        m_scanPos = 0;
        closeWith(QStringLiteral("a message from the browser exceeded %1 bytes").arg(kMaxMessageSize));
        return;
    }
    if (m_inputEnded)
        pipeBroken(m_brokenReason);
}

void PipeTransport::pipeBroken(const QString& reason)
{
    if (m_closed)
        return;
    if (m_brokenReason.isEmpty())
        m_brokenReason = reason;
    m_writeQueue.clear();
    m_writeOffset = 0;
    m_writeNotifier->setEnabled(false);
    // Closed from the event loop, never inside sendMessage(). A process on its way out gets a moment,
    // so that its exit becomes the reason.
    if (!m_exitWait->isActive())
        m_exitWait->start(m_process && m_process->isRunning() ? kExitWaitMs : 0);
}

void PipeTransport::onProcessFinished(const QString& description)
{
    // Deliver what the browser wrote before it went.
    const QPointer<PipeTransport> self(this);
    readAvailable();
    dispatch();
    if (self)
        closeWith(QStringLiteral("the browser %1").arg(description));
}

void PipeTransport::closeWith(const QString& reason)
{
    if (m_closed)
        return;
    m_closed = true;
    m_exitWait->stop();
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    m_writeQueue.clear();
    m_writeOffset = 0;
    emit closed(reason);
}
