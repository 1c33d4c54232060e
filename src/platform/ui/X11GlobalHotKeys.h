#pragma once

#include "platform/ui/GlobalHotKeys.h"

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <map>
#include <vector>

struct xcb_connection_t;
struct _XCBKeySymbols;

// Hotkeys on X11: a passive grab of the key on every root window, once for each state of the
// locking modifiers (Caps Lock, Num Lock), so that the combination works with either on. The
// presses arrive on Qt's own connection and are taken out of its event stream here.
//
// A grab holds a key code, and which key makes which symbol is the keyboard layout's business:
// when the layout changes (a core MappingNotify, or XKB's new-keyboard and map notifications that
// take its place for clients of that extension), every grab is made again for the key that now
// makes its symbol.
class TX11GlobalHotKeys final : public TGlobalHotKeys, public QAbstractNativeEventFilter {
public:
    explicit TX11GlobalHotKeys(xcb_connection_t* connection);
    ~TX11GlobalHotKeys() override;

    bool Register(int id, QKeyCombination keys) override;
    void Unregister(int id) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        std::uint32_t keysym = 0;
        std::uint8_t keycode = 0; // 0 while the layout has no key for the symbol
        std::uint16_t modifiers = 0;
        bool down = false; // held: the keyboard's repeats do not count again
    };
    std::vector<std::uint16_t> LockVariants() const;
    // The key that makes the symbol in the current layout, or 0.
    std::uint8_t KeycodeOf(std::uint32_t keysym) const;
    // Grabs the grab's key with every lock variant; false (and nothing grabbed) when another client
    // holds the combination.
    bool Take(const Grab& grab);
    void Ungrab(const Grab& grab);
    // Whether the event tells of a new keyboard layout.
    bool IsLayoutChange(const void* event) const;
    // Reads the layout again and moves every grab to the key that now makes its symbol.
    void FollowLayout();

    xcb_connection_t* m_connection;
    _XCBKeySymbols* m_symbols;
    std::vector<std::uint32_t> m_roots;
    std::uint16_t m_numLockMask;
    int m_xkbEventBase = -1; // first event code of the XKB extension; -1 without it
    bool m_layoutPending = false;
    std::map<int, Grab> m_grabs;
};
