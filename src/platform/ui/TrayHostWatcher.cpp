#include "platform/ui/TrayHostWatcher.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace {

template <typename T>
using TXcbReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name) {
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    TXcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

} // namespace

TTrayHostWatcher::TTrayHostWatcher(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        m_serviceWatcher = new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"), bus,
                                                   QDBusServiceWatcher::WatchForRegistration, this);
        connect(m_serviceWatcher, &QDBusServiceWatcher::serviceRegistered, this, &TTrayHostWatcher::TrayHostAppeared);
    }
    WatchX11();
}

TTrayHostWatcher::~TTrayHostWatcher() {
    if (m_filtering && QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void TTrayHostWatcher::WatchX11() {
    // Other platforms (offscreen among them) may answer for X11 without a connection.
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr)
        return;
    m_managerAtom = InternAtom(connection, "MANAGER");
    // A tray manager announces itself to clients that watch the root window's structure. Our
    // connection shares its event mask with Qt's own use of the roots: add to it, never replace.
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem > 0; xcb_screen_next(&it)) {
        const xcb_window_t root = it.data->root;
        TXcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, root), nullptr),
            &std::free);
        if (!attributes)
            continue;
        const std::uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        if (mask != attributes->your_event_mask)
            xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    }
    xcb_flush(connection);
    QCoreApplication::instance()->installNativeEventFilter(this);
    m_filtering = true;
}

bool TTrayHostWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* client = reinterpret_cast<const xcb_client_message_event_t*>(event);
    if (client->type != m_managerAtom || client->format != 32)
        return false;
    // data32[1] names the selection taken; the system tray's are "_NET_SYSTEM_TRAY_S<screen>".
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr)
        return false;
    TXcbReply<xcb_get_atom_name_reply_t> name(
        xcb_get_atom_name_reply(x11->connection(), xcb_get_atom_name(x11->connection(), client->data.data32[1]),
                                nullptr),
        &std::free);
    if (!name)
        return false;
    const QByteArray selection(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()));
    if (selection.startsWith("_NET_SYSTEM_TRAY_S"))
        emit TrayHostAppeared();
    // Qt's own tray support may want the message too.
    return false;
}
