#include "alerts/AlertItem.h"
#include "alerts/AlertItems.h"
#include "app/ui/MainForm.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "gui/GuiTestSupport.h"
#include "gui/SelfRun.h"
#include "platform/Registry.h"
#include "platform/ui/TrayIcon.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QThread>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// The desktop's services on the session bus: the notification service and the tray host's
// watcher. The test starts a bus of its own and runs itself again on it, offering both services
// from a second connection of its own.
namespace {

constexpr const char* kTestName = "DesktopServices.NotificationsGoToTheServiceAndAReturningTrayHostGetsTheIcon";
constexpr const char* kFlowTestName =
    "DesktopServices.ThreeAlertsAreCheckedAndAChangedPageBringsTheBlinkTheNoticeAndTheWindow";
constexpr const char* kTrayTestName = "DesktopServices.AStatusNotifierHostsActivationBringsUpTheBalanceList";

struct Notification {
    QString appName;
    uint replacesId = 0;
    QString summary, body;
    int imageWidth = 0;
    int timeoutMs = 0;
    int urgency = -1; // the hint, when sent
};

// A notification service that keeps what it is sent. While `holdReplies` is set it answers no
// Notify call until the test sends the replies kept in `heldReplies`.
class FakeNotifications : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    std::vector<Notification> received;
    bool holdReplies = false;
    std::vector<QDBusMessage> heldReplies;

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("body-markup")}; }
    uint Notify(const QString& appName, uint replacesId, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int timeout) {
        Notification n{appName, replacesId, summary, body, 0, timeout};
        if (hints.contains(QStringLiteral("urgency")))
            n.urgency = hints.value(QStringLiteral("urgency")).toInt();
        const auto image = hints.value(QStringLiteral("image-data")).value<QDBusArgument>();
        int height = 0, stride = 0, bits = 0, channels = 0;
        bool alpha = false;
        QByteArray data;
        image.beginStructure();
        image >> n.imageWidth >> height >> stride >> alpha >> bits >> channels >> data;
        image.endStructure();
        if (data.size() != stride * height || channels != 4 || bits != 8 || !alpha)
            n.imageWidth = -1;
        received.push_back(n);
        const uint id = 40 + static_cast<uint>(received.size());
        if (holdReplies) {
            setDelayedReply(true);
            heldReplies.push_back(message().createReply(QVariant::fromValue(id)));
        }
        return id;
    }
};

// The desktop's side of the private bus: a connection of its own offering the notification
// service; closed, with the names it owns, when the object goes.
struct Desktop {
    QDBusConnection connection =
        QDBusConnection::connectToBus(QString::fromLocal8Bit(qgetenv(kTestBusVariable)), QStringLiteral("desktop"));
    FakeNotifications service;

    bool Offer() {
        return connection.isConnected() &&
               connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                         QDBusConnection::ExportAllSlots) &&
               connection.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    ~Desktop() {
        connection.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        connection.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        // A private connection is closed before its last reference goes.
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
    }
};

// A tray host's watcher with its host registered: Qt's X11 platform then hands the icon to the host
// as a StatusNotifierItem on the bus, which registers itself here. It answers from a thread of its
// own, since Qt asks it with calls that wait for the answer.
class FakeTrayWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)

public:
    bool IsStatusNotifierHostRegistered() const { return true; }
    int ProtocolVersion() const { return 0; }
    QStringList RegisteredStatusNotifierItems() const {
        std::lock_guard lock(m_mutex);
        return m_items;
    }

public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        std::lock_guard lock(m_mutex);
        // An item names its bus name, or only its object's path on the connection it calls from.
        m_items << (service.startsWith(QLatin1Char('/')) ? message().service() : service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    mutable std::mutex m_mutex;
    QStringList m_items;
};

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

void checkOnThePrivateBus() {
    TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path() + "/data"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path() + "/config"));
    TRegistry::Instance().DeleteKey(kProgramKey);
    TRegistry::Instance().OpenKey(kProgramKey, true)->WriteString("Value_Password", Md5Hex("pw"));

    Desktop desktopServices;
    ASSERT_TRUE(desktopServices.Offer());
    QDBusConnection& desktop = desktopServices.connection;
    FakeNotifications& service = desktopServices.service;

    AnswerInputBox("pw");
    TfmMain form;
    ASSERT_TRUE(form.FormCreate());
    EXPECT_TRUE(form.BalloonCapable());
    EXPECT_TRUE(form.cbShowBalloonTip->isEnabled());

    TAlertItem alert;
    alert.Name = "A & B";
    alert.SetBalances({100, 200});
    form.NotifyBalanceChanged(alert);
    ASSERT_TRUE(ProcessEventsUntil([&] { return service.received.size() == 1; }));
    EXPECT_EQ(service.received[0].appName, QStringLiteral("Tallyglass"));
    EXPECT_EQ(service.received[0].replacesId, 0u);
    EXPECT_EQ(service.received[0].summary, QStringLiteral("A & B"));
    // The service reads markup: the text arrives escaped.
    EXPECT_EQ(service.received[0].body, QStringLiteral("Balance in 'A &amp; B' changed. You can find the detailed "
                                                       "information in Balance List window."));
    EXPECT_EQ(service.received[0].timeoutMs, 10000);
    EXPECT_EQ(service.received[0].imageWidth, 64);

    // The next one takes the place of the first (once its number came back); none while the user
    // does not want them.
    ProcessEventsUntil([] { return false; }, 1000);
    form.NotifyBalanceUnavailable(alert);
    ASSERT_TRUE(ProcessEventsUntil([&] { return service.received.size() == 2; }));
    EXPECT_EQ(service.received[1].replacesId, 41u);
    EXPECT_EQ(service.received[1].body,
              QStringLiteral("Balance for 'A &amp; B' cannot be retrieved - probably service down."));

    // Notices asked for while the service has not answered the last one yet wait for its number,
    // and only the newest of them goes: each takes the place of the one before, so one is on screen.
    service.holdReplies = true;
    form.NotifyBalanceUnavailable(alert);
    ASSERT_TRUE(ProcessEventsUntil([&] { return service.received.size() == 3; }));
    EXPECT_EQ(service.received[2].replacesId, 42u);
    TAlertItem other;
    other.Name = "Other";
    form.NotifyBalanceUnavailable(alert);
    form.NotifyBalanceUnavailable(other);
    ProcessEventsUntil([] { return false; }, 300);
    EXPECT_EQ(service.received.size(), 3u);
    service.holdReplies = false;
    for (const QDBusMessage& reply : service.heldReplies)
        desktop.send(reply);
    ASSERT_TRUE(ProcessEventsUntil([&] { return service.received.size() == 4; }));
    EXPECT_EQ(service.received[3].replacesId, 43u);
    EXPECT_EQ(service.received[3].summary, QStringLiteral("Other"));
    ProcessEventsUntil([] { return false; }, 300);
    EXPECT_EQ(service.received.size(), 4u);

    form.Settings.ShowBalloonTip = false;
    form.NotifyBalanceUnavailable(alert);
    ProcessEventsUntil([] { return false; }, 300);
    EXPECT_EQ(service.received.size(), 4u);
    EXPECT_EQ(service.received[3].urgency, -1);

    // A balance beyond a limit is told all the same, as a critical notice that stays, and marks the
    // tray icon until the Balance List is shown.
    TLimitVerdict below;
    below.NewWarning = TWarnZone::Below;
    below.Limit = 5000;
    form.SetBalanceListVisible(false);
    form.NotifyLimits(alert, below, std::string());
    ASSERT_TRUE(ProcessEventsUntil([&] { return service.received.size() == 5; }));
    EXPECT_EQ(service.received[4].urgency, 2);
    EXPECT_EQ(service.received[4].timeoutMs, 0);
    EXPECT_NE(service.received[4].body.indexOf(QStringLiteral("is below your limit of 50")), -1)
        << service.received[4].body.toStdString();
    EXPECT_EQ(form.TrayIcon()->Icon(), TTrayIconKind::Warning);
    form.SetBalanceListVisible(true);
    EXPECT_EQ(form.TrayIcon()->Icon(), TTrayIconKind::Normal);

    // A tray host that starts gets the icon handed over again.
    const std::string logPath = dir.path() + "/data/TallyData/log.txt";
    EXPECT_EQ(count(ReadFileBytes(logPath), ": Tray icon added."), 1u);
    ASSERT_TRUE(desktop.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    EXPECT_TRUE(ProcessEventsUntil([&] { return count(ReadFileBytes(logPath), ": Tray icon added.") == 2; }));
    EXPECT_EQ(count(ReadFileBytes(logPath), ": Adding icon to tray..."), 2u);
    desktop.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

// The program as a user has it: three active alerts whose pages a local server serves. The
// checks show the balances; a page whose balance rises brings the blink, the notice and the
// Balance List window.
void checkProgramFlow() {
    TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path() + "/data"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path() + "/config"));
    TRegistry::Instance().DeleteKey(kProgramKey);
    TRegistry::Instance().OpenKey(kProgramKey, true)->WriteString("Value_Password", Md5Hex("pw"));

    std::mutex balanceMutex;
    std::map<std::string, std::string> balances = {{"a", "10.00"}, {"b", "-2.50"}, {"c", "7.05"}};
    TestServer site;
    site.server().Get(R"(/(\w))", [&](const httplib::Request& request, httplib::Response& response) {
        std::lock_guard lock(balanceMutex);
        response.set_content("<p>Balance: <b>" + balances[request.matches[1]] + " EUR</b></p>", "text/html");
    });
    site.start();
    const std::string program = dir.path() + "/program/";
    QDir().mkpath(QString::fromStdString(program + "BalanceAlerts"));
    std::string definitions = "[COMMON]\r\nlist_name=Flow\r\n\r\n";
    for (const char* name : {"a", "b", "c"})
        definitions += std::string("[Account ") + name + "]\r\nunique_id=FLOW_" + name +
                       "\r\nneed_auth=no\r\npage_url=" + site.url(std::string("/") + name) +
                       "\r\npattern=<b>(-?\\d+)(\\.)(\\d\\d) EUR</b>\r\n\r\n";
    WriteFileBytes(program + "BalanceAlerts/flow.bal", EncryptBytes(kDefinitionPassphrase, definitions));
    for (auto& list : LoadAlertFolder(program + "BalanceAlerts/", kProgramKey, Md5Hex("pw"))) {
        for (auto& alert : list->Alerts) {
            alert->Active = true;
            alert->LastCheckedTime = 0; // checked long ago: due at once
            list->SaveState(*alert);
        }
    }

    Desktop desktopServices;
    ASSERT_TRUE(desktopServices.Offer());
    FakeNotifications& service = desktopServices.service;

    // Nothing is offered on the bus while the password is asked for.
    const QString busName = QString::fromLatin1(kDesktopServiceName);
    bool ownedAtPrompt = true;
    PushDialogAnswer([&](QDialog& dialog) {
        ownedAtPrompt = desktopServices.connection.interface()->isServiceRegistered(busName);
        dynamic_cast<TfmInputBox&>(dialog).edInput->setText(QStringLiteral("pw"));
        return static_cast<int>(QDialog::Accepted);
    });
    TfmMain form;
    form.Settings.ExePath = program;
    ASSERT_TRUE(form.FormCreate());
    EXPECT_FALSE(ownedAtPrompt);
    EXPECT_TRUE(desktopServices.connection.interface()->isServiceRegistered(busName));
    TfmBalanceList& window = *form.BalanceListWindow();
    TBalanceList& list = window.BalanceList();
    list.SetConnectivity([] { return true; });
    ASSERT_EQ(list.RowCount(), 3);
    EXPECT_FALSE(window.isVisible());

    // The three are due together: one check starts per tick.
    auto checksDone = [&] { return ProcessEventsUntil([&] { return list.RunningCheckCount() == 0; }, 20000); };
    for (int tick = 0; tick < 3; ++tick) {
        list.tmCheckTimerTimer();
        EXPECT_EQ(list.RunningCheckCount(), 1) << tick;
        ASSERT_TRUE(checksDone());
    }
    // A tick shows the time of the last check in the rows it passes; the row checked last still
    // shows how its check went.
    std::map<std::string, std::string> shown;
    int ok = 0;
    for (const TBalanceRow& row : list.Rows()) {
        shown[row.Caption] = row.BalanceText;
        ok += row.StatusText == "OK";
        EXPECT_NE(row.StatusText, "ERR") << row.Caption;
    }
    EXPECT_EQ(ok, 1);
    const std::string sep = SystemDecimalSeparator();
    EXPECT_EQ(shown, (std::map<std::string, std::string>{{"Account a", "10" + sep + "00"},
                                                         {"Account b", "-2" + sep + "50"},
                                                         {"Account c", "7" + sep + "05"}}));
    // First balances are no change: nothing to tell.
    EXPECT_FALSE(form.Notifier()->Blinking());
    EXPECT_TRUE(service.received.empty());

    {
        std::lock_guard lock(balanceMutex);
        balances["a"] = "12.00";
    }
    TAlertItem& changed = *list.Rows().front().Alert;
    ASSERT_EQ(changed.Name, "Account a");
    list.CheckNow(changed);
    ASSERT_TRUE(checksDone());
    EXPECT_EQ(list.Rows().front().BalanceText, "12" + sep + "00");
    EXPECT_EQ(list.Rows().front().ImageIndex, biGrowthUp);
    EXPECT_TRUE(form.Notifier()->Blinking());
    EXPECT_EQ(form.Notifier()->BlinkIcon(), TTrayIconKind::Growth);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(form.miBalanceListWindow->isChecked());
    ASSERT_TRUE(ProcessEventsUntil([&] { return service.received.size() == 1; }));
    EXPECT_EQ(service.received[0].summary, QStringLiteral("Account a"));
    EXPECT_EQ(service.received[0].body, QStringLiteral("Balance in 'Account a' changed. You can find the detailed "
                                                       "information in Balance List window."));
    const std::string log = ReadFileBytes(dir.path() + "/data/TallyData/log.txt");
    EXPECT_EQ(count(log, ": Balance for 'Account a' changed.\r\n"), 1u);
    EXPECT_EQ(count(log, ": Create check thread for 'Account b' alert...\r\n"), 1u);

    // A status bar asks for a check and the settings window on the bus; the form carries them out.
    const auto askProgram = [&](const QString& method, const QVariantList& args) {
        QDBusMessage message = QDBusMessage::createMethodCall(busName, QString::fromLatin1(kDesktopObjectPath),
                                                              QString::fromLatin1(kDesktopInterface), method);
        message.setArguments(args);
        const QDBusPendingCall call = desktopServices.connection.asyncCall(message);
        EXPECT_TRUE(ProcessEventsUntil([&] { return call.isFinished(); }));
        return call.isError() ? call.error().name() : QString();
    };
    {
        std::lock_guard lock(balanceMutex);
        balances["c"] = "8.00";
    }
    EXPECT_EQ(askProgram(QStringLiteral("CheckNow"), {QStringLiteral("FLOW_c")}), QString());
    EXPECT_TRUE(ProcessEventsUntil(
        [&] {
            return std::any_of(list.Rows().begin(), list.Rows().end(), [&](const TBalanceRow& row) {
                return row.Caption == "Account c" && row.BalanceText == "8" + sep + "00";
            });
        },
        20000));
    EXPECT_EQ(askProgram(QStringLiteral("CheckNow"), {QStringLiteral("FLOW_x")}), QString::fromLatin1(kUnknownIdError));
    EXPECT_EQ(askProgram(QStringLiteral("ShowSettings"), {}), QString());
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(checksDone());
}

// On a StatusNotifierItem host (KDE Plasma, GNOME's AppIndicator extension, waybar) the icon
// never sees a double click: the host's activation, a left click, brings up the Balance List.
void checkTrayActivation() {
    TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path() + "/data"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path() + "/config"));
    TRegistry::Instance().DeleteKey(kProgramKey);
    TRegistry::Instance().OpenKey(kProgramKey, true)->WriteString("Value_Password", Md5Hex("pw"));

    struct TrayHost {
        QThread thread;
        FakeTrayWatcher watcher;
        QDBusConnection connection = QDBusConnection::connectToBus(QString::fromLocal8Bit(qgetenv(kTestBusVariable)),
                                                                   QStringLiteral("tray-host"));
        ~TrayHost() {
            connection.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
            connection.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
            QDBusConnection::disconnectFromBus(QStringLiteral("tray-host"));
            thread.quit();
            thread.wait();
        }
    } host;
    host.watcher.moveToThread(&host.thread);
    host.thread.start();
    ASSERT_TRUE(host.connection.registerObject(QStringLiteral("/StatusNotifierWatcher"), &host.watcher,
                                               QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(host.connection.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));

    AnswerInputBox("pw");
    TfmMain form;
    ASSERT_TRUE(form.FormCreate());
    ASSERT_TRUE(form.TrayIconAdded());
    TfmBalanceList& balanceList = *form.BalanceListWindow();
    EXPECT_FALSE(balanceList.isVisible());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !host.watcher.RegisteredStatusNotifierItems().isEmpty(); }))
        << "the icon did not go to the tray host";

    // The host's activation of the item, as a left click on its icon in the panel sends it.
    QDBusMessage activate = QDBusMessage::createMethodCall(
        host.watcher.RegisteredStatusNotifierItems().back(), QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
    activate << 0 << 0;
    const QDBusPendingCall call = host.connection.asyncCall(activate);
    EXPECT_TRUE(ProcessEventsUntil([&] { return balanceList.isVisible(); }));
    EXPECT_TRUE(form.miBalanceListWindow->isChecked());
    EXPECT_TRUE(form.Settings.BalanceWindowVisible);
    EXPECT_TRUE(ProcessEventsUntil([&] { return call.isFinished(); }));
    EXPECT_FALSE(call.isError()) << call.error().message().toStdString();
}

} // namespace

TEST(DesktopServices, AStatusNotifierHostsActivationBringsUpTheBalanceList) {
    if (qEnvironmentVariableIsSet(kTestBusVariable)) {
        checkTrayActivation();
        return;
    }
    RunTestOnAPrivateBus(kTrayTestName, true);
}

TEST(DesktopServices, NotificationsGoToTheServiceAndAReturningTrayHostGetsTheIcon) {
    if (qEnvironmentVariableIsSet(kTestBusVariable)) {
        checkOnThePrivateBus();
        return;
    }
    RunTestOnAPrivateBus(kTestName);
}

TEST(DesktopServices, ThreeAlertsAreCheckedAndAChangedPageBringsTheBlinkTheNoticeAndTheWindow) {
    if (qEnvironmentVariableIsSet(kTestBusVariable)) {
        checkProgramFlow();
        return;
    }
    RunTestOnAPrivateBus(kFlowTestName);
}

#include "NotificationTest.moc"
