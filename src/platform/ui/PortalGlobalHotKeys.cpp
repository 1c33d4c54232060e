#include "platform/ui/PortalGlobalHotKeys.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QKeySequence>
#include <QRandomGenerator>
#include <QTimer>

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");

void RegisterTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<TPortalShortcut>();
        qDBusRegisterMetaType<TPortalShortcuts>();
        return true;
    }();
    (void)registered;
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const TPortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.Id << shortcut.Properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TPortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.Id >> shortcut.Properties;
    argument.endStructure();
    return argument;
}

TPortalGlobalHotKeys::TPortalGlobalHotKeys(QDBusConnection bus) : m_bus(std::move(bus)) {
    RegisterTypes();
    // Presses of every session come as one signal of the portal; ActivatedReceived keeps ours.
    m_bus.connect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(ActivatedReceived(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

TPortalGlobalHotKeys::~TPortalGlobalHotKeys() {
    m_bus.disconnect(kPortalService, kPortalPath, kShortcutsInterface, QStringLiteral("Activated"), this,
                     SLOT(ActivatedReceived(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    if (!m_requestPath.isEmpty())
        m_bus.disconnect(kPortalService, m_requestPath, kRequestInterface, QStringLiteral("Response"), this,
                         SLOT(ResponseReceived(uint, QVariantMap)));
    // The desktop forgets the shortcuts with the session; no answer is awaited.
    if (m_session == TSession::Open)
        m_bus.asyncCall(
            QDBusMessage::createMethodCall(kPortalService, m_sessionPath, kSessionInterface, QStringLiteral("Close")));
}

bool TPortalGlobalHotKeys::Register(int id, QKeyCombination keys) {
    if (TriggerOf(keys).isEmpty() || !m_bus.isConnected())
        return false;
    m_wishes[id].keys = keys;
    ScheduleBind();
    return true;
}

void TPortalGlobalHotKeys::Unregister(int id) {
    if (m_wishes.erase(id) != 0)
        ScheduleBind();
}

void TPortalGlobalHotKeys::Describe(int id, const QString& description) {
    auto wish = m_wishes.find(id);
    if (wish == m_wishes.end() || wish->second.description == description)
        return;
    wish->second.description = description;
    ScheduleBind();
}

QString TPortalGlobalHotKeys::ShortcutIdOf(int id) {
    return QStringLiteral("hotkey-%1").arg(id);
}

QString TPortalGlobalHotKeys::TriggerOf(QKeyCombination keys) {
    const Qt::Key key = keys.key();
    if (key == Qt::Key_unknown || key == 0 || (key >= Qt::Key_Shift && key <= Qt::Key_ScrollLock))
        return {};
    // Key names as the keyboard's symbols are named: lower-case letters, "F5", "Return", "space".
    QString name;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        name = QChar(QLatin1Char(static_cast<char>('a' + (key - Qt::Key_A))));
    else if (key == Qt::Key_Space)
        name = QStringLiteral("space");
    else
        name = QKeySequence(key).toString(QKeySequence::PortableText);
    if (name.isEmpty())
        return {};
    QString trigger;
    const Qt::KeyboardModifiers modifiers = keys.keyboardModifiers();
    if (modifiers & Qt::ControlModifier)
        trigger += QStringLiteral("CTRL+");
    if (modifiers & Qt::AltModifier)
        trigger += QStringLiteral("ALT+");
    if (modifiers & Qt::ShiftModifier)
        trigger += QStringLiteral("SHIFT+");
    if (modifiers & Qt::MetaModifier)
        trigger += QStringLiteral("LOGO+");
    return trigger + name;
}

void TPortalGlobalHotKeys::ScheduleBind() {
    if (m_bindScheduled)
        return;
    m_bindScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_bindScheduled = false;
        Bind();
    });
}

void TPortalGlobalHotKeys::Bind() {
    // One request at a time: a change while one runs is bound when it has ended.
    if (!m_requestPath.isEmpty()) {
        m_bindPending = true;
        return;
    }
    switch (m_session) {
    case TSession::Failed:
        return;
    case TSession::None:
        if (!m_wishes.empty())
            CreateSession();
        return;
    case TSession::Creating:
        m_bindPending = true;
        return;
    case TSession::Open:
        BindShortcuts();
        return;
    }
}

QString TPortalGlobalHotKeys::NextToken() {
    return QStringLiteral("tallyglass%1_%2").arg(QRandomGenerator::global()->generate()).arg(++m_tokenCount);
}

QString TPortalGlobalHotKeys::RequestPath(const QString& token) const {
    // The portal names a request after its caller's unique name, ":1.42" as "1_42".
    QString sender = m_bus.baseService();
    sender.remove(0, sender.startsWith(QLatin1Char(':')) ? 1 : 0).replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

void TPortalGlobalHotKeys::CallWithResponse(const QString& method, const QList<QVariant>& arguments,
                                            const QString& token,
                                            void (TPortalGlobalHotKeys::*onResponse)(uint, const QVariantMap&)) {
    m_requestPath = RequestPath(token);
    m_onResponse = onResponse;
    m_bus.connect(kPortalService, m_requestPath, kRequestInterface, QStringLiteral("Response"), this,
                  SLOT(ResponseReceived(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kShortcutsInterface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, onResponse] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (!reply.isError()) {
            // A portal older than the one that names requests after the token answers with a path
            // of its own: the answer comes there.
            const QString path = reply.value().path();
            if (path != m_requestPath && m_onResponse == onResponse) {
                m_bus.disconnect(kPortalService, m_requestPath, kRequestInterface, QStringLiteral("Response"), this,
                                 SLOT(ResponseReceived(uint, QVariantMap)));
                m_requestPath = path;
                m_bus.connect(kPortalService, m_requestPath, kRequestInterface, QStringLiteral("Response"), this,
                              SLOT(ResponseReceived(uint, QVariantMap)));
            }
            return;
        }
        if (m_onResponse != onResponse)
            return;
        // No portal, or one without global shortcuts: the call itself fails.
        ResponseReceived(3, {{QStringLiteral("error"), reply.error().message()}});
    });
}

void TPortalGlobalHotKeys::ResponseReceived(uint code, const QVariantMap& results) {
    if (m_requestPath.isEmpty())
        return;
    m_bus.disconnect(kPortalService, m_requestPath, kRequestInterface, QStringLiteral("Response"), this,
                     SLOT(ResponseReceived(uint, QVariantMap)));
    m_requestPath.clear();
    const auto handler = std::exchange(m_onResponse, nullptr);
    if (handler != nullptr)
        (this->*handler)(code, results);
    if (std::exchange(m_bindPending, false))
        Bind();
}

void TPortalGlobalHotKeys::CreateSession() {
    m_session = TSession::Creating;
    const QVariantMap options{{QStringLiteral("handle_token"), NextToken()},
                              {QStringLiteral("session_handle_token"), NextToken()}};
    CallWithResponse(QStringLiteral("CreateSession"), {options},
                     options.value(QStringLiteral("handle_token")).toString(), &TPortalGlobalHotKeys::SessionCreated);
}

namespace {

QString ReasonOf(uint code, const QVariantMap& results) {
    const QString error = results.value(QStringLiteral("error")).toString();
    if (!error.isEmpty())
        return error;
    return code == 1 ? QStringLiteral("the request was declined") : QStringLiteral("the request failed");
}

} // namespace

void TPortalGlobalHotKeys::SessionCreated(uint code, const QVariantMap& results) {
    // The handle is a string in the interface's first version, an object path in some portals.
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    m_sessionPath = handle.userType() == qMetaTypeId<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                                        : handle.toString();
    if (code != 0 || m_sessionPath.isEmpty()) {
        m_session = TSession::Failed;
        emit Refused(code == 0 ? QStringLiteral("the portal made no session") : ReasonOf(code, results));
        return;
    }
    m_session = TSession::Open;
    m_bindPending = true; // binds the wishes as soon as the request has ended
}

void TPortalGlobalHotKeys::BindShortcuts() {
    TPortalShortcuts shortcuts;
    for (const auto& [id, wish] : m_wishes)
        shortcuts.append(
            {ShortcutIdOf(id),
             {{QStringLiteral("description"), wish.description.isEmpty() ? ShortcutIdOf(id) : wish.description},
              {QStringLiteral("preferred_trigger"), TriggerOf(wish.keys)}}});
    const QString token = NextToken();
    CallWithResponse(QStringLiteral("BindShortcuts"),
                     {QVariant::fromValue(QDBusObjectPath(m_sessionPath)), QVariant::fromValue(shortcuts), QString(),
                      QVariantMap{{QStringLiteral("handle_token"), token}}},
                     token, &TPortalGlobalHotKeys::ShortcutsBound);
}

void TPortalGlobalHotKeys::ShortcutsBound(uint code, const QVariantMap& results) {
    if (code != 0) {
        emit Refused(ReasonOf(code, results));
        return;
    }
    std::map<int, QString> triggers;
    TPortalShortcuts bound;
    const QVariant shortcuts = results.value(QStringLiteral("shortcuts"));
    if (shortcuts.canConvert<QDBusArgument>())
        shortcuts.value<QDBusArgument>() >> bound;
    for (const TPortalShortcut& shortcut : bound)
        for (const auto& [id, wish] : m_wishes)
            if (shortcut.Id == ShortcutIdOf(id))
                triggers[id] = shortcut.Properties.value(QStringLiteral("trigger_description")).toString();
    emit Bound(triggers);
}

void TPortalGlobalHotKeys::ActivatedReceived(const QDBusObjectPath& session, const QString& shortcutId, qulonglong,
                                             const QVariantMap&) {
    if (m_session != TSession::Open || session.path() != m_sessionPath)
        return;
    for (const auto& [id, wish] : m_wishes)
        if (shortcutId == ShortcutIdOf(id)) {
            emit Activated(id);
            return;
        }
}
