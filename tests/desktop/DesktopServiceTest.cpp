#include "support/TestBus.h"
#include "support/TestServer.h"

#include "alerts/AlertItems.h"
#include "balancelist/BalanceList.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "desktop/DesktopService.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const char* const kRoot = "Software\\Brightmoor\\Tallyglass";

// A session bus of the test's own, which anyone of this user may use and own names on.
// A private bus whose connections are dropped with it.
class PrivateBus {
public:
    PrivateBus() {
        error = m_bus.Start();
        address = m_bus.Address();
    }
    ~PrivateBus() {
        for (const QString& name : m_names)
            QDBusConnection::disconnectFromBus(name);
    }
    // The bus goes away under its connections.
    void stop() { m_bus.Stop(); }
    QDBusConnection connect(const QString& name) {
        m_names.push_back(name);
        return QDBusConnection::connectToBus(address, name);
    }

    std::string error;
    QString address;

private:
    TTestBus m_bus;
    QStringList m_names;
};

// Every PropertiesChanged of the program's object, with the rows it carries.
class SignalRecorder : public QObject {
    Q_OBJECT

public:
    std::vector<TBalanceEntries> told;

public slots:
    void PropertiesChanged(const QString& interfaceName, const QVariantMap& changed, const QStringList&) {
        TBalanceEntries entries;
        EXPECT_EQ(interfaceName, QString::fromLatin1(kDesktopInterface));
        EXPECT_TRUE(EntriesFromVariant(changed.value(QStringLiteral("Balances")), entries));
        told.push_back(entries);
    }
};

struct RecordingOwner : IBalanceListOwner {
    void NotifyBalanceChanged(TAlertItem&) override {}
    void NotifyBalanceUnavailable(TAlertItem&) override {}
    void DeactivateAlert(TAlertItem&) override {}
    void BalanceListClosed() override {}
};

struct RecordingActions : IDesktopActions {
    explicit RecordingActions(TBalanceList& list) : list(list) {}
    void ShowBalanceList() override { calls.push_back("list"); }
    void ShowSettings() override { calls.push_back("settings"); }
    void CheckNow(TAlertItem& alert) override {
        calls.push_back("check " + alert.unique_id);
        list.CheckNow(alert);
    }
    TBalanceList& list;
    std::vector<std::string> calls;
};

// tallyglass-tool on the private bus, its standard output a pipe the test reads and may close.
class ToolRun {
public:
    ToolRun(const QString& busAddress, const std::vector<std::string>& args) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        m_out = fds[0];
        fcntl(m_out, F_SETFL, O_NONBLOCK);
        std::vector<std::string> env{"DBUS_SESSION_BUS_ADDRESS=" + busAddress.toStdString()};
        for (char** e = environ; *e != nullptr; ++e)
            if (std::string_view(*e).rfind("DBUS_SESSION_BUS_ADDRESS=", 0) != 0)
                env.emplace_back(*e);
        std::vector<std::string> argv{BinPath("tallyglass-tool"), "status"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> argp, envp;
        for (auto& a : argv)
            argp.push_back(a.data());
        argp.push_back(nullptr);
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        if (posix_spawn(&m_pid, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
    }
    ~ToolRun() {
        closeOutput();
        if (m_pid > 0 && !finished()) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }

    // The next whole line, while the test process goes on answering on the bus.
    bool nextLine(std::string& line) {
        const bool got = ProcessEventsUntil(
            [&] {
                readSome();
                return m_buffer.find('\n') != std::string::npos;
            },
            30000);
        if (!got)
            return false;
        const std::size_t end = m_buffer.find('\n');
        line = m_buffer.substr(0, end);
        m_buffer.erase(0, end + 1);
        return true;
    }
    void closeOutput() {
        if (m_out >= 0)
            close(m_out);
        m_out = -1;
    }
    bool finished() {
        if (m_pid <= 0 || m_exited)
            return true;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) != m_pid)
            return false;
        m_exited = true;
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return true;
    }
    // The exit code once the tool ended in time, else -2.
    int exitCode() {
        return ProcessEventsUntil([this] { return finished(); }, 30000) ? m_exitCode : -2;
    }
    bool started() const { return m_pid > 0; }

private:
    void readSome() {
        char chunk[4096];
        ssize_t n = 0;
        while (m_out >= 0 && (n = read(m_out, chunk, sizeof chunk)) > 0)
            m_buffer.append(chunk, static_cast<std::size_t>(n));
    }

    pid_t m_pid = -1;
    int m_out = -1;
    bool m_exited = false;
    int m_exitCode = -1;
    std::string m_buffer;
};

class DesktopServiceTest : public ::testing::Test {
protected:
    DesktopServiceTest() : store(dir.file("registry.db")) {
        alerts = std::shared_ptr<TAlertItems>(std::make_unique<TAlertItems>());
        alerts->RegistryRoot = kRoot;
        alerts->StateKey = Md5Hex("program password");
        alerts->Store = &store;
        log->OpenLog(dir.file("log.txt"));
        log->SetEnabled(true);
        balanceList.SetConnectivity([] { return true; });
        http.server().Get("/page/(\\w+)", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex);
            res.set_content(bodies[req.matches[1]], "text/html");
        });
        http.start();
    }

    void SetUp() override {
        if (bus.error.find("not installed") != std::string::npos)
            GTEST_SKIP() << bus.error;
        ASSERT_EQ(bus.error, "");
    }

    TAlertItem& addAlert(const std::string& name, const std::string& path) {
        auto alert = std::make_unique<TAlertItem>(alerts.get());
        alert->Name = name;
        alert->unique_id = "ID-" + name;
        alert->page_url = http.url(path);
        alert->pattern = "Balance: (-?\\d+)(\\.)(\\d\\d)";
        TAlertItem& added = *alerts->AddAlert(std::move(alert));
        added.Active = true;
        added.LastCheckedTime = Now();
        balanceList.AddAlertRow(added);
        return added;
    }
    void setBody(const std::string& name, const std::string& body) {
        std::lock_guard lock(mutex);
        bodies[name] = body;
    }

    static QDBusMessage call(const QString& method, const QVariantList& args = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(kDesktopServiceName),
                                                              QString::fromLatin1(kDesktopObjectPath),
                                                              QString::fromLatin1(kDesktopInterface), method);
        message.setArguments(args);
        return message;
    }
    // A call answered while the test's own event loop serves the program's side.
    QDBusMessage ask(QDBusConnection& connection, const QDBusMessage& message) {
        QDBusPendingCall pending = connection.asyncCall(message, 20000);
        EXPECT_TRUE(ProcessEventsUntil([&] { return pending.isFinished(); }, 30000));
        return pending.reply();
    }
    TBalanceEntries readBalances(QDBusConnection& connection) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            QString::fromLatin1(kDesktopServiceName), QString::fromLatin1(kDesktopObjectPath),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QString::fromLatin1(kDesktopInterface) << QStringLiteral("Balances");
        const QDBusMessage reply = ask(connection, get);
        TBalanceEntries entries;
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        if (reply.type() == QDBusMessage::ReplyMessage) {
            EXPECT_TRUE(EntriesFromVariant(reply.arguments().value(0).value<QDBusVariant>().variant(), entries));
        }
        return entries;
    }

    TempDir dir;
    TRegistry store;
    std::shared_ptr<TAlertItems> alerts;
    std::shared_ptr<TLogFile> log = std::make_shared<TLogFile>();
    RecordingOwner owner;
    TBalanceList balanceList{owner, log, dir.path() + "/"};
    RecordingActions actions{balanceList};
    std::mutex mutex;
    std::map<std::string, std::string> bodies;
    TestServer http;
    PrivateBus bus;
};

// The interface element of an introspection text, as sorted lines of its members with their
// attributes; Qt's own annotations and the layout are left out.
std::vector<std::string> InterfaceMembers(const QString& xml) {
    std::vector<std::string> members;
    QXmlStreamReader reader(xml);
    bool inside = false;
    std::string current;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("interface"))
            inside = reader.attributes().value(QLatin1String("name")) == QLatin1String(kDesktopInterface);
        else if (reader.isEndElement() && reader.name() == QLatin1String("interface"))
            inside = false;
        if (!inside || !reader.isStartElement() || reader.name() == QLatin1String("interface"))
            continue;
        if (reader.name() == QLatin1String("annotation") &&
            reader.attributes().value(QLatin1String("name")).startsWith(QLatin1String("org.qtproject.")))
            continue;
        std::vector<std::string> attributes;
        for (const QXmlStreamAttribute& a : reader.attributes())
            attributes.push_back(a.name().toString().toStdString() + "=" + a.value().toString().toStdString());
        std::sort(attributes.begin(), attributes.end());
        std::string text = reader.name().toString().toStdString();
        for (const auto& a : attributes)
            text += " " + a;
        if (reader.name() == QLatin1String("method") || reader.name() == QLatin1String("property") ||
            reader.name() == QLatin1String("signal")) {
            members.push_back(text);
        } else if (!members.empty()) {
            members.back() += " / " + text;
        }
    }
    std::sort(members.begin(), members.end());
    return members;
}

} // namespace

TEST_F(DesktopServiceTest, TheListIsOnTheBusEveryTurnsChangesAreToldOnceAndMistakesGetErrors) {
    TAlertItem& bank = addAlert("Bank", "/page/bank");
    TAlertItem& mobile = addAlert("Mobile", "/page/mobile");
    setBody("bank", "Balance: 1234.56");
    QDBusConnection program = bus.connect(QStringLiteral("program"));
    QDBusConnection client = bus.connect(QStringLiteral("client"));
    ASSERT_TRUE(program.isConnected() && client.isConnected());

    TDesktopService service(balanceList, actions, log);
    ASSERT_TRUE(service.Register(program));
    TBalanceEntries entries = readBalances(client);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0], (TBalanceEntry{"ID-Bank", "Bank", "-", "same", entries[0].Status, "", 0}));
    EXPECT_EQ(entries[1].Id, "ID-Mobile");

    // The shipped interface file says what the object offers.
    QDBusMessage introspect = QDBusMessage::createMethodCall(
        QString::fromLatin1(kDesktopServiceName), QString::fromLatin1(kDesktopObjectPath),
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
    const QDBusMessage xml = ask(client, introspect);
    const std::vector<std::string> shipped = InterfaceMembers(QString::fromStdString(
        ReadFileBytes(std::string(TALLYGLASS_SOURCE_DIR) + "/data/dbus/org.tallyglass.Tallyglass.xml")));
    EXPECT_FALSE(shipped.empty());
    EXPECT_EQ(InterfaceMembers(xml.arguments().value(0).toString()), shipped);

    SignalRecorder recorder;
    std::vector<TBalanceEntries>& told = recorder.told;
    ASSERT_TRUE(client.connect(QString::fromLatin1(kDesktopServiceName), QString::fromLatin1(kDesktopObjectPath),
                               QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
                               &recorder, SLOT(PropertiesChanged(QString, QVariantMap, QStringList))));
    // Two rows renamed in one turn make one signal.
    balanceList.RenameAlertRow(bank, "Bank A");
    balanceList.RenameAlertRow(mobile, "Mobile B");
    ASSERT_TRUE(ProcessEventsUntil([&] { return told.size() >= 1; }));
    EXPECT_FALSE(ProcessEventsUntil([&] { return told.size() > 1; }, 300));
    EXPECT_EQ(told.back()[0].Name, "Bank A");
    EXPECT_EQ(told.back()[1].Name, "Mobile B");

    // A check asked for on the bus runs against the page, and its outcome reaches the reader.
    const QDBusMessage checked = ask(client, call(QStringLiteral("CheckNow"), {QStringLiteral("ID-Bank")}));
    EXPECT_EQ(checked.type(), QDBusMessage::ReplyMessage) << checked.errorMessage().toStdString();
    ASSERT_TRUE(ProcessEventsUntil([&] { return told.back()[0].Balance == "1234.56"; }, 30000));
    EXPECT_EQ(told.back()[0].Status, "OK");
    EXPECT_EQ(readBalances(client), told.back());
    EXPECT_EQ(actions.calls, std::vector<std::string>{"check ID-Bank"});

    // An unknown id and a wrong argument get errors; the service goes on.
    const QDBusMessage unknown = ask(client, call(QStringLiteral("CheckNow"), {QStringLiteral("ID-Nobody")}));
    EXPECT_EQ(unknown.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(unknown.errorName(), QString::fromLatin1(kUnknownIdError));
    EXPECT_TRUE(unknown.errorMessage().contains(QStringLiteral("'ID-Nobody'"))) << unknown.errorMessage().toStdString();
    const QDBusMessage wrongType = ask(client, call(QStringLiteral("CheckNow"), {42}));
    EXPECT_EQ(wrongType.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(ask(client, call(QStringLiteral("ShowSettings"))).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(ask(client, call(QStringLiteral("ShowBalanceList"))).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(actions.calls, (std::vector<std::string>{"check ID-Bank", "settings", "list"}));

    // A second run finds the name taken: it says so in its log and does without.
    QDBusConnection second = bus.connect(QStringLiteral("second"));
    TDesktopService other(balanceList, actions, log);
    EXPECT_FALSE(other.Register(second));
    EXPECT_NE(ReadFileBytes(dir.file("log.txt")).find("Another program holds the name org.tallyglass.Tallyglass"),
              std::string::npos);
    EXPECT_EQ(readBalances(client).size(), 2);

    // Rows that go are told too.
    balanceList.RemoveAlertRow(mobile);
    ASSERT_TRUE(ProcessEventsUntil([&] { return told.back().size() == 1; }));

    // A bus that goes away leaves the program going.
    bus.stop();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !program.isConnected(); }));
    balanceList.RenameAlertRow(bank, "Bank C");
    QCoreApplication::processEvents();
    EXPECT_EQ(service.Balances().value(0).Name, "Bank C");
}

TEST_F(DesktopServiceTest, TheStatusToolFollowsTheProgramAndEndsWithItsReader) {
    TAlertItem& bank = addAlert("Bank", "/page/bank");
    addAlert("Mobile", "/page/mobile");
    setBody("bank", "Balance: 12.00");
    QDBusConnection program = bus.connect(QStringLiteral("program"));
    ASSERT_TRUE(program.isConnected());

    // Nothing runs: one line says so and the tool fails.
    {
        ToolRun once(bus.address, {"--format", "waybar"});
        ASSERT_TRUE(once.started());
        std::string line;
        ASSERT_TRUE(once.nextLine(line));
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object().value(QLatin1String("class")),
                  QStringLiteral("stopped"))
            << line;
        EXPECT_EQ(once.exitCode(), 1);
    }

    // A follower started before the program waits for it.
    ToolRun follow(bus.address, {"--format", "text", "--follow"});
    std::string line;
    ASSERT_TRUE(follow.nextLine(line));
    EXPECT_EQ(line, "stopped");
    auto service = std::make_unique<TDesktopService>(balanceList, actions, log);
    ASSERT_TRUE(service->Register(program));
    ASSERT_TRUE(follow.nextLine(line));
    EXPECT_EQ(line, "Bank - \xC2\xB7 Mobile -");

    {
        ToolRun once(bus.address, {"--format", "waybar"});
        ASSERT_TRUE(once.nextLine(line));
        const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        EXPECT_EQ(object.value(QLatin1String("text")), QStringLiteral("Bank - \u00B7 Mobile -")) << line;
        EXPECT_EQ(object.value(QLatin1String("tooltip")).toString().count(QLatin1Char('\n')), 1) << line;
        EXPECT_EQ(object.value(QLatin1String("class")), QStringLiteral("ok")) << line;
        EXPECT_EQ(object.value(QLatin1String("alt")), QStringLiteral("ok")) << line;
        EXPECT_EQ(once.exitCode(), 0);
    }

    balanceList.CheckNow(bank);
    ASSERT_TRUE(follow.nextLine(line));
    EXPECT_EQ(line, "Bank 12.00 \xC2\xB7 Mobile -");

    // The program ends: the follower says so and ends with it.
    service.reset();
    ASSERT_TRUE(follow.nextLine(line));
    EXPECT_EQ(line, "stopped");
    EXPECT_EQ(follow.exitCode(), 1);

    // The status bar goes away while nothing changes: the follower ends all the same.
    service = std::make_unique<TDesktopService>(balanceList, actions, log);
    ASSERT_TRUE(service->Register(program));
    ToolRun reader(bus.address, {"--format", "i3blocks", "--follow"});
    ASSERT_TRUE(reader.nextLine(line));
    EXPECT_EQ(line, "Bank 12.00 \xC2\xB7 Mobile -");
    reader.closeOutput();
    EXPECT_EQ(reader.exitCode(), 0);
}

#include "DesktopServiceTest.moc"
