#pragma once

#include <QKeyCombination>

#include <cstdint>

// Keyboard shortcuts in their stored 16-bit form: the virtual-key code in the low byte and the
// modifier bits below. 0 is "no shortcut".
namespace ShortCut {
constexpr std::uint16_t kShift = 0x2000;
constexpr std::uint16_t kCtrl = 0x4000;
constexpr std::uint16_t kAlt = 0x8000;
constexpr std::uint16_t kModifierMask = kShift | kCtrl | kAlt;
} // namespace ShortCut

// The virtual-key code of a Qt key, 0 for a key that has none. `keypad` selects the numeric
// keypad's codes for digits and operators.
std::uint8_t VirtualKeyFromQtKey(int qtKey, bool keypad);
// The Qt key of a virtual-key code (Qt::Key_unknown for a code we do not map) and whether it lies
// on the numeric keypad.
int QtKeyFromVirtualKey(std::uint8_t vk, bool* keypad = nullptr);

// The stored form of a Qt key combination; 0 when the key has no virtual-key code.
std::uint16_t ShortCutFromQt(QKeyCombination combination);
// The Qt key combination of a stored shortcut; an empty combination for 0 or an unknown key.
QKeyCombination ShortCutToQt(std::uint16_t shortCut);

// The rule of the hotkey fields: a key typed without a modifier, or with Shift alone, is taken
// with Alt. Modifier keys on their own and keys without a code give 0.
std::uint16_t HotKeyFromTyped(QKeyCombination typed);
