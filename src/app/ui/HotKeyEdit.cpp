#include "app/ui/HotKeyEdit.h"

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
        emit hotKeyChanged(hotKey);
}

bool THotKey::event(QEvent* event) {
    // Shortcuts of the window (such as a button's mnemonic) must not take the keys typed here.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void THotKey::keyPressEvent(QKeyEvent* event) {
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
