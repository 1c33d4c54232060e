#pragma once

#include <QLineEdit>

#include <cstdint>

// A field that takes a key combination instead of text. A key typed without a modifier, or with
// Shift alone, is taken with Alt. Tab and Shift+Tab still move the focus, Enter and Escape alone
// go to the window (OK and Cancel); the clear button empties the field (no shortcut).
class THotKey : public QLineEdit {
    Q_OBJECT

public:
    explicit THotKey(QWidget* parent = nullptr);

    // The shortcut in its stored 16-bit form; 0 for none.
    std::uint16_t HotKey() const { return m_hotKey; }
    void SetHotKey(std::uint16_t hotKey);

signals:
    void HotKeyChanged(std::uint16_t hotKey);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::uint16_t m_hotKey = 0;
};

// The shortcut as the desktop writes key combinations, e.g. "Ctrl+Alt+B"; empty for none.
QString ShortCutToText(std::uint16_t shortCut);
