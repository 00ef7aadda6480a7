#include "X11WindowPlacement.h"

#include "QtWindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

namespace {

// The band last asked for, kept on the QWindow itself so that it goes away with the window.
constexpr char kTopmostProperty[] = "_tarnwick_topmost";

constexpr std::uint32_t kActionRemove = 0;
constexpr std::uint32_t kActionAdd = 1;
constexpr std::uint32_t kSourceApplication = 1; // a normal application, not a pager acting for the user

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

struct Atoms {
    xcb_atom_t state = XCB_ATOM_NONE;
    xcb_atom_t above = XCB_ATOM_NONE;
    xcb_atom_t staysOnTop = XCB_ATOM_NONE; // the older KDE name, which Qt sets beside _NET_WM_STATE_ABOVE

    bool valid() const { return state && above && staysOnTop; }
};

// Qt's own connection, so that our requests come after everything Qt has asked for its windows until now.
xcb_connection_t* qtConnection()
{
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

Atoms internAtoms(xcb_connection_t* c)
{
    const auto cookie = [c](std::string_view name) {
        return xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data());
    };
    const auto atom = [c](xcb_intern_atom_cookie_t pending) {
        const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, pending, nullptr));
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    };
    const auto state = cookie("_NET_WM_STATE");
    const auto above = cookie("_NET_WM_STATE_ABOVE");
    const auto staysOnTop = cookie("_NET_WM_STATE_STAYS_ON_TOP");
    return {atom(state), atom(above), atom(staysOnTop)};
}

// Asks the window manager, which owns the state of the windows it manages.
void sendStateRequest(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, const Atoms& atoms, bool topmost)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atoms.state;
    event.data.data32[0] = topmost ? kActionAdd : kActionRemove;
    event.data.data32[1] = atoms.above;
    event.data.data32[3] = kSourceApplication;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

// The state of a hidden window is its property, which the window manager reads when the window is next shown.
void editStateProperty(xcb_connection_t* c, xcb_window_t window, const Atoms& atoms, bool topmost)
{
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, atoms.state, XCB_ATOM_ATOM, 0, 1024), nullptr));
    std::vector<xcb_atom_t> states;
    if (reply && reply->format == 32) {
        const auto* first = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        states.assign(first, first + reply->value_len);
    }
    std::erase_if(states, [&](xcb_atom_t s) { return s == atoms.above || (!topmost && s == atoms.staysOnTop); });
    if (topmost)
        states.push_back(atoms.above);
    if (states.empty())
        xcb_delete_property(c, window, atoms.state);
    else
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atoms.state, XCB_ATOM_ATOM, 32,
                            static_cast<std::uint32_t>(states.size()), states.data());
}

// Whether a window of depth 24 takes a picture's 32-bit pixels (Qt's RGB32) as they are: 32 bits a pixel in the
// byte order of this machine, red in the high byte, as the X servers of today keep it.
bool takesRgb32(xcb_connection_t* c, xcb_visualid_t visualId)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const bool littleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    if ((setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) != littleEndian)
        return false;
    bool bits32 = false;
    for (auto format = xcb_setup_pixmap_formats_iterator(setup); format.rem; xcb_format_next(&format))
        bits32 = bits32 || (format.data->depth == 24 && format.data->bits_per_pixel == 32);
    if (!bits32)
        return false;
    for (auto screen = xcb_setup_roots_iterator(setup); screen.rem; xcb_screen_next(&screen)) {
        for (auto depth = xcb_screen_allowed_depths_iterator(screen.data); depth.rem; xcb_depth_next(&depth)) {
            for (auto visual = xcb_depth_visuals_iterator(depth.data); visual.rem; xcb_visualtype_next(&visual)) {
                if (visual.data->visual_id == visualId)
                    return visual.data->red_mask == 0xff0000 && visual.data->green_mask == 0xff00 &&
                           visual.data->blue_mask == 0xff;
            }
        }
    }
    return false;
}

} // namespace

void X11WindowPlacement::paintBeforeMapping(WId window, std::function<QImage()> picture)
{
    QWindow* own = QtWindowPlacement::findWindow(window);
    if (!own || !picture)
        return;
    if (!m_pictures.contains(own))
        connect(own, &QObject::destroyed, this, [this, own] {
            m_pictures.remove(own);
            m_backgrounds.remove(own);
        });
    m_pictures.insert(own, std::move(picture));
    own->installEventFilter(this);
}

void X11WindowPlacement::putBackground(const QWindow& window)
{
    xcb_connection_t* c = qtConnection();
    if (!c || !window.handle())
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const auto geometryCookie = xcb_get_geometry(c, id);
    const auto attributesCookie = xcb_get_window_attributes(c, id);
    const Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
    if (!geometry || !attributes || geometry->depth != 24 || !takesRgb32(c, attributes->visual))
        return;
    const QImage image = m_pictures.value(&window)().convertToFormat(QImage::Format_RGB32);
    // A picture of another size would be tiled over the window: better the plain frame.
    if (image.width() != geometry->width || image.height() != geometry->height)
        return;

    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, 24, pixmap, id, geometry->width, geometry->height);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, pixmap, 0, nullptr);
    // In bands of rows that each fit in one request.
    const auto line = static_cast<std::uint32_t>(image.bytesPerLine());
    const std::uint32_t roomForRows = xcb_get_maximum_request_length(c) * 4 - sizeof(xcb_put_image_request_t);
    const int band = std::max(1, static_cast<int>(roomForRows / line));
    for (int top = 0; top < image.height(); top += band) {
        const int rows = std::min(band, image.height() - top);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, geometry->width, static_cast<std::uint16_t>(rows), 0,
                      static_cast<std::int16_t>(top), 0, 24, line * static_cast<std::uint32_t>(rows),
                      image.constScanLine(top));
    }
    xcb_free_gc(c, gc);
    const std::uint32_t background = pixmap;
    xcb_change_window_attributes(c, id, XCB_CW_BACK_PIXMAP, &background);
    // The window holds on to its background; our name for it can go.
    xcb_free_pixmap(c, pixmap);
    xcb_flush(c);
    m_backgrounds.insert(&window);
}

void X11WindowPlacement::clearBackground(const QWindow& window)
{
    xcb_connection_t* c = qtConnection();
    if (!m_backgrounds.remove(&window) || !c || !window.handle())
        return;
    // Back to what Qt gives its windows: a resize then shows nothing stale while the program repaints.
    const std::uint32_t none = XCB_BACK_PIXMAP_NONE;
    xcb_change_window_attributes(c, static_cast<xcb_window_t>(window.winId()), XCB_CW_BACK_PIXMAP, &none);
    xcb_flush(c);
}

void X11WindowPlacement::setTopmost(WId window, bool topmost)
{
    xcb_connection_t* c = qtConnection();
    if (!c)
        return;
    if (QWindow* own = QtWindowPlacement::findWindow(window)) {
        own->setProperty(kTopmostProperty, topmost);
        own->installEventFilter(this); // installed once however often it is asked
    }

    const auto id = static_cast<xcb_window_t>(window);
    const auto geometryCookie = xcb_get_geometry(c, id);
    const auto attributesCookie = xcb_get_window_attributes(c, id);
    const Atoms atoms = internAtoms(c);
    // Checked requests: an error (no such window) comes back here and is dropped, not logged by Qt's event reader.
    const Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
    if (!geometry || !attributes || !atoms.valid())
        return;

    // A window just shown may not be managed yet; the request then reaches the window manager after the map it
    // is answering, so it is sent whatever the map state. A window manager ignores requests about windows it does
    // not manage, so an unmapped window has its property edited as well.
    sendStateRequest(c, geometry->root, id, atoms, topmost);
    if (attributes->map_state == XCB_MAP_STATE_UNMAPPED)
        editStateProperty(c, id, atoms, topmost);
    xcb_flush(c);
}

bool X11WindowPlacement::eventFilter(QObject* watched, QEvent* event)
{
    const auto* window = qobject_cast<QWindow*>(watched);
    // The window's first paint after a map has been flushed once its expose has been handled.
    if (event->type() == QEvent::Expose && window && m_backgrounds.contains(window)) {
        QMetaObject::invokeMethod(
            this,
            [this, guard = QPointer<const QWindow>(window)] {
                if (guard)
                    clearBackground(*guard);
            },
            Qt::QueuedConnection);
        return false;
    }
    // Qt sends Show before it maps the window, and merges the property into what it writes itself.
    if (event->type() != QEvent::Show)
        return false;
    if (window && m_pictures.contains(window))
        putBackground(*window);
    const QVariant topmost = watched->property(kTopmostProperty);
    xcb_connection_t* c = qtConnection();
    if (!window || !window->handle() || !topmost.isValid() || !c)
        return false;
    if (const Atoms atoms = internAtoms(c); atoms.valid())
        editStateProperty(c, static_cast<xcb_window_t>(window->winId()), atoms, topmost.toBool());
    // A window manager slow to see the last hide deletes the property when it does, after the write above. Asked
    // again once Qt has mapped the window, it gets the request after the map and applies it to the new client.
    QMetaObject::invokeMethod(
        this,
        [this, guard = QPointer<const QWindow>(window), id = window->winId(), on = topmost.toBool()] {
            if (guard && guard->isVisible())
                setTopmost(id, on);
        },
        Qt::QueuedConnection);
    return false;
}
