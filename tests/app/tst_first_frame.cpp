// What a user sees of the main window from the moment it is mapped: a screenshot sequence on a real X server
// (Xvfb, no window manager, so nothing else draws a frame around it) must never show the window unpainted.
#include "TestFiles.h"
#include "XServerRig.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>

namespace {

// The window's contents as the X server shows them now, 32 bits a pixel; empty if unreadable.
QList<quint32> screenshot(xcb_connection_t* connection, xcb_window_t window)
{
    const XReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
    if (!geometry || geometry->width == 0 || geometry->height == 0)
        return {};
    const XReply<xcb_get_image_reply_t> image(xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, geometry->width, geometry->height, ~0u),
        nullptr));
    if (!image || image->depth != 24)
        return {};
    const auto* pixels = reinterpret_cast<const quint32*>(xcb_get_image_data(image.get()));
    return QList<quint32>(pixels, pixels + xcb_get_image_data_length(image.get()) / 4);
}

// The share of pure black pixels: an X window its program has not painted yet shows the black of the screen
// beneath it here.
double blackShare(const QList<quint32>& frame)
{
    const auto black = std::count_if(frame.cbegin(), frame.cend(), [](quint32 p) { return (p & 0xffffff) == 0; });
    return frame.isEmpty() ? 1 : double(black) / double(frame.size());
}

// The share of pixels that differ between two frames of one size.
double differentShare(const QList<quint32>& a, const QList<quint32>& b)
{
    if (a.size() != b.size() || a.isEmpty())
        return 1;
    qsizetype different = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        different += ((a[i] ^ b[i]) & 0xffffff) != 0 ? 1 : 0;
    return double(different) / double(a.size());
}

QByteArray windowName(XServerRig& x, xcb_window_t window)
{
    const XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        x.connection(), xcb_get_property(x.connection(), 0, window, x.atom("_NET_WM_NAME"), XCB_ATOM_ANY, 0, 256),
        nullptr));
    return reply ? QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                              xcb_get_property_value_length(reply.get()))
                 : QByteArray();
}

} // namespace

class TestFirstFrame : public QObject {
    Q_OBJECT
private slots:
    void mainWindowIsPaintedFromItsFirstFrame();
};

void TestFirstFrame::mainWindowIsPaintedFromItsFirstFrame()
{
    XServerRig x(XServerRig::WindowManager::None);
    if (!x.installed())
        QSKIP("Xvfb is not installed (tools/deps.sh test installs it)");
    QVERIFY2(x.error().isEmpty(), qPrintable(x.error()));
    const quint32 events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x.connection(), x.root(), XCB_CW_EVENT_MASK, &events);
    xcb_flush(x.connection());

    QTemporaryDir home;
    QVERIFY(writeBytes(home.filePath("config/Tarnwick/Tarnwick.ini"), "[Settings]\nshowHelp=0\n"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", x.display());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("QT_QUICK_BACKEND", "software");
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_CACHE_HOME", home.filePath("cache"));
    TestProcess tarnwick;
    tarnwick.process().setProcessEnvironment(env);
    tarnwick.process().start(QStringLiteral(TARNWICK_EXECUTABLE), {});
    QVERIFY(tarnwick.process().waitForStarted());

    // Caught as soon as the server says it is mapped, then looked at every few milliseconds for two seconds.
    xcb_window_t main = 0;
    QElapsedTimer clock;
    clock.start();
    while (main == 0 && clock.elapsed() < 60000 && tarnwick.process().state() == QProcess::Running) {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(x.connection())) {
            const XReply<xcb_generic_event_t> event(raw);
            if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY)
                continue;
            const xcb_window_t mapped = reinterpret_cast<xcb_map_notify_event_t*>(event.get())->window;
            if (windowName(x, mapped) == "Tarnwick by Hollin") {
                main = mapped;
                break;
            }
        }
        if (main == 0)
            QTest::qWait(1);
    }
    QVERIFY2(main != 0, "the main window was never mapped");
    QList<QList<quint32>> frames;
    clock.restart();
    while (clock.elapsed() < 2000) {
        if (QList<quint32> frame = screenshot(x.connection(), main); !frame.isEmpty())
            frames.append(std::move(frame));
    }
    QVERIFY(frames.size() > 10);
    // Its text is black, a small part of it; a window not yet painted is black all over, or where it grew.
    for (qsizetype i = 0; i < frames.size(); ++i)
        QVERIFY2(blackShare(frames[i]) < 0.2, qPrintable(QStringLiteral("frame %1 of %2 is %3 % black")
                                                             .arg(i + 1)
                                                             .arg(frames.size())
                                                             .arg(blackShare(frames[i]) * 100, 0, 'f', 1)));
    // Laid out from the first frame: it differs from the last only where content arrives later (the banner's
    // page, the status texts).
    QVERIFY2(differentShare(frames.first(), frames.last()) < 0.25,
             qPrintable(QStringLiteral("the first frame differs from the last in %1 % of its pixels")
                            .arg(differentShare(frames.first(), frames.last()) * 100, 0, 'f', 1)));
    qInfo("%lld frames; the first differs from the last in %.1f %% of its pixels", frames.size(),
          differentShare(frames.first(), frames.last()) * 100);

    ::kill(pid_t(tarnwick.process().processId()), SIGTERM);
    QVERIFY(tarnwick.process().waitForFinished(30000));
}

QTEST_GUILESS_MAIN(TestFirstFrame)
#include "tst_first_frame.moc"
