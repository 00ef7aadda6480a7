// Always on top: the null placement, and on X11 what a real EWMH window manager (openbox, on an Xvfb server the
// test starts itself) records for our windows and for another client's, read through an xcb connection of the
// test's own.
#include "NullWindowPlacement.h"
#include "WindowPlacement.h"
#include "X11WindowPlacement.h"
#include "XServerRig.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>

#include <memory>

namespace {

// Openbox's record of the windows, read through the test's own connection.
class XSession : public XServerRig {
public:
    XSession()
        : XServerRig(WindowManager::Openbox)
    {}

    bool hasState(xcb_window_t window, const char* state) const
    {
        return property(window, "_NET_WM_STATE").contains(atom(state));
    }

    // The window's place on the root window and its size.
    QRect geometry(xcb_window_t window) const
    {
        const auto geometryCookie = xcb_get_geometry(connection(), window);
        const auto placeCookie = xcb_translate_coordinates(connection(), window, root(), 0, 0);
        const XReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(connection(), geometryCookie, nullptr));
        const XReply<xcb_translate_coordinates_reply_t> place(
            xcb_translate_coordinates_reply(connection(), placeCookie, nullptr));
        return geometry && place ? QRect(place->dst_x, place->dst_y, geometry->width, geometry->height) : QRect();
    }

    // Bottom to top, as the window manager stacks its clients.
    qsizetype stackingIndex(xcb_window_t window) const
    {
        return property(root(), "_NET_CLIENT_LIST_STACKING").indexOf(window);
    }
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
        XReply<xcb_get_input_focus_reply_t>(
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
        REQUIRE_X_SERVER(x_);
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
        REQUIRE_X_SERVER(x_);
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
        REQUIRE_X_SERVER(x_);
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
        REQUIRE_X_SERVER(x_);
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
    session.useForQt();
    QApplication app(argc, argv);
    TestWindowPlacement test(session);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_placement.moc"
