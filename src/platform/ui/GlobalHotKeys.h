#pragma once

#include <QKeyCombination>
#include <QObject>
#include <QString>

#include <memory>

// Key combinations that reach the program wherever the keyboard focus is: grabbed on X11, asked of
// the desktop portal elsewhere (Wayland). Without either, nothing registers, silently.
class TGlobalHotKeys : public QObject {
    Q_OBJECT

public:
    // The implementation for the platform the application runs on.
    static std::unique_ptr<TGlobalHotKeys> Create();

    // False when the platform cannot, the key is unknown, or another program holds the combination.
    // `id` names the hotkey in Activated(); registering an id again replaces its combination.
    virtual bool Register(int id, QKeyCombination keys) = 0;
    virtual void Unregister(int id) = 0;
    // What a registered hotkey does, in the user's words, for desktops that show it.
    virtual void Describe(int id, const QString& description) {
        (void)id;
        (void)description;
    }

signals:
    void Activated(int id);
};
