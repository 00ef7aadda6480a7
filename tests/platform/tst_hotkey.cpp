// The Win+Z hot key: the null service, and on X11 the real one, pressed through XTEST (xdotool) on an Xvfb server the
// test starts itself, with the test's own xcb connection playing another program that holds keys.
#include "HotKeyService.h"
#include "NullHotKeyService.h"
#include "X11HotKeyService.h"
#include "XServerRig.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QTest>
#include <QWindow>

#include <array>
#include <vector>

namespace {

constexpr int kSuper = XCB_MOD_MASK_4;
constexpr int kNumLock = XCB_MOD_MASK_2; // where Xvfb's keymap puts it
constexpr int kCapsLock = XCB_MOD_MASK_LOCK;

// Counts a service's presses and the queued calls delivered to it; a press outside such a delivery came straight
// from the native event handling. Can give the key back just as a queued press is about to be delivered.
class PressLog : public QObject {
public:
    explicit PressLog(HotKeyService& service)
        : service_(service)
    {
        service.installEventFilter(this);
        connect(
            &service, &HotKeyService::pressed, this,
            [this] {
                ++count;
                notQueued += delivering_ ? 0 : 1;
            },
            Qt::DirectConnection);
    }

    int count = 0;
    int notQueued = 0;
    int deliveries = 0;
    bool removeOnDelivery = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        delivering_ = event->type() == QEvent::MetaCall;
        deliveries += delivering_ ? 1 : 0;
        if (delivering_ && removeOnDelivery)
            service_.remove();
        return false;
    }

private:
    HotKeyService& service_;
    bool delivering_ = false;
};

// Whatever the hot key leaves to the application.
class KeyWindow : public QWindow {
public:
    QString letters;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z)
            letters += QChar(event->key());
    }
};

// Keys typed as the user would, through XTEST.
bool type(const QStringList& keys)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), QStringList{QStringLiteral("key")} + keys);
    return xdotool.waitForFinished(10000) && xdotool.exitStatus() == QProcess::NormalExit && xdotool.exitCode() == 0;
}

void roundTrip(xcb_connection_t* c)
{
    XReply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

// What the service asked through Qt's connection is done before the test's own connection asks: the server does not
// order the requests of two clients.
void syncQt()
{
    roundTrip(qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection());
}

constexpr xcb_keysym_t kKeysymY = 0x79; // XK_y
constexpr xcb_keysym_t kKeysymZ = 0x7a; // XK_z

// The first key with the keysym in its first column.
xcb_keycode_t keycodeOf(xcb_connection_t* c, xcb_keysym_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int keys = setup->max_keycode - setup->min_keycode + 1;
    const XReply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, std::uint8_t(keys)), nullptr));
    for (int i = 0; map && i < keys; ++i)
        if (xcb_get_keyboard_mapping_keysyms(map.get())[i * map->keysyms_per_keycode] == keysym)
            return xcb_keycode_t(setup->min_keycode + i);
    return 0;
}

// A key typing other keysyms in its first two groups (unshifted, shifted, unshifted, shifted) for a scope.
class RemappedKey {
public:
    RemappedKey(xcb_connection_t* c, xcb_keycode_t key, std::array<xcb_keysym_t, 4> groups)
        : c_(c)
        , key_(key)
    {
        const XReply<xcb_get_keyboard_mapping_reply_t> map(
            xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, key, 1), nullptr));
        if (!map || map->keysyms_per_keycode < groups.size())
            qFatal("cannot remap key %d", key);
        const xcb_keysym_t* first = xcb_get_keyboard_mapping_keysyms(map.get());
        before_.assign(first, first + map->keysyms_per_keycode);
        std::vector<xcb_keysym_t> after = before_;
        std::copy(groups.begin(), groups.end(), after.begin());
        xcb_change_keyboard_mapping(c, 1, key, std::uint8_t(after.size()), after.data());
        roundTrip(c);
    }
    ~RemappedKey()
    {
        xcb_change_keyboard_mapping(c_, 1, key_, std::uint8_t(before_.size()), before_.data());
        roundTrip(c_);
    }
    RemappedKey(const RemappedKey&) = delete;
    RemappedKey& operator=(const RemappedKey&) = delete;

private:
    xcb_connection_t* c_;
    xcb_keycode_t key_;
    std::vector<xcb_keysym_t> before_;
};

// Another program holding Z with some modifiers, through the test's own connection.
class ForeignGrab {
public:
    ForeignGrab(const XServerRig& x, int modifiers)
        : x_(x)
        , modifiers_(std::uint16_t(modifiers))
        , key_(keycodeOf(x.connection(), kKeysymZ))
        , held_(!XReply<xcb_generic_error_t>(
              xcb_request_check(x.connection(), xcb_grab_key_checked(x.connection(), 0, x.root(), modifiers_, key_,
                                                                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC))))
    {}
    ~ForeignGrab()
    {
        if (!held_)
            return;
        xcb_ungrab_key(x_.connection(), key_, x_.root(), modifiers_);
        roundTrip(x_.connection());
    }
    ForeignGrab(const ForeignGrab&) = delete;
    ForeignGrab& operator=(const ForeignGrab&) = delete;

    bool held() const { return held_; }

private:
    const XServerRig& x_;
    std::uint16_t modifiers_;
    xcb_keycode_t key_;
    bool held_;
};

} // namespace

#define REQUIRE_X_AND_XDOTOOL()                                                                                        \
    do {                                                                                                               \
        REQUIRE_X_SERVER(x_);                                                                                          \
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())                                       \
            QSKIP("xdotool is not installed (tools/deps.sh test installs it)");                                        \
    } while (false)

class TestHotKey : public QObject {
    Q_OBJECT
public:
    explicit TestHotKey(const XServerRig& x)
        : x_(x)
    {}

private slots:
    void nullServiceIsUnavailableUnlessMadeAvailable()
    {
        QString reason;
        QVERIFY(!NullHotKeyService().install(&reason));
        QVERIFY(!reason.isEmpty());

        NullHotKeyService service(true);
        PressLog log(service);
        service.press(); // not installed: the key is not ours
        QVERIFY(service.install(&reason));
        service.press();
        QCOMPARE(log.count, 0);
        QCoreApplication::processEvents();
        QCOMPARE(log.count, 1);
        service.press();
        service.remove(); // drops the press already queued
        QCoreApplication::processEvents();
        QCOMPARE(log.count, 1);
        QCOMPARE(log.notQueued, 0);
    }

    void eachPressOnceAndNothingElse()
    {
        REQUIRE_X_AND_XDOTOOL();
        const auto service = createHotKeyService();
        QVERIFY(dynamic_cast<X11HotKeyService*>(service.get()));
        QString reason;
        QVERIFY2(service->install(&reason), qPrintable(reason));
        QVERIFY2(service->install(&reason), qPrintable(reason)); // again: already ours
        PressLog log(*service);
        KeyWindow focused;
        focused.show();
        focused.requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&focused));

        QVERIFY(type({"super+z"}));
        QTRY_COMPARE(log.count, 1);
        // What the other keys wrongly reported would come before the last press; they belong to the window.
        QVERIFY(type({"super+x", "z", "shift+super+z", "ctrl+super+z", "super+z"}));
        QTRY_COMPARE(log.count, 2);
        QTest::qWait(200);
        QCOMPARE(log.count, 2);
        QCOMPARE(log.notQueued, 0);
        QCOMPARE(focused.letters, QStringLiteral("XZZZ"));
    }

    void withNumLockAndCapsLock()
    {
        REQUIRE_X_AND_XDOTOOL();
        const auto service = createHotKeyService();
        QString reason;
        QVERIFY2(service->install(&reason), qPrintable(reason));
        PressLog log(*service);

        QVERIFY(type({"Num_Lock"}));
        auto numLockOff = qScopeGuard([] { type({"Num_Lock"}); });
        QCOMPARE(lockedModifiers(), kNumLock);
        QVERIFY(type({"super+z"}));
        QTRY_COMPARE(log.count, 1);
        QVERIFY(type({"Caps_Lock"}));
        const auto capsLockOff = qScopeGuard([] { type({"Caps_Lock"}); });
        QCOMPARE(lockedModifiers(), kNumLock | kCapsLock);
        QVERIFY(type({"super+z"}));
        QTRY_COMPARE(log.count, 2);
        numLockOff.dismiss();
        QVERIFY(type({"Num_Lock"}));
        QCOMPARE(lockedModifiers(), kCapsLock);
        QVERIFY(type({"super+z"}));
        QTRY_COMPARE(log.count, 3);
        QTest::qWait(200);
        QCOMPARE(log.count, 3);
    }

    void removeAndDestructorGiveTheKeyBack()
    {
        REQUIRE_X_AND_XDOTOOL();
        auto service = createHotKeyService();
        QString reason;
        QVERIFY2(service->install(&reason), qPrintable(reason));
        PressLog log(*service);
        log.removeOnDelivery = true; // a press queued when the key is given back is dropped
        QVERIFY(type({"super+z"}));
        QTRY_COMPARE(log.deliveries, 1);
        QVERIFY(type({"super+z"}));
        QTest::qWait(200);
        QCOMPARE(log.count, 0);
        service->remove(); // again: harmless
        syncQt();
        for (const int locks : {0, kNumLock, kCapsLock, kNumLock | kCapsLock})
            QVERIFY2(ForeignGrab(x_, kSuper | locks).held(), qPrintable(QString::number(locks)));

        QVERIFY2(service->install(&reason), qPrintable(reason));
        service.reset();
        syncQt();
        QVERIFY(ForeignGrab(x_, kSuper).held());
    }

    void heldByAnotherProgram()
    {
        REQUIRE_X_AND_XDOTOOL();
        QString reason;
        {
            const ForeignGrab other(x_, kSuper);
            QVERIFY(other.held());
            QVERIFY(!createHotKeyService()->install(&reason));
            QVERIFY2(reason.contains(QStringLiteral("another program"), Qt::CaseInsensitive), qPrintable(reason));
        }
        {
            // Refused at the last combination: those taken before it must be given back.
            const ForeignGrab other(x_, kSuper | kNumLock | kCapsLock);
            QVERIFY(other.held());
            QVERIFY(!createHotKeyService()->install(&reason));
            syncQt();
            QVERIFY(ForeignGrab(x_, kSuper).held());
        }
        QVERIFY2(createHotKeyService()->install(&reason), qPrintable(reason));
    }

    void zOfAnotherLayout()
    {
        REQUIRE_X_AND_XDOTOOL();
        xcb_connection_t* c = x_.connection();
        // By keycode: xdotool would pick the first key that types z in any group.
        const QString superY = QStringLiteral("super+%1").arg(keycodeOf(c, kKeysymY));
        const QString superZ = QStringLiteral("super+%1").arg(keycodeOf(c, kKeysymZ));
        for (const bool latinFirst : {true, false}) {
            // German second: the y key types z too (y Y z Z), but Win+Y is not the hot key. Russian first (я Я z Z):
            // Z of English.
            const RemappedKey remapped = latinFirst
                                             ? RemappedKey(c, keycodeOf(c, kKeysymY), {0x79, 0x59, 0x7a, 0x5a})
                                             : RemappedKey(c, keycodeOf(c, kKeysymZ), {0x6d1, 0x6f1, 0x7a, 0x5a});
            const auto service = createHotKeyService();
            QString reason;
            QVERIFY2(service->install(&reason), qPrintable(reason));
            PressLog log(*service);
            QVERIFY(type({superY, superZ}));
            QTRY_COMPARE(log.count, 1);
            QTest::qWait(200);
            QCOMPARE(log.count, 1);
        }
    }

private:
    // The lock modifiers on now, from the server's keyboard state.
    int lockedModifiers() const
    {
        const XReply<xcb_query_pointer_reply_t> reply(
            xcb_query_pointer_reply(x_.connection(), xcb_query_pointer(x_.connection(), x_.root()), nullptr));
        return reply ? reply->mask & (kNumLock | kCapsLock) : -1;
    }

    const XServerRig& x_;
};

int main(int argc, char** argv)
{
    // No window manager: grabs on the root window need none, and it could hold keys of its own.
    XServerRig x(XServerRig::WindowManager::None);
    x.useForQt();
    QGuiApplication app(argc, argv);
    TestHotKey test(x);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hotkey.moc"
