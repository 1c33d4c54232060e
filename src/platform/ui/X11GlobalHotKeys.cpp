#include "platform/ui/X11GlobalHotKeys.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <utility>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace {

template <typename T>
using TXcbReply = std::unique_ptr<T, decltype(&std::free)>;

constexpr xcb_keysym_t kNumLockSym = 0xff7f;

// The X keysym of a key the hotkey fields take; 0 for one they do not.
xcb_keysym_t KeysymOf(Qt::Key key, bool keypad) {
    const int k = static_cast<int>(key);
    if (keypad) {
        if (k >= Qt::Key_0 && k <= Qt::Key_9)
            return 0xffb0 + static_cast<xcb_keysym_t>(k - Qt::Key_0);
        switch (k) {
        case Qt::Key_Asterisk:
            return 0xffaa;
        case Qt::Key_Plus:
            return 0xffab;
        case Qt::Key_Comma:
            return 0xffac;
        case Qt::Key_Minus:
            return 0xffad;
        case Qt::Key_Period:
            return 0xffae;
        case Qt::Key_Slash:
            return 0xffaf;
        case Qt::Key_Enter:
            return 0xff8d;
        default:
            break;
        }
    }
    if (k >= Qt::Key_A && k <= Qt::Key_Z)
        return 'a' + static_cast<xcb_keysym_t>(k - Qt::Key_A);
    if (k >= Qt::Key_Space && k <= Qt::Key_AsciiTilde)
        return static_cast<xcb_keysym_t>(k);
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24)
        return 0xffbe + static_cast<xcb_keysym_t>(k - Qt::Key_F1);
    static constexpr std::array<std::pair<int, xcb_keysym_t>, 17> kNamed{{
        {Qt::Key_Backspace, 0xff08},
        {Qt::Key_Tab, 0xff09},
        {Qt::Key_Return, 0xff0d},
        {Qt::Key_Enter, 0xff8d},
        {Qt::Key_Escape, 0xff1b},
        {Qt::Key_Home, 0xff50},
        {Qt::Key_Left, 0xff51},
        {Qt::Key_Up, 0xff52},
        {Qt::Key_Right, 0xff53},
        {Qt::Key_Down, 0xff54},
        {Qt::Key_PageUp, 0xff55},
        {Qt::Key_PageDown, 0xff56},
        {Qt::Key_End, 0xff57},
        {Qt::Key_Insert, 0xff63},
        {Qt::Key_Delete, 0xffff},
        {Qt::Key_Pause, 0xff13},
        {Qt::Key_Print, 0xff61},
    }};
    for (const auto& [qtKey, sym] : kNamed)
        if (qtKey == k)
            return sym;
    return 0;
}

// The modifier bit that Num Lock sets on this keyboard (Mod2 on nearly every one).
std::uint16_t FindNumLockMask(xcb_connection_t* connection, xcb_key_symbols_t* symbols) {
    std::uint16_t mask = XCB_MOD_MASK_2;
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> numLock(xcb_key_symbols_get_keycode(symbols, kNumLockSym),
                                                                 &std::free);
    TXcbReply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr), &std::free);
    if (!numLock || !mapping)
        return mask;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier)
        for (int i = 0; i < perModifier; ++i)
            for (const xcb_keycode_t* code = numLock.get(); *code != 0; ++code)
                if (codes[modifier * perModifier + i] == *code)
                    return static_cast<std::uint16_t>(1u << modifier);
    return mask;
}

} // namespace

TX11GlobalHotKeys::TX11GlobalHotKeys(xcb_connection_t* connection)
    : m_connection(connection), m_symbols(xcb_key_symbols_alloc(connection)) {
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem > 0; xcb_screen_next(&it))
        m_roots.push_back(it.data->root);
    m_numLockMask = FindNumLockMask(connection, m_symbols);
    static constexpr char kXkb[] = "XKEYBOARD";
    TXcbReply<xcb_query_extension_reply_t> xkb(
        xcb_query_extension_reply(connection, xcb_query_extension(connection, sizeof kXkb - 1, kXkb), nullptr),
        &std::free);
    if (xkb && xkb->present)
        m_xkbEventBase = xkb->first_event;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

TX11GlobalHotKeys::~TX11GlobalHotKeys() {
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeNativeEventFilter(this);
    while (!m_grabs.empty())
        Unregister(m_grabs.begin()->first);
    xcb_key_symbols_free(m_symbols);
}

std::vector<std::uint16_t> TX11GlobalHotKeys::LockVariants() const {
    return {0, XCB_MOD_MASK_LOCK, m_numLockMask, static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | m_numLockMask)};
}

std::uint8_t TX11GlobalHotKeys::KeycodeOf(std::uint32_t keysym) const {
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(xcb_key_symbols_get_keycode(m_symbols, keysym),
                                                               &std::free);
    return codes ? codes.get()[0] : 0;
}

bool TX11GlobalHotKeys::Register(int id, QKeyCombination keys) {
    Unregister(id);
    const Qt::KeyboardModifiers qtModifiers = keys.keyboardModifiers();
    Grab grab;
    grab.keysym = KeysymOf(keys.key(), qtModifiers.testFlag(Qt::KeypadModifier));
    if (grab.keysym == 0 || m_roots.empty())
        return false;
    grab.keycode = KeycodeOf(grab.keysym);
    if (grab.keycode == 0)
        return false;
    if (qtModifiers.testFlag(Qt::ShiftModifier))
        grab.modifiers |= XCB_MOD_MASK_SHIFT;
    if (qtModifiers.testFlag(Qt::ControlModifier))
        grab.modifiers |= XCB_MOD_MASK_CONTROL;
    if (qtModifiers.testFlag(Qt::AltModifier))
        grab.modifiers |= XCB_MOD_MASK_1;
    // The server lets a client grab its own combination twice, and a press would then reach only
    // one of the two: the second hotkey of the same keys is refused.
    for (const auto& [otherId, other] : m_grabs)
        if (other.keysym == grab.keysym && other.modifiers == grab.modifiers)
            return false;
    if (!Take(grab))
        return false;
    m_grabs[id] = grab;
    return true;
}

bool TX11GlobalHotKeys::Take(const Grab& grab) {
    // The presses go to the root window even while one of our windows has the focus, so the
    // hotkey works there too (and a hotkey field cannot take the combination as typed).
    // Ask for every grab, then collect the answers: a combination another client holds fails
    // with an access error, and then none of its grabs stay.
    std::vector<xcb_void_cookie_t> cookies;
    for (const xcb_window_t root : m_roots)
        for (const std::uint16_t locks : LockVariants())
            cookies.push_back(xcb_grab_key_checked(m_connection, 0, root, grab.modifiers | locks, grab.keycode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool granted = true;
    for (const xcb_void_cookie_t cookie : cookies)
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            granted = false;
            std::free(error);
        }
    if (!granted)
        Ungrab(grab);
    return granted;
}

void TX11GlobalHotKeys::Ungrab(const Grab& grab) {
    if (grab.keycode == 0)
        return;
    // Releasing grabs that are not ours does nothing to the other client's.
    for (const xcb_window_t root : m_roots)
        for (const std::uint16_t locks : LockVariants())
            xcb_ungrab_key(m_connection, grab.keycode, root, grab.modifiers | locks);
    xcb_flush(m_connection);
}

void TX11GlobalHotKeys::Unregister(int id) {
    const auto it = m_grabs.find(id);
    if (it == m_grabs.end())
        return;
    Ungrab(it->second);
    m_grabs.erase(it);
}

bool TX11GlobalHotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7F;
    if (IsLayoutChange(event)) {
        // A layout change comes as several events in a row: the grabs follow once, after them.
        // Qt reads the events too.
        if (!m_layoutPending) {
            m_layoutPending = true;
            QMetaObject::invokeMethod(
                this, [this] { FollowLayout(); }, Qt::QueuedConnection);
        }
        return false;
    }
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (std::find(m_roots.begin(), m_roots.end(), key->event) == m_roots.end())
        return false;
    const std::uint16_t relevant = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    if (type == XCB_KEY_RELEASE) {
        bool ours = false;
        for (auto& [id, grab] : m_grabs)
            if (grab.keycode == key->detail) {
                grab.down = false;
                ours = true;
            }
        return ours;
    }
    for (auto& [id, grab] : m_grabs) {
        if (grab.keycode != key->detail)
            continue;
        if ((key->state & relevant) != grab.modifiers)
            continue;
        if (grab.down)
            return true;
        grab.down = true;
        // The handler may register the hotkeys anew: nothing of the loop is used after it.
        const int pressed = id;
        emit Activated(pressed);
        return true;
    }
    return false;
}

bool TX11GlobalHotKeys::IsLayoutChange(const void* message) const {
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7F;
    if (type == XCB_MAPPING_NOTIFY) {
        const auto* mapping = static_cast<const xcb_mapping_notify_event_t*>(message);
        return mapping->request == XCB_MAPPING_KEYBOARD || mapping->request == XCB_MAPPING_MODIFIER;
    }
    // The XKB events share one code; the second byte tells which: 0 a new keyboard (another layout
    // loaded), 1 a changed key map.
    constexpr std::uint8_t kNewKeyboardNotify = 0;
    constexpr std::uint8_t kMapNotify = 1;
    if (m_xkbEventBase < 0 || type != m_xkbEventBase)
        return false;
    const std::uint8_t xkbType = static_cast<const std::uint8_t*>(message)[1];
    return xkbType == kNewKeyboardNotify || xkbType == kMapNotify;
}

void TX11GlobalHotKeys::FollowLayout() {
    m_layoutPending = false;
    // The old grabs go with the old lock variants; then the layout is read anew.
    for (auto& [id, grab] : m_grabs)
        Ungrab(grab);
    xcb_key_symbols_free(m_symbols);
    m_symbols = xcb_key_symbols_alloc(m_connection);
    m_numLockMask = FindNumLockMask(m_connection, m_symbols);
    for (auto& [id, grab] : m_grabs) {
        grab.down = false;
        grab.keycode = KeycodeOf(grab.keysym);
        // A symbol the new layout lacks, or a key another client took meanwhile, waits for the
        // next layout; the hotkey stays registered.
        if (grab.keycode != 0 && !Take(grab))
            grab.keycode = 0;
    }
    xcb_flush(m_connection);
}
