#include "X11HotKeyService.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

constexpr xcb_keysym_t kKeysymZ = 0x007a;       // XK_z
constexpr xcb_keysym_t kKeysymNumLock = 0xff7f; // XK_Num_Lock
constexpr std::uint16_t kSuper = XCB_MOD_MASK_4;
constexpr std::uint16_t kCapsLock = XCB_MOD_MASK_LOCK;
constexpr std::uint16_t kModifierBits = 0xff; // the rest of an event's state is buttons and the XKB group

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

// Qt's own connection, present only when the platform is "xcb".
xcb_connection_t* qtConnection()
{
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

struct KeyboardMapping {
    xcb_keycode_t first;
    Reply<xcb_get_keyboard_mapping_reply_t> reply;

    // Every key that types the keysym in its first `columns` keysyms: 2 is the first group, unshifted and shifted.
    std::vector<xcb_keycode_t> keycodes(xcb_keysym_t keysym, int columns = 255) const
    {
        std::vector<xcb_keycode_t> found;
        const int perKey = reply ? reply->keysyms_per_keycode : 0;
        if (perKey == 0)
            return found;
        const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(reply.get());
        const int keys = xcb_get_keyboard_mapping_keysyms_length(reply.get()) / perKey;
        const int searched = std::min(columns, perKey);
        for (int i = 0; i < keys; ++i)
            if (const xcb_keysym_t* row = symbols + i * perKey;
                std::find(row, row + searched, keysym) != row + searched)
                found.push_back(static_cast<xcb_keycode_t>(first + i));
        return found;
    }
};

KeyboardMapping keyboardMapping(xcb_connection_t* c)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    return {setup->min_keycode, Reply<xcb_get_keyboard_mapping_reply_t>(xcb_get_keyboard_mapping_reply(
                                    c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr))};
}

// The modifier that NumLock locks (Mod2 on most keyboards, but it is the keymap's choice); 0 when none.
std::uint16_t numLockModifier(xcb_connection_t* c, const std::vector<xcb_keycode_t>& numLockKeys)
{
    const Reply<xcb_get_modifier_mapping_reply_t> reply(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (!reply)
        return 0;
    const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier)
        for (int i = 0; i < perModifier; ++i)
            if (std::ranges::count(numLockKeys, keys[modifier * perModifier + i]) > 0)
                return static_cast<std::uint16_t>(1 << modifier);
    return 0;
}

} // namespace

X11HotKeyService::~X11HotKeyService()
{
    remove();
}

bool X11HotKeyService::install(QString* reason)
{
    const auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (!grabs_.empty())
        return true;
    xcb_connection_t* c = qtConnection();
    if (!c)
        return fail(tr("The Win+Z hot key needs an X11 session."));

    const KeyboardMapping mapping = keyboardMapping(c);
    // Z of the first layout only: a second one may type z on another key (y, in German), which would make Win+Y
    // the hot key as well. Any layout's Z when the first types no Latin letters.
    std::vector<xcb_keycode_t> keys = mapping.keycodes(kKeysymZ, 2);
    if (keys.empty())
        keys = mapping.keycodes(kKeysymZ);
    if (keys.empty())
        return fail(tr("No key of this keyboard types Z, so the Win+Z hot key cannot be set."));
    const std::uint16_t numLock = numLockModifier(c, mapping.keycodes(kKeysymNumLock));
    std::vector<std::uint16_t> variants;
    for (const std::uint16_t capsLock : {std::uint16_t{0}, kCapsLock})
        for (const std::uint16_t num : {std::uint16_t{0}, numLock})
            if (const auto modifiers = static_cast<std::uint16_t>(kSuper | capsLock | num);
                std::ranges::count(variants, modifiers) == 0)
                variants.push_back(modifiers);
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(c)); screens.rem > 0; xcb_screen_next(&screens))
        for (const xcb_keycode_t key : keys)
            for (const std::uint16_t modifiers : variants)
                grabs_.push_back({screens.data->root, key, modifiers});

    // Filtering before grabbing, so that no press falls in between.
    qGuiApp->installNativeEventFilter(this);
    // Not owner_events: a press is then reported to the root window even when one of our windows has the focus,
    // which is how the filter tells it apart.
    std::vector<xcb_void_cookie_t> cookies;
    for (const Grab& grab : grabs_)
        cookies.push_back(
            xcb_grab_key_checked(c, 0, grab.root, grab.modifiers, grab.key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::uint8_t error = 0;
    for (const xcb_void_cookie_t cookie : cookies) // every one checked, so that no error is left to Qt's log
        if (const Reply<xcb_generic_error_t> e(xcb_request_check(c, cookie)); e && error == 0)
            error = e->error_code;
    if (error == 0)
        return true;
    // All or nothing. Ungrabbing a refused combination is harmless: it never touches another client's grab.
    remove();
    return fail(error == XCB_ACCESS ? tr("Another program holds the Win+Z hot key.")
                                    : tr("The X server refused the Win+Z hot key (X error %1).").arg(error));
}

void X11HotKeyService::remove()
{
    if (grabs_.empty())
        return;
    if (qGuiApp)
        qGuiApp->removeNativeEventFilter(this);
    // With the application gone, its connection and the grabs have gone with it.
    if (xcb_connection_t* c = qtConnection()) {
        for (const Grab& grab : grabs_)
            xcb_ungrab_key(c, grab.key, grab.root, grab.modifiers);
        xcb_flush(c);
    }
    grabs_.clear();
}

bool X11HotKeyService::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS) // the top bit marks events sent by clients
        return false;
    const auto* press = static_cast<const xcb_key_press_event_t*>(message);
    const bool ours = std::ranges::any_of(grabs_, [press](const Grab& grab) {
        return grab.root == press->event && grab.key == press->detail &&
               grab.modifiers == (press->state & kModifierBits);
    });
    if (ours) {
        // Queued: receivers may open windows or run event loops, which must not happen inside Qt's xcb event
        // handling. Checked again on delivery: a press queued before remove() is not reported.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!grabs_.empty())
                    emit pressed();
            },
            Qt::QueuedConnection);
    }
    return ours; // Qt has no window to give a press on the root window to
}
