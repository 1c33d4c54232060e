#include "platform/ShortCut.h"

#include <array>
#include <utility>

namespace {

// Keys whose codes are not in a contiguous run.
constexpr std::array<std::pair<int, std::uint8_t>, 14> kNamedKeys{{
    {Qt::Key_Backspace, 0x08},
    {Qt::Key_Tab, 0x09},
    {Qt::Key_Return, 0x0D},
    {Qt::Key_Escape, 0x1B},
    {Qt::Key_Space, 0x20},
    {Qt::Key_PageUp, 0x21},
    {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23},
    {Qt::Key_Home, 0x24},
    {Qt::Key_Left, 0x25},
    {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27},
    {Qt::Key_Down, 0x28},
    {Qt::Key_Insert, 0x2D},
}};

// The keypad's operators, VK_MULTIPLY (0x6A) to VK_DIVIDE (0x6F); the separator has no Qt key.
constexpr std::array<std::pair<int, std::uint8_t>, 5> kKeypadOperators{{
    {Qt::Key_Asterisk, 0x6A},
    {Qt::Key_Plus, 0x6B},
    {Qt::Key_Minus, 0x6D},
    {Qt::Key_Period, 0x6E},
    {Qt::Key_Slash, 0x6F},
}};

constexpr std::uint8_t kVkDelete = 0x2E;

} // namespace

std::uint8_t VirtualKeyFromQtKey(int qtKey, bool keypad) {
    if (keypad) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
            return static_cast<std::uint8_t>(0x60 + (qtKey - Qt::Key_0));
        for (const auto& [key, vk] : kKeypadOperators)
            if (key == qtKey)
                return vk;
        // Keypad navigation keys (with Num Lock off) and Enter have the main keys' codes.
        if (qtKey == Qt::Key_Enter)
            return 0x0D;
        if (qtKey == Qt::Key_Comma)
            return 0x6E;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return static_cast<std::uint8_t>('A' + (qtKey - Qt::Key_A));
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return static_cast<std::uint8_t>('0' + (qtKey - Qt::Key_0));
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<std::uint8_t>(0x70 + (qtKey - Qt::Key_F1));
    if (qtKey == Qt::Key_Delete)
        return kVkDelete;
    if (qtKey == Qt::Key_Enter)
        return 0x0D;
    if (qtKey == Qt::Key_Backtab)
        return 0x09;
    for (const auto& [key, vk] : kNamedKeys)
        if (key == qtKey)
            return vk;
    return 0;
}

int QtKeyFromVirtualKey(std::uint8_t vk, bool* keypad) {
    if (keypad != nullptr)
        *keypad = false;
    if (vk >= 'A' && vk <= 'Z')
        return Qt::Key_A + (vk - 'A');
    if (vk >= '0' && vk <= '9')
        return Qt::Key_0 + (vk - '0');
    if (vk >= 0x70 && vk <= 0x87)
        return Qt::Key_F1 + (vk - 0x70);
    if (vk == kVkDelete)
        return Qt::Key_Delete;
    for (const auto& [key, code] : kNamedKeys)
        if (code == vk)
            return key;
    if (vk >= 0x60 && vk <= 0x69) {
        if (keypad != nullptr)
            *keypad = true;
        return Qt::Key_0 + (vk - 0x60);
    }
    for (const auto& [key, code] : kKeypadOperators)
        if (code == vk) {
            if (keypad != nullptr)
                *keypad = true;
            return key;
        }
    return Qt::Key_unknown;
}

std::uint16_t ShortCutFromQt(QKeyCombination combination) {
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    const std::uint8_t vk =
        VirtualKeyFromQtKey(static_cast<int>(combination.key()), modifiers.testFlag(Qt::KeypadModifier));
    if (vk == 0)
        return 0;
    std::uint16_t result = vk;
    if (modifiers.testFlag(Qt::ShiftModifier))
        result |= ShortCut::kShift;
    if (modifiers.testFlag(Qt::ControlModifier))
        result |= ShortCut::kCtrl;
    if (modifiers.testFlag(Qt::AltModifier))
        result |= ShortCut::kAlt;
    return result;
}

QKeyCombination ShortCutToQt(std::uint16_t shortCut) {
    bool keypad = false;
    const int key = QtKeyFromVirtualKey(static_cast<std::uint8_t>(shortCut & 0xFF), &keypad);
    if (shortCut == 0 || key == Qt::Key_unknown)
        return QKeyCombination();
    Qt::KeyboardModifiers modifiers;
    if (shortCut & ShortCut::kShift)
        modifiers |= Qt::ShiftModifier;
    if (shortCut & ShortCut::kCtrl)
        modifiers |= Qt::ControlModifier;
    if (shortCut & ShortCut::kAlt)
        modifiers |= Qt::AltModifier;
    if (keypad)
        modifiers |= Qt::KeypadModifier;
    return QKeyCombination(modifiers, static_cast<Qt::Key>(key));
}

std::uint16_t HotKeyFromTyped(QKeyCombination typed) {
    std::uint16_t shortCut = ShortCutFromQt(typed);
    if (shortCut == 0)
        return 0;
    const std::uint16_t modifiers = shortCut & ShortCut::kModifierMask;
    if (modifiers == 0 || modifiers == ShortCut::kShift)
        shortCut |= ShortCut::kAlt;
    return shortCut;
}
