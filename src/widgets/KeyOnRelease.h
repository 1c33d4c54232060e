#pragma once

#include <QEvent>
#include <QKeyEvent>

// Lets a list act on a key once, when the key is let go: the repeats of a held key do nothing, and
// neither does the release of a press that went to another window. Feed it the list's key and focus
// events from an event filter.
class TKeyOnRelease {
public:
    enum class TStep { NotOurs, Swallow, Act };

    explicit TKeyOnRelease(int key) : m_key(key) {}

    TStep Filter(const QEvent& event) {
        if (event.type() == QEvent::FocusOut) {
            m_pressed = false;
            return TStep::NotOurs;
        }
        if (event.type() != QEvent::KeyPress && event.type() != QEvent::KeyRelease)
            return TStep::NotOurs;
        const auto& key = static_cast<const QKeyEvent&>(event);
        if (key.key() != m_key)
            return TStep::NotOurs;
        if (key.isAutoRepeat())
            return TStep::Swallow;
        if (event.type() == QEvent::KeyPress) {
            m_pressed = true;
            return TStep::Swallow;
        }
        const bool act = m_pressed;
        m_pressed = false;
        return act ? TStep::Act : TStep::Swallow;
    }

private:
    int m_key;
    bool m_pressed = false;
};
