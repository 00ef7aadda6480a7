#pragma once

// An X server of the test's own for tests that run Qt on xcb: Xvfb on a free display, managed by openbox if asked,
// with an xcb connection of the test's own to look at it or to play another client. Start it before the
// application, which connects to it, and stop it after.

#include "TestProcess.h"
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QList>

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

struct XFreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
// An xcb reply or error, freed by its owner.
template <typename T> using XReply = std::unique_ptr<T, XFreeDeleter>;

// Stopped in the reverse order: connection, window manager, server.
class XServerRig {
public:
    enum class WindowManager { None, Openbox };

    explicit XServerRig(WindowManager wm)
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (xvfb.isEmpty() || (wm == WindowManager::Openbox && openbox.isEmpty())) {
            error_ = QStringLiteral("Xvfb or openbox is not installed (tools/deps.sh test installs them)");
            return;
        }
        installed_ = true;
        // -displayfd: the server takes the first free display and writes its number to our end of stdout.
        server_.process().start(xvfb, {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        QByteArray number;
        const QDeadlineTimer deadline(10000);
        while (!number.endsWith('\n') && server_.process().waitForReadyRead(int(deadline.remainingTime())))
            number += server_.process().readAllStandardOutput();
        if (!number.endsWith('\n')) {
            error_ = QStringLiteral("Xvfb did not start: ") + server_.process().readAllStandardError();
            return;
        }
        display_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());

        connection_.reset(xcb_connect(qPrintable(display_), nullptr));
        if (xcb_connection_has_error(connection_.get())) {
            error_ = QStringLiteral("cannot connect to ") + display_;
            return;
        }
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_.get())).data->root;
        if (wm == WindowManager::Openbox)
            startOpenbox(openbox);
    }

    bool installed() const { return installed_; }
    const QString& error() const { return error_; }
    const QString& display() const { return display_; }
    xcb_connection_t* connection() const { return connection_.get(); }
    xcb_window_t root() const { return root_; }

    // Sends the QGuiApplication about to be made, and the programs the test runs, to this server.
    void useForQt() const
    {
        if (!error_.isEmpty())
            return;
        qputenv("DISPLAY", display_.toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }

    xcb_atom_t atom(const char* name) const
    {
        const XReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection(), xcb_intern_atom(connection(), 0, quint16(qstrlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    // A property of 32-bit items, of any type.
    QList<quint32> property(xcb_window_t window, const char* name) const
    {
        const XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection(), xcb_get_property(connection(), 0, window, atom(name), XCB_ATOM_ANY, 0, 1024), nullptr));
        if (!reply || reply->format != 32)
            return {};
        const auto* first = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
        return QList<quint32>(first, first + reply->value_len);
    }

    // Managed and on screen: ICCCM NormalState, and mapped inside the window manager's frame.
    bool isShown(xcb_window_t window) const
    {
        const XReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection(), xcb_get_window_attributes(connection(), window), nullptr));
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
               property(window, "WM_STATE").value(0) == kNormalState;
    }

private:
    static constexpr quint32 kNormalState = 1;

    struct Disconnect {
        void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
    };

    void startOpenbox(const QString& openbox)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display_);
        wm_.process().setProcessEnvironment(env);
        wm_.process().start(openbox, {"--sm-disable"});
        // Ready once it manages a window: it names itself on the root window well before its event loop runs, and a
        // window mapped in between may be dropped. Qt must not start before either: it asks what the WM supports.
        xcb_connection_t* c = connection_.get();
        const xcb_window_t probe = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, root_, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_map_window(c, probe);
        xcb_flush(c);
        const bool managed = QTest::qWaitFor([&] { return isShown(probe); }, 10000);
        xcb_destroy_window(c, probe);
        xcb_flush(c);
        if (!managed)
            error_ = QStringLiteral("openbox did not start: ") + wm_.process().readAllStandardError();
    }

    TestProcess server_;
    TestProcess wm_;
    std::unique_ptr<xcb_connection_t, Disconnect> connection_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    bool installed_ = false;
    QString error_;
    QString display_;
};

// QSKIP only when the programs are missing; a server that fails to start is a failure.
#define REQUIRE_X_SERVER(rig)                                                                                          \
    do {                                                                                                               \
        if (!(rig).installed())                                                                                        \
            QSKIP(qPrintable((rig).error()));                                                                          \
        QVERIFY2((rig).error().isEmpty(), qPrintable((rig).error()));                                                  \
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));                                              \
    } while (false)
