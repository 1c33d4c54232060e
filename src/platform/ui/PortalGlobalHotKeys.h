#pragma once

#include "platform/ui/GlobalHotKeys.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

#include <map>

class QDBusArgument;
class QDBusMessage;

// One shortcut as the desktop portal's GlobalShortcuts interface passes it: `(sa{sv})`, its id and
// its properties ("description", "preferred_trigger"; in answers "trigger_description").
struct TPortalShortcut {
    QString Id;
    QVariantMap Properties;
};
using TPortalShortcuts = QList<TPortalShortcut>;
Q_DECLARE_METATYPE(TPortalShortcut)
Q_DECLARE_METATYPE(TPortalShortcuts)
QDBusArgument& operator<<(QDBusArgument& argument, const TPortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& argument, TPortalShortcut& shortcut);

// Hotkeys through the XDG desktop portal (org.freedesktop.portal.GlobalShortcuts), the way Wayland
// desktops offer them: the program asks for a session once and binds its shortcuts to it, each with
// the combination it would like; the desktop lets the user confirm or change them and reports the
// presses as Activated signals of that session.
//
// Every call is asynchronous, so Register answers before the desktop does: true means the wish was
// handed on. Registering and unregistering within one turn of the event loop end in one binding of
// the whole set. What the desktop did comes later as Bound (once per binding, with the triggers the
// desktop chose) or Refused (no portal, no GlobalShortcuts, the user declined, an error).
class TPortalGlobalHotKeys final : public TGlobalHotKeys {
    Q_OBJECT

public:
    explicit TPortalGlobalHotKeys(QDBusConnection bus);
    ~TPortalGlobalHotKeys() override;

    bool Register(int id, QKeyCombination keys) override;
    void Unregister(int id) override;
    void Describe(int id, const QString& description) override;

    // The combination in the notation of the portal's preferred triggers ("CTRL+ALT+b"); empty
    // for none.
    static QString TriggerOf(QKeyCombination keys);
    // The portal's shortcut id of a hotkey id.
    static QString ShortcutIdOf(int id);

signals:
    // The desktop bound the shortcuts: each hotkey id with the trigger it shows to the user (empty
    // when it names none).
    void Bound(const std::map<int, QString>& triggers);
    // The desktop did not bind them, for the reason given (a D-Bus error's text, or the portal's).
    void Refused(const QString& reason);

private:
    struct Wish {
        QKeyCombination keys;
        QString description;
    };
    enum class TSession { None, Creating, Open, Failed };

    // Binds the wished set on the next turn of the event loop (once for any number of changes).
    void ScheduleBind();
    void Bind();
    void CreateSession();
    void BindShortcuts();
    // Calls a portal method that answers with a request object, whose Response signal brings the
    // outcome to `onResponse` (code 0 is success). The signal is subscribed to before the call, on
    // the path the portal will use, so an answer that comes at once is not missed.
    void CallWithResponse(const QString& method, const QList<QVariant>& arguments, const QString& token,
                          void (TPortalGlobalHotKeys::*onResponse)(uint, const QVariantMap&));
    QString NextToken();
    QString RequestPath(const QString& token) const;

    void SessionCreated(uint code, const QVariantMap& results);
    void ShortcutsBound(uint code, const QVariantMap& results);
private slots:
    void ResponseReceived(uint code, const QVariantMap& results);
    void ActivatedReceived(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                           const QVariantMap& options);

private:
    QDBusConnection m_bus;
    std::map<int, Wish> m_wishes;
    TSession m_session = TSession::None;
    QString m_sessionPath;
    bool m_bindScheduled = false;
    bool m_bindPending = false; // a binding was asked for while the session was being made
    int m_tokenCount = 0;
    // The request whose Response is awaited, and what handles it.
    QString m_requestPath;
    void (TPortalGlobalHotKeys::*m_onResponse)(uint, const QVariantMap&) = nullptr;
};
