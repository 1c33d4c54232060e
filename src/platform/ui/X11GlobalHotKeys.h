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
class TX11GlobalHotKeys final : public TGlobalHotKeys, public QAbstractNativeEventFilter {
public:
    explicit TX11GlobalHotKeys(xcb_connection_t* connection);
    ~TX11GlobalHotKeys() override;

    bool Register(int id, QKeyCombination keys) override;
    void Unregister(int id) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        std::uint8_t keycode = 0;
        std::uint16_t modifiers = 0;
        bool down = false; // held: the keyboard's repeats do not count again
    };
    std::vector<std::uint16_t> LockVariants() const;
    void Ungrab(const Grab& grab);

    xcb_connection_t* m_connection;
    _XCBKeySymbols* m_symbols;
    std::vector<std::uint32_t> m_roots;
    std::uint16_t m_numLockMask;
    std::map<int, Grab> m_grabs;
};
