#include "widgets/HotKeyEdit.h"

#include "platform/ShortCut.h"

#include <QKeyEvent>
#include <QKeySequence>

THotKey::THotKey(QWidget* parent) : QLineEdit(parent) {
    setClearButtonEnabled(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        // Only the clear button changes the text by itself.
        if (text.isEmpty() && m_hotKey != 0)
            SetHotKey(0);
    });
}

void THotKey::SetHotKey(std::uint16_t hotKey) {
    const bool changed = hotKey != m_hotKey;
    m_hotKey = hotKey;
    const QString text = ShortCutToText(hotKey);
    if (this->text() != text)
        setText(text);
    if (changed)
        emit HotKeyChanged(hotKey);
}

namespace {

// Enter and Escape alone belong to the window (OK and Cancel); with a modifier they are
// combinations like any other.
bool IsWindowKey(const QKeyEvent& event) {
    const int key = event.key();
    return (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) &&
           (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

} // namespace

bool THotKey::event(QEvent* event) {
    // Shortcuts of the window (such as a button's mnemonic) must not take the keys typed here.
    if (event->type() == QEvent::ShortcutOverride && !IsWindowKey(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void THotKey::keyPressEvent(QKeyEvent* event) {
    if (IsWindowKey(*event)) {
        event->ignore();
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Tab && modifiers == Qt::NoModifier) ||
        (event->key() == Qt::Key_Backtab && modifiers == Qt::ShiftModifier)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    const std::uint16_t hotKey = HotKeyFromTyped(event->keyCombination());
    if (hotKey != 0)
        SetHotKey(hotKey);
}

QString ShortCutToText(std::uint16_t shortCut) {
    const QKeyCombination combination = ShortCutToQt(shortCut);
    if (combination.key() == Qt::Key_unknown || combination.toCombined() == 0)
        return QString();
    return QKeySequence(combination).toString(QKeySequence::NativeText);
}
