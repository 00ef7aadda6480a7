// Always on top: the null placement, and on X11 what a real EWMH window manager (openbox, on an Xvfb server the
// test starts itself) records for our windows and for another client's, read through an xcb connection of the
// test's own.
#include "NullWindowPlacement.h"
#include "WindowPlacement.h"
#include "X11WindowPlacement.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;
struct Disconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

// A program run for the test's lifetime, stopped when it goes out of scope.
class Child {
public:
    Child() = default;
    ~Child()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    QProcess& process() { return process_; }

private:
    QProcess process_;
};

// An X server on a free display, managed by openbox, and a connection of the test's own to look at it. Stopped in
// the reverse order: connection, window manager, server.
class XSession {
public:
    XSession()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (xvfb.isEmpty() || openbox.isEmpty()) {
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

    bool installed() const { return installed_; }
    const QString& error() const { return error_; }
    const QString& display() const { return display_; }
    xcb_connection_t* connection() const { return connection_.get(); }
    xcb_window_t root() const { return root_; }

    xcb_atom_t atom(const char* name) const
    {
        const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection(), xcb_intern_atom(connection(), 0, quint16(qstrlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    // A property of 32-bit items, of any type.
    QList<quint32> property(xcb_window_t window, const char* name) const
    {
        const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection(), xcb_get_property(connection(), 0, window, atom(name), XCB_ATOM_ANY, 0, 1024), nullptr));
        if (!reply || reply->format != 32)
            return {};
        const auto* first = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
        return QList<quint32>(first, first + reply->value_len);
    }

    bool hasState(xcb_window_t window, const char* state) const
    {
        return property(window, "_NET_WM_STATE").contains(atom(state));
    }

    // Managed and on screen: ICCCM NormalState, and mapped inside the window manager's frame.
    bool isShown(xcb_window_t window) const
    {
        const Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection(), xcb_get_window_attributes(connection(), window), nullptr));
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
               property(window, "WM_STATE").value(0) == kNormalState;
    }

    // The window's place on the root window and its size.
    QRect geometry(xcb_window_t window) const
    {
        const auto geometryCookie = xcb_get_geometry(connection(), window);
        const auto placeCookie = xcb_translate_coordinates(connection(), window, root_, 0, 0);
        const Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(connection(), geometryCookie, nullptr));
        const Reply<xcb_translate_coordinates_reply_t> place(
            xcb_translate_coordinates_reply(connection(), placeCookie, nullptr));
        return geometry && place ? QRect(place->dst_x, place->dst_y, geometry->width, geometry->height) : QRect();
    }

    // Bottom to top, as the window manager stacks its clients.
    qsizetype stackingIndex(xcb_window_t window) const
    {
        return property(root_, "_NET_CLIENT_LIST_STACKING").indexOf(window);
    }

private:
    static constexpr quint32 kNormalState = 1;

    Child server_;
    Child wm_;
    std::unique_ptr<xcb_connection_t, Disconnect> connection_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    bool installed_ = false;
    QString error_;
    QString display_;
};

// A window of another client: the placement can only reach it through the window manager.
class ForeignWindow {
public:
    ForeignWindow(const XSession& x, const QRect& at)
        : x_(x)
        , id_(xcb_generate_id(x.connection()))
    {
        xcb_create_window(x.connection(), XCB_COPY_FROM_PARENT, id_, x.root(), qint16(at.x()), qint16(at.y()),
                          quint16(at.width()), quint16(at.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        // A round trip, so that the window exists before another connection (Qt's) asks about it.
        Reply<xcb_get_input_focus_reply_t>(
            xcb_get_input_focus_reply(x.connection(), xcb_get_input_focus(x.connection()), nullptr));
    }
    ~ForeignWindow()
    {
        xcb_destroy_window(x_.connection(), id_);
        xcb_flush(x_.connection());
    }
    ForeignWindow(const ForeignWindow&) = delete;
    ForeignWindow& operator=(const ForeignWindow&) = delete;

    void map()
    {
        xcb_map_window(x_.connection(), id_);
        xcb_flush(x_.connection());
    }
    WId id() const { return id_; }

private:
    const XSession& x_;
    xcb_window_t id_;
};

// A top-level widget with its native window created, not shown.
std::unique_ptr<QWidget> createdWidget(const QRect& at)
{
    auto widget = std::make_unique<QWidget>();
    widget->setGeometry(at);
    widget->winId();
    return widget;
}

} // namespace

// QSKIP only when the programs are missing; a session that fails to start is a failure.
#define REQUIRE_X_SESSION()                                                                                            \
    do {                                                                                                               \
        if (!x_.installed())                                                                                           \
            QSKIP(qPrintable(x_.error()));                                                                             \
        QVERIFY2(x_.error().isEmpty(), qPrintable(x_.error()));                                                        \
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));                                              \
    } while (false)

class TestWindowPlacement : public QObject {
    Q_OBJECT
public:
    explicit TestWindowPlacement(const XSession& x)
        : x_(x)
    {}

private slots:
    void nullPlacementRemembersTheLastBandPerWindow()
    {
        NullWindowPlacement placement;
        placement.setTopmost(7, true);
        placement.setTopmost(9, true);
        placement.setTopmost(7, false);
        QVERIFY(!placement.isTopmost(7));
        QVERIFY(placement.isTopmost(9));
        QVERIFY(!placement.isTopmost(8));
        QCOMPARE(placement.calls().size(), 3);
    }

    void mappedWindowGoesAboveAndBackInPlace()
    {
        REQUIRE_X_SESSION();
        const auto placement = createWindowPlacement();
        QVERIFY(dynamic_cast<X11WindowPlacement*>(placement.get()));
        const auto window = createdWidget({100, 100, 300, 200});
        const auto later = createdWidget({150, 150, 300, 200}); // shown after, so stacked above at first
        const auto id = xcb_window_t(window->winId());
        window->show();
        QTRY_VERIFY(x_.isShown(id));
        later->show();
        QTRY_VERIFY(x_.isShown(xcb_window_t(later->winId())));
        QTRY_VERIFY(x_.stackingIndex(id) < x_.stackingIndex(xcb_window_t(later->winId())));
        const QRect before = x_.geometry(id);

        placement->setTopmost(window->winId(), true);
        QTRY_VERIFY(x_.hasState(id, "_NET_WM_STATE_ABOVE"));
        QTRY_VERIFY(x_.stackingIndex(id) > x_.stackingIndex(xcb_window_t(later->winId())));
        QCOMPARE(x_.geometry(id), before);

        placement->setTopmost(window->winId(), false);
        QTRY_VERIFY(!x_.hasState(id, "_NET_WM_STATE_ABOVE"));
        QCOMPARE(x_.geometry(id), before);
    }

    void bandSetBeforeShowHolds()
    {
        REQUIRE_X_SESSION();
        const auto placement = createWindowPlacement();
        const auto topmost = createdWidget({100, 100, 300, 200});
        const auto normal = createdWidget({200, 200, 300, 200});
        placement->setTopmost(topmost->winId(), true);
        placement->setTopmost(normal->winId(), true);
        placement->setTopmost(normal->winId(), false);
        topmost->show();
        normal->show();
        QTRY_VERIFY(x_.isShown(xcb_window_t(topmost->winId())));
        QTRY_VERIFY(x_.isShown(xcb_window_t(normal->winId())));
        QTRY_VERIFY(x_.hasState(xcb_window_t(topmost->winId()), "_NET_WM_STATE_ABOVE"));
        QVERIFY(!x_.hasState(xcb_window_t(normal->winId()), "_NET_WM_STATE_ABOVE"));
        QVERIFY(!x_.hasState(xcb_window_t(normal->winId()), "_NET_WM_STATE_STAYS_ON_TOP"));
    }

    // The window manager drops the state of a hidden window; the band must come back with the same window.
    void hideAndShowKeepTheBand()
    {
        REQUIRE_X_SESSION();
        const auto placement = createWindowPlacement();
        const auto window = createdWidget({100, 100, 300, 200});
        const auto id = xcb_window_t(window->winId());
        window->show();
        QTRY_VERIFY(x_.isShown(id));
        placement->setTopmost(window->winId(), true);
        QTRY_VERIFY(x_.hasState(id, "_NET_WM_STATE_ABOVE"));

        window->hide();
        QTRY_VERIFY(!x_.isShown(id));
        window->show();
        QTRY_VERIFY(x_.isShown(id));
        QCOMPARE(xcb_window_t(window->windowHandle()->winId()), id); // not re-created under a new id
        QTRY_VERIFY(x_.hasState(id, "_NET_WM_STATE_ABOVE"));

        placement->setTopmost(window->winId(), false);
        QTRY_VERIFY(!x_.hasState(id, "_NET_WM_STATE_ABOVE"));
        window->hide();
        QTRY_VERIFY(!x_.isShown(id));
        window->show();
        QTRY_VERIFY(x_.isShown(id));
        QVERIFY(!x_.hasState(id, "_NET_WM_STATE_ABOVE"));
    }

    // No Qt flag to lean on: only the EWMH request and the property reach this window.
    void otherClientsWindow()
    {
        REQUIRE_X_SESSION();
        const auto placement = createWindowPlacement();
        ForeignWindow mapped(x_, {100, 100, 300, 200});
        mapped.map();
        QTRY_VERIFY(x_.isShown(xcb_window_t(mapped.id())));
        const QRect before = x_.geometry(xcb_window_t(mapped.id()));
        placement->setTopmost(mapped.id(), true);
        QTRY_VERIFY(x_.hasState(xcb_window_t(mapped.id()), "_NET_WM_STATE_ABOVE"));
        QCOMPARE(x_.geometry(xcb_window_t(mapped.id())), before);
        placement->setTopmost(mapped.id(), false);
        QTRY_VERIFY(!x_.hasState(xcb_window_t(mapped.id()), "_NET_WM_STATE_ABOVE"));

        ForeignWindow unmapped(x_, {200, 200, 300, 200});
        placement->setTopmost(unmapped.id(), true);
        // Written through Qt's connection: the map, through ours, must not overtake it.
        QTRY_VERIFY(x_.hasState(xcb_window_t(unmapped.id()), "_NET_WM_STATE_ABOVE"));
        unmapped.map();
        QTRY_VERIFY(x_.isShown(xcb_window_t(unmapped.id())));
        QTRY_VERIFY(x_.hasState(xcb_window_t(unmapped.id()), "_NET_WM_STATE_ABOVE"));

        placement->setTopmost(0x7ffffff, true); // no such window: ignored
    }

private:
    const XSession& x_;
};

int main(int argc, char** argv)
{
    // Started before the application, which connects to it, and stopped after.
    XSession session;
    if (session.error().isEmpty()) {
        qputenv("DISPLAY", session.display().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    TestWindowPlacement test(session);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_placement.moc"
