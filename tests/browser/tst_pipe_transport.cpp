// The NUL-framed pipe transport and the child process it owns, against sockets and small shell
// scripts standing in for the browser.
#include "PipeTransport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A transport over two socket pairs; the test holds the browser's ends.
struct Rig {
    UniqueFd commands; // reads what the transport sends
    UniqueFd messages; // writes what the transport receives
    std::unique_ptr<PipeTransport> transport;
    Rig()
    {
        int command[2], message[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, command) != 0 ||
            ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, message) != 0)
            qFatal("socketpair failed");
        commands.reset(command[1]);
        messages.reset(message[1]);
        ::fcntl(commands.get(), F_SETFL, O_NONBLOCK);
        transport = std::make_unique<PipeTransport>(UniqueFd(command[0]), UniqueFd(message[0]));
    }
    void write(const QByteArray& bytes) const
    {
        QCOMPARE(::write(messages.get(), bytes.data(), bytes.size()), bytes.size());
    }
};

// Runs the event loop until done() holds; false after 20 s.
template <typename Done> bool pumpUntil(Done done)
{
    const QDeadlineTimer deadline(20000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Neither running nor waiting to be reaped by us (an orphan may linger as a zombie of init).
bool isGone(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (::kill(pid, 0) != 0 || !stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}

std::unique_ptr<PipeTransport> launchShell(const QString& script)
{
    QString error;
    auto transport = PipeTransport::launch("/bin/sh", {"-c", script}, true, &error);
    if (!transport)
        qWarning("%s", qPrintable(error));
    return transport;
}

} // namespace

class TestPipeTransport : public QObject {
    Q_OBJECT

private slots:
    void framesMessagesBothWays()
    {
        Rig rig;
        QSignalSpy received(rig.transport.get(), &CdpTransport::messageReceived);
        rig.write(QByteArray("{\"a\":1}\0{\"b\"", 12));
        QTRY_COMPARE(received.size(), 1);
        rig.write(QByteArray(":2}\0\0{\"c\":3}\0{\"d", 16)); // an empty message is skipped, {"d waits
        QTRY_COMPARE(received.size(), 3);
        QCOMPARE(received.at(1).at(0).toByteArray(), QByteArray("{\"b\":2}"));
        QCOMPARE(received.at(2).at(0).toByteArray(), QByteArray("{\"c\":3}"));

        // Far more than a socket buffer holds while nobody reads: sendMessage queues instead of blocking.
        QByteArray expected;
        for (int i = 0; i < 64; ++i) {
            const QByteArray message = QByteArray::number(i) + QByteArray(128 * 1024, char('a' + i % 26));
            rig.transport->sendMessage(message);
            expected += message + '\0';
        }
        QVERIFY(rig.transport->pendingWriteBytes() > 0);
        QByteArray got;
        char chunk[65536];
        QVERIFY(pumpUntil([&] {
            for (ssize_t n; (n = ::read(rig.commands.get(), chunk, sizeof chunk)) > 0;)
                got.append(chunk, n);
            return got.size() >= expected.size();
        }));
        QVERIFY(got == expected);
        QCOMPARE(received.size(), 3);
    }

    void brokenPipeClosesOnceWithoutSigpipe()
    {
        Rig rig;
        QSignalSpy closed(rig.transport.get(), &CdpTransport::closed);
        rig.commands.reset();
        rig.transport->sendMessage("{\"id\":1}"); // would raise SIGPIPE and end this test
        QCOMPARE(closed.size(), 0);               // reported from the event loop, not inside sendMessage()
        QTRY_COMPARE(closed.size(), 1);
        QVERIFY(closed.at(0).at(0).toString().contains("could not write"));
        rig.messages.reset();
        QTest::qWait(30);
        QCOMPARE(closed.size(), 1);
    }

    void childGetsFds3And4AndNothingElse()
    {
        // A descriptor of ours without close-on-exec must still not reach the browser.
        const UniqueFd leaky(::dup2(STDIN_FILENO, 77));
        QVERIFY(leaky.isValid());
        // Lists the shell's open descriptors (the glob's own is closed by the time [ -e ] runs), then echoes.
        auto transport = launchShell("cd /proc/$$/fd && for f in *; do [ -e \"$f\" ] && printf '%s ' \"$f\" >&4; done; "
                                     "readlink 0 >&4; printf '\\0' >&4; exec cat <&3 >&4");
        QVERIFY(transport);
        QSignalSpy received(transport.get(), &CdpTransport::messageReceived);
        transport->sendMessage("{\"echo\":1}");
        QTRY_COMPARE(received.size(), 2);
        QCOMPARE(received.at(0).at(0).toByteArray(), QByteArray("0 1 2 3 4 /dev/null\n"));
        QCOMPARE(received.at(1).at(0).toByteArray(), QByteArray("{\"echo\":1}"));
    }

    void droppingTheTransportEndsAStubbornChildAndItsGroup()
    {
        // Ignores SIGTERM and the closed pipe and leaves a helper running, as a hung browser might.
        auto transport = launchShell("trap '' TERM; sleep 30 & printf '%s\\0' $! >&4; while :; do sleep 1; done");
        QVERIFY(transport);
        transport->process()->setTerminateGrace(100ms);
        const pid_t pid = transport->process()->pid();
        QSignalSpy received(transport.get(), &CdpTransport::messageReceived);
        QTRY_COMPARE(received.size(), 1);
        const pid_t helper = received.at(0).at(0).toByteArray().toInt();
        QVERIFY(helper > 0 && !isGone(helper));

        transport.reset();
        QVERIFY(::kill(pid, 0) == -1 && errno == ESRCH); // reaped before the destructor returned
        QTRY_VERIFY(isGone(helper));
    }
};

QTEST_GUILESS_MAIN(TestPipeTransport)
#include "tst_pipe_transport.moc"
