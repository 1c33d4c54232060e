#pragma once

#include <QKeyCombination>
#include <QObject>

#include <memory>

// Key combinations that reach the program wherever the keyboard focus is. Where the platform has
// no such thing (Wayland, offscreen), nothing registers, silently.
class TGlobalHotKeys : public QObject {
    Q_OBJECT

public:
    // The implementation for the platform the application runs on.
    static std::unique_ptr<TGlobalHotKeys> Create();

    // False when the platform cannot, the key is unknown, or another program holds the combination.
    // `id` names the hotkey in Activated(); registering an id again replaces its combination.
    virtual bool Register(int id, QKeyCombination keys) = 0;
    virtual void Unregister(int id) = 0;

signals:
    void Activated(int id);
};
