#include "LoopbackServer.h"

#include "base/Encoders.h"
#include "base/LogFile.h"
#include "currency/CurrencyScripts.h"
#include "currency/GetCurrencyRatesThread.h"
#include "platform/Events.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <thread>

// The shipped provider of the European Central Bank's reference rates, as the build encrypts it,
// run against a recorded rates file served from the test process; and the same through the tool.
namespace {

const char* const kRatesUrl = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";

std::string sourceScript() {
    return ReadFileBytes(TestDataPath("../../data/CurrencyRates/ecb.js"));
}

// The script with its download address pointed at the test server.
std::string redirected(std::string script, const std::string& url) {
    const std::size_t at = script.find(kRatesUrl);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos)
        script.replace(at, std::string(kRatesUrl).size(), url);
    return script;
}

class EcbProvider : public ::testing::Test {
protected:
    EcbProvider() {
        log.OpenLog(dir.file("log.txt"));
        log.SetEnabled(true);
        server.setBody(ReadFileBytes(TestDataPath("currency/eurofxref-daily.xml")));
    }

    std::unique_ptr<TCurrencyList> load() {
        auto list = LoadCurrencyScript(BinPath("CurrencyRates/ecb.js"), &log, {}, &store);
        if (list)
            list->ScriptText = redirected(list->ScriptText, server.url("/rates.xml"));
        return list;
    }

    bool run(TCurrencyList& list, std::uint8_t mode) {
        TGetCurrencyRatesThread thread(mode, &log, std::make_shared<TManualResetEvent>(), list);
        bool done = false;
        thread.OnDone = [&done](TGetCurrencyRatesThread&) { done = true; };
        thread.Resume();
        EXPECT_TRUE(ProcessEventsUntil([&] { return done; }, 30000));
        return !thread.Failed();
    }

    TempDir dir;
    TRegistry store{dir.file("registry.db")};
    TLogFile log;
    LoopbackServer server;
};

} // namespace

TEST_F(EcbProvider, TheBuildShipsTheEncryptedScript) {
    const std::string shipped = ReadFileBytes(BinPath("CurrencyRates/ecb.js"));
    ASSERT_FALSE(shipped.empty());
    EXPECT_EQ(shipped.find("get_currency_list"), std::string::npos);
    const std::string plain = DecryptBytes(kDefinitionPassphrase, shipped);
    EXPECT_EQ(plain.substr(0, plain.find('\0')), sourceScript());
}

TEST_F(EcbProvider, BuildsTheListThenMarksTheRateThatChanged) {
    auto list = load();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->ScriptFileName, "ecb.js");
    EXPECT_EQ(list->CountryCode, "global");
    EXPECT_EQ(list->ListName, "ECB euro reference rates");
    EXPECT_NE(list->PageUrl.find("https://www.ecb.europa.eu/"), std::string::npos);

    ASSERT_TRUE(run(*list, TGetCurrencyRatesThread::gmGetCurrencyList));
    list->SaveToRegistry(list->ListKey(), false);
    ASSERT_EQ(list->ColumnCount(), 2);
    EXPECT_EQ(list->Column(0).ColumnName, "currency");
    EXPECT_FALSE(list->Column(0).InspectChanges);
    EXPECT_EQ(list->Column(1).ColumnName, "rate");
    EXPECT_TRUE(list->Column(1).InspectChanges);
    EXPECT_TRUE(list->CanSort);
    ASSERT_EQ(list->CurrencyCount(), 6);
    EXPECT_EQ(list->CurrencyKey(0), "USD");
    EXPECT_EQ(list->Currency(0).CurrencyName, "USD - US dollar");
    EXPECT_EQ(list->Currency(5).CurrencyName, "XAU - XAU");
    EXPECT_EQ(list->Currency(2).ReadValue("rate"), (TCurrencyValue{"25.308", "25.308"}));
    EXPECT_EQ(list->Currency(2).ReadValue("currency").Current, "CZK");

    // The next start reads the list back; the next working day's file changes one rate.
    auto restarted = load();
    ASSERT_TRUE(restarted);
    ASSERT_EQ(restarted->CurrencyCount(), 6);
    server.setBody(ReadFileBytes(TestDataPath("currency/eurofxref-daily-next.xml")));
    ASSERT_TRUE(run(*restarted, TGetCurrencyRatesThread::gmExecute));
    int changed = 0;
    for (int i = 0; i < restarted->CurrencyCount(); ++i) {
        const TCurrencyValue rate = restarted->Currency(i).ReadValue("rate");
        if (rate.Current != rate.Previous) {
            ++changed;
            EXPECT_EQ(restarted->CurrencyKey(i), "CZK");
            EXPECT_EQ(rate, (TCurrencyValue{"25.341", "25.308"}));
        }
    }
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(server.requests(), 2);
    EXPECT_TRUE(SplitOnCrLf(ReadFileBytes(dir.file("log.txt"))).size() <= 1);
}

TEST_F(EcbProvider, AFailedDownloadFailsTheRunAndKeepsTheRates) {
    auto list = load();
    ASSERT_TRUE(list);
    ASSERT_TRUE(run(*list, TGetCurrencyRatesThread::gmGetCurrencyList));
    server.setBody("<html>Service unavailable</html>");
    EXPECT_FALSE(run(*list, TGetCurrencyRatesThread::gmExecute));
    EXPECT_EQ(list->Currency(0).ReadValue("rate").Current, "1.0939");
    const std::string logText = ReadFileBytes(dir.file("log.txt"));
    EXPECT_NE(logText.find("Error occured in script 'ecb.js': No rates in "), std::string::npos) << logText;
}

// The tool runs in a process of its own. Its server is bound before the tool starts and serves
// only once it runs, so that the test process is not yet multi-threaded when it forks.
std::string runToolAgainst(const std::string& body, const std::string& script, const QStringList& args) {
    httplib::Server server;
    server.Get("/rates.xml", [&body](const httplib::Request&, httplib::Response& response) {
        response.set_content(body, "text/xml");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    const std::string& scriptFile = script;
    WriteFileBytes(scriptFile, redirected(sourceScript(), "http://127.0.0.1:" + std::to_string(port) + "/rates.xml"));
    QProcess process;
    process.start(QString::fromStdString(BinPath("tallyglass-tool")),
                  QStringList{"currency", QString::fromStdString(scriptFile), "--plain"} + args);
    std::thread serving([&server] { server.listen_after_bind(); });
    EXPECT_TRUE(process.waitForFinished(30000));
    server.stop();
    serving.join();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput().toStdString();
}

TEST(CurrencyTool, BuildsAndUpdatesFromItsStateFolder) {
    TempDir dir;
    const QStringList state{"--state-dir", QString::fromStdString(dir.file("state"))};
    const std::string script = dir.file("ecb.js");
    const std::string built = runToolAgainst(ReadFileBytes(TestDataPath("currency/eurofxref-daily.xml")), script,
                                             QStringList{"--build"} + state);
    EXPECT_EQ(built.rfind("{\"page_url\": \"https://www.ecb.europa.eu/", 0), 0u) << built;
    EXPECT_NE(
        built.find("\"country_code\": \"global\", \"list_name\": \"ECB euro reference rates\", "
                   "\"can_sort\": true, \"failed\": false, \"columns\": [{\"name\": \"currency\", "
                   "\"caption\": \"Currency\", \"visible\": true, \"inspect_changes\": false}, "
                   "{\"name\": \"rate\", \"caption\": \"EUR 1 =\", \"visible\": true, \"inspect_changes\": true}]"),
        std::string::npos)
        << built;
    EXPECT_NE(built.find("{\"key\": \"CZK\", \"name\": \"CZK - Czech koruna\", \"active\": true, \"values\": "
                         "{\"currency\": {\"current\": \"CZK\", \"previous\": \"CZK\"}, "
                         "\"rate\": {\"current\": \"25.308\", \"previous\": \"25.308\"}}}"),
              std::string::npos)
        << built;

    // A later run starts from the stored rates.
    const std::string updated = runToolAgainst(ReadFileBytes(TestDataPath("currency/eurofxref-daily-next.xml")), script,
                                               QStringList{"--update"} + state);
    EXPECT_NE(updated.find("\"rate\": {\"current\": \"25.341\", \"previous\": \"25.308\"}"), std::string::npos)
        << updated;
    EXPECT_NE(updated.find("\"rate\": {\"current\": \"1.0939\", \"previous\": \"1.0939\"}"), std::string::npos)
        << updated;
}

TEST(CurrencyTool, ExitCodesTellUsageUnreadableAndFailedRuns) {
    TempDir dir;
    auto tool = [](const QStringList& args, std::string* out = nullptr, std::string* err = nullptr) {
        QProcess process;
        process.start(QString::fromStdString(BinPath("tallyglass-tool")), QStringList{"currency"} + args);
        EXPECT_TRUE(process.waitForFinished(30000));
        if (out)
            *out = process.readAllStandardOutput().toStdString();
        if (err)
            *err = process.readAllStandardError().toStdString();
        return process.exitCode();
    };
    EXPECT_EQ(tool({"a.js", "b.js"}), 1);
    EXPECT_EQ(tool({QString::fromStdString(dir.file("missing.js"))}), 2);

    // A script that does not parse yields no list; one whose build throws logs the error.
    WriteFileBytes(dir.file("bad.js"), "function get_list_name( {");
    std::string out, err;
    EXPECT_EQ(tool({QString::fromStdString(dir.file("bad.js")), "--plain"}, &out, &err), 3);
    EXPECT_NE(out.find("\"failed\": true"), std::string::npos) << out;
    EXPECT_NE(err.find("[ERR] Unable to parse script 'bad.js'!"), std::string::npos) << err;

    WriteFileBytes(dir.file("throws.js"),
                   EncryptBytes(kDefinitionPassphrase,
                                "function get_list_name() { return 'Throws'; }\n"
                                "function get_currency_list() { alert('hi'); throw new Error('down'); }"));
    EXPECT_EQ(tool({QString::fromStdString(dir.file("throws.js")), "--build", "--update"}, &out, &err), 3);
    EXPECT_NE(out.find("\"list_name\": \"Throws\", \"can_sort\": true, \"failed\": true"), std::string::npos) << out;
    EXPECT_NE(err.find(": Alert from script 'throws.js': hi\r\n"), std::string::npos) << err;
    EXPECT_NE(err.find(": Error occured in script 'throws.js': down\tLine number: 2\t"), std::string::npos) << err;
}
