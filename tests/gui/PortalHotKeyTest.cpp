// Hotkeys through the desktop portal, as Wayland desktops offer them, against a portal of the test's
// own on a private session bus.
#include "app/ui/MainForm.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "gui/GuiTestSupport.h"
#include "gui/SelfRun.h"
#include "platform/Registry.h"
#include "platform/ShortCut.h"
#include "platform/ui/PortalGlobalHotKeys.h"
#include "support/TestSupport.h"
#include "widgets/HotKeyEdit.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr const char* kTestName = "GlobalHotKeys.ThePortalBindsTheHotkeysAndItsActivationTogglesTheWindows";
constexpr std::uint16_t kCtrlAlt = 0x4000 | 0x8000; // the stored shortcut's Ctrl and Alt bits

// The desktop portal's GlobalShortcuts interface, keeping what it is asked. It answers every request
// at once, as a desktop does once the user has confirmed, and binds the triggers it was offered.
class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")

public:
    QString sessionPath;
    std::vector<TPortalShortcuts> bindings;
    bool declineBinding = false;

public slots:
    QDBusObjectPath CreateSession(const QVariantMap& options) {
        const QString sender = senderPart();
        sessionPath = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                          .arg(sender, options.value(QStringLiteral("session_handle_token")).toString());
        return answer(options, 0, {{QStringLiteral("session_handle"), sessionPath}});
    }
    QDBusObjectPath BindShortcuts(const QDBusObjectPath& session, const TPortalShortcuts& shortcuts, const QString&,
                                  const QVariantMap& options) {
        if (session.path() != sessionPath) {
            sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no such session"));
            return {};
        }
        bindings.push_back(shortcuts);
        TPortalShortcuts bound = shortcuts;
        for (TPortalShortcut& shortcut : bound)
            shortcut.Properties = {
                {QStringLiteral("description"), shortcut.Properties.value("description")},
                {QStringLiteral("trigger_description"),
                 QStringLiteral("Press ") + shortcut.Properties.value("preferred_trigger").toString()}};
        return answer(options, declineBinding ? 1 : 0, {{QStringLiteral("shortcuts"), QVariant::fromValue(bound)}});
    }

private:
    QString senderPart() const {
        QString sender = message().service();
        return sender.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
    }
    // Replies with the request's path, then sends its Response.
    QDBusObjectPath answer(const QVariantMap& options, uint code, const QVariantMap& results) {
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(senderPart(), options.value(QStringLiteral("handle_token")).toString());
        QDBusMessage response = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Request"),
                                                           QStringLiteral("Response"));
        response << code << results;
        setDelayedReply(true);
        connection().send(message().createReply(QVariant::fromValue(QDBusObjectPath(path))));
        connection().send(response);
        return QDBusObjectPath(path);
    }
};

struct Portal {
    QDBusConnection connection =
        QDBusConnection::connectToBus(QString::fromLocal8Bit(qgetenv(kTestBusVariable)), QStringLiteral("portal"));
    FakePortal service;

    bool Offer() {
        return connection.isConnected() &&
               connection.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &service,
                                         QDBusConnection::ExportAllSlots) &&
               connection.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
    void Activate(const QString& session, const QString& id) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                         QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
                                                         QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong{1} << QVariantMap();
        connection.send(signal);
    }
    ~Portal() {
        connection.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        connection.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
        QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
    }
};

QString triggerOf(const TPortalShortcuts& shortcuts, int id) {
    for (const TPortalShortcut& shortcut : shortcuts)
        if (shortcut.Id == TPortalGlobalHotKeys::ShortcutIdOf(id))
            return shortcut.Properties.value(QStringLiteral("preferred_trigger")).toString();
    return {};
}

void checkThePortal() {
    qDBusRegisterMetaType<TPortalShortcut>();
    qDBusRegisterMetaType<TPortalShortcuts>();
    TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path() + "/data"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path() + "/config"));

    // Without a portal on the bus the wish is handed on and refused, with the bus's reason.
    {
        TPortalGlobalHotKeys alone(QDBusConnection::sessionBus());
        QString reason;
        QObject::connect(&alone, &TPortalGlobalHotKeys::Refused, [&reason](const QString& why) { reason = why; });
        EXPECT_TRUE(alone.Register(1, QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_B)));
        EXPECT_FALSE(alone.Register(2, QKeyCombination(Qt::ControlModifier, Qt::Key_Control)));
        ASSERT_TRUE(ProcessEventsUntil([&] { return !reason.isEmpty(); }, 10000));
        EXPECT_NE(reason.indexOf(QStringLiteral("org.freedesktop.portal.Desktop")), -1) << reason.toStdString();
    }

    Portal portal;
    ASSERT_TRUE(portal.Offer());
    TRegistry::Instance().DeleteKey(kProgramKey);
    {
        auto key = TRegistry::Instance().OpenKey(kProgramKey, true);
        key->WriteString("Value_Password", Md5Hex("pw"));
        key->WriteInteger("Value_ShowBalanceWindowShortCut", kCtrlAlt | 'B');
        key->WriteInteger("Value_ShowMainWindowShortCut", kCtrlAlt | 'M');
    }
    AnswerInputBox("pw");
    TfmMain form;
    ASSERT_TRUE(form.FormCreate());
    QWidget& balanceList = *form.BalanceListWindow();

    // Both hotkeys in one binding, with the combinations chosen and what they do.
    ASSERT_TRUE(ProcessEventsUntil([&] { return !portal.service.bindings.empty(); }, 10000));
    ASSERT_EQ(portal.service.bindings.size(), 1u);
    const TPortalShortcuts& first = portal.service.bindings[0];
    ASSERT_EQ(first.size(), 2);
    EXPECT_EQ(triggerOf(first, TfmMain::hkBalanceWindow), QStringLiteral("CTRL+ALT+b"));
    EXPECT_EQ(triggerOf(first, TfmMain::hkMainWindow), QStringLiteral("CTRL+ALT+m"));
    EXPECT_EQ(first[0].Properties.value(QStringLiteral("description")).toString(),
              QStringLiteral("Show/Hide Balance List window"));
    const std::string logPath = dir.path() + "/data/TallyData/log.txt";
    EXPECT_TRUE(ProcessEventsUntil([&] {
        return ReadFileBytes(logPath).find(
                   ": The desktop bound the hotkey of \"Show/Hide Balance List window\" to Press CTRL+ALT+b.") !=
               std::string::npos;
    })) << ReadFileBytes(logPath);

    // The desktop's presses toggle the windows; a press of another session does nothing.
    const bool shown = balanceList.isVisible();
    portal.Activate(portal.service.sessionPath, TPortalGlobalHotKeys::ShortcutIdOf(TfmMain::hkBalanceWindow));
    EXPECT_TRUE(ProcessEventsUntil([&] { return balanceList.isVisible() != shown; }, 10000));
    portal.Activate(portal.service.sessionPath + QStringLiteral("x"),
                    TPortalGlobalHotKeys::ShortcutIdOf(TfmMain::hkBalanceWindow));
    portal.Activate(portal.service.sessionPath, TPortalGlobalHotKeys::ShortcutIdOf(TfmMain::hkMainWindow));
    EXPECT_TRUE(ProcessEventsUntil([&] { return form.SettingsWindowShown(); }, 10000));
    EXPECT_NE(balanceList.isVisible(), shown);

    // New combinations after OK are bound anew, in one binding, on the same session; a binding the
    // user declines is logged and leaves the program running.
    portal.service.declineBinding = true;
    form.hkShowBalWindow->SetHotKey(kCtrlAlt | 'Q');
    form.btnOKClick();
    ASSERT_TRUE(ProcessEventsUntil([&] { return portal.service.bindings.size() == 2; }, 10000));
    EXPECT_EQ(triggerOf(portal.service.bindings[1], TfmMain::hkBalanceWindow), QStringLiteral("CTRL+ALT+q"));
    EXPECT_EQ(triggerOf(portal.service.bindings[1], TfmMain::hkMainWindow), QStringLiteral("CTRL+ALT+m"));
    EXPECT_TRUE(ProcessEventsUntil([&] {
        return ReadFileBytes(logPath).find(": The desktop did not bind the hotkeys: the request was declined.") !=
               std::string::npos;
    })) << ReadFileBytes(logPath);
    ProcessEventsUntil([] { return false; }, 200);
    EXPECT_EQ(portal.service.bindings.size(), 2u);
}

} // namespace

TEST(GlobalHotKeys, ThePortalBindsTheHotkeysAndItsActivationTogglesTheWindows) {
    if (qEnvironmentVariableIsSet(kTestBusVariable)) {
        checkThePortal();
        return;
    }
    RunTestOnAPrivateBus(kTestName);
}

#include "PortalHotKeyTest.moc"
