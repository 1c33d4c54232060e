#include "LoopbackServer.h"

#include "base/LogFile.h"
#include "currency/CurrencyScripts.h"
#include "currency/CurrencyThreads.h"
#include "platform/Events.h"
#include "platform/Registry.h"
#include "script/ScriptWatchdog.h"
#include "support/TestSupport.h"
#include "translate/InterfaceTranslator.h"

#include <QCoreApplication>
#include <QThread>

#include <stdexcept>

#include <gtest/gtest.h>

// Provider scripts run by the worker against a list, with real downloads from a server in the
// test process.
namespace {

class CurrencyThread : public ::testing::Test {
protected:
    CurrencyThread() {
        log.OpenLog(dir.file("log.txt"));
        log.SetEnabled(true);
        list.ScriptFileName = "bank.js";
        list.Store = &store;
    }

    // Starts a run of the script; the completion, when one comes, is counted.
    std::unique_ptr<TGetCurrencyRatesThread> start(const std::string& script, std::uint8_t mode) {
        list.ScriptText = script;
        auto thread = std::make_unique<TGetCurrencyRatesThread>(mode, &log, cancel, list);
        thread->OnDone = [this](TGetCurrencyRatesThread& done) {
            EXPECT_TRUE(QThread::currentThread() == QCoreApplication::instance()->thread());
            EXPECT_EQ(&done.List(), &list);
            ++completions;
        };
        thread->Resume();
        return thread;
    }

    // Runs the script to its end; whether it completed.
    bool run(const std::string& script, std::uint8_t mode = TGetCurrencyRatesThread::gmExecute) {
        const int before = completions;
        auto thread = start(script, mode);
        EXPECT_TRUE(ProcessEventsUntil([&] { return thread->Finished(); }, 30000));
        EXPECT_EQ(completions, before + 1);
        return !thread->Failed();
    }

    std::vector<std::string> logLines() {
        std::vector<std::string> lines;
        for (const std::string& line : SplitOnCrLf(ReadFileBytes(dir.file("log.txt"))))
            if (!line.empty())
                lines.push_back(line.substr(line.find(": ") + 2));
        return lines;
    }

    TempDir dir;
    TRegistry store{dir.file("registry.db")};
    TLogFile log;
    TCurrencyList list;
    std::shared_ptr<TManualResetEvent> cancel = std::make_shared<TManualResetEvent>();
    LoopbackServer server;
    int completions = 0;
};

} // namespace

TEST_F(CurrencyThread, EachModeCallsItsFunctionWithTheListAndRequestPresent) {
    server.setBody("<rate>27.10</rate>");
    const std::string script =
        "function get_currency_list() {\n"
        "  CurrencyList.registercolumn('rate', 'Rate', true);\n"
        "  CurrencyList.addcurrency('CZK').currencyname = 'Czech koruna';\n"
        "}\n"
        "function execute() {\n"
        "  if (!request.Get('" +
        server.url("/rates.xml") +
        "')) throw new Error('no page');\n"
        "  CurrencyList.Currency('czk').setvalue('rate', /<rate>(.*)</.exec(Request.HtmlText)[1]);\n"
        "}\n";
    EXPECT_TRUE(run(script, TGetCurrencyRatesThread::gmGetCurrencyList));
    ASSERT_EQ(list.ColumnCount(), 1);
    ASSERT_EQ(list.CurrencyCount(), 1);
    EXPECT_TRUE(list.Currency(0).Values().empty());
    EXPECT_EQ(server.requests(), 0);

    EXPECT_TRUE(run(script));
    server.setBody("<rate>27.15</rate>");
    EXPECT_TRUE(run(script));
    EXPECT_EQ(list.Currency(0).ReadValue("rate"), (TCurrencyValue{"27.15", "27.10"}));
    EXPECT_EQ(server.requests(), 2);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(CurrencyThread, ScriptErrorsAndAlertsAreLoggedWithTheFileName) {
    EXPECT_FALSE(run("function execute() {\n  alert('fetching');\n  throw new Error('site changed');\n}\n"));
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              "Alert from script 'bank.js': fetching",
                              "Error occured in script 'bank.js': site changed\tLine number: 3\tChar pos: 0\tSource:   "
                              "throw new Error('site changed');",
                          }));

    // A script that does not parse, and one without the function, fail too; only the first is logged.
    EXPECT_FALSE(run("function execute( {"));
    EXPECT_FALSE(run("function get_currency_list() {}"));
    EXPECT_TRUE(run("function get_currency_list() {}", TGetCurrencyRatesThread::gmGetCurrencyList));
    EXPECT_EQ(logLines().size(), 3u);
}

TEST_F(CurrencyThread, TheUserInterfaceReadsAndSavesTheListWhileARunWaitsOnADownload) {
    for (const char* key : {"A", "B", "C", "D"}) {
        list.FindOrAddCurrency(key).StoreValue("v", "0");
        list.FindOrAddCurrency(key).CurrencyName = key;
    }
    // Half the currencies are written, then the script waits on a download, then the rest.
    auto thread = start("function execute() {\n"
                        "  CurrencyList.currency('A').setvalue('v', '1');\n"
                        "  CurrencyList.currency('B').setvalue('v', '1');\n"
                        "  Request.get('" +
                            server.url("/hold") +
                            "');\n"
                            "  CurrencyList.currency('C').setvalue('v', '1');\n"
                            "  CurrencyList.currency('D').setvalue('v', '1');\n"
                            "}\n",
                        TGetCurrencyRatesThread::gmExecute);
    server.waitForHeldRequest();
    EXPECT_TRUE(list.RunInProgress());
    {
        // Neither the lock nor a save waits for the download.
        const auto lock = list.TryLock();
        ASSERT_TRUE(lock.owns_lock());
        list.Currency(0).Active = false;
        list.SaveToRegistry(list.ListKey(), false);
        EXPECT_EQ(list.Currency(1).ReadValue("v").Current, "1");
        EXPECT_EQ(list.Currency(2).ReadValue("v").Current, "0");
    }
    TCurrencyList stored;
    stored.Store = &store;
    stored.LoadFromRegistry(list.ListKey());
    ASSERT_EQ(stored.CurrencyCount(), 4);
    EXPECT_FALSE(stored.Currency(0).Active);
    EXPECT_EQ(stored.Currency(1).ReadValue("v").Current, "1");

    server.release();
    ASSERT_TRUE(thread->WaitFor(30000));
    EXPECT_FALSE(thread->Failed());
    EXPECT_FALSE(list.RunInProgress());
    for (int i = 0; i < list.CurrencyCount(); ++i)
        EXPECT_EQ(list.Currency(i).ReadValue("v").Current, "1") << i;
    EXPECT_EQ(completions, 1);
}

TEST_F(CurrencyThread, TranslatedLinesDoNotWaitForAUserInterfaceThatWaitsForTheList) {
    WriteFileBytes(dir.file("interface.txt"), "[CUSTOM]\r\nRES.1031=Fehler in '%s': %s (%u)\r\n");
    TInterfaceTranslator translator;
    translator.SetFileName(dir.file("interface.txt"));
    translator.SetActive(true);
    SetInterfaceTranslator(&translator);

    auto thread = start("function execute() { Request.get('" + server.url("/hold") + "'); throw new Error('late'); }",
                        TGetCurrencyRatesThread::gmExecute);
    ASSERT_TRUE(ProcessEventsUntil([&] { return server.held() > 0; }));
    // The script fails while this thread waits for the list without serving its events: the
    // worker must not need this thread then.
    server.release();
    { const auto lock = list.Lock(); }
    ASSERT_TRUE(ProcessEventsUntil([&] { return thread->Finished(); }));
    SetInterfaceTranslator(nullptr);
    EXPECT_EQ(logLines(), std::vector<std::string>{"Fehler in 'bank.js': late (1)"});
}

TEST_F(CurrencyThread, CancellingEndsADownloadOrALoop) {
    // Stuck in a download that the server never finishes.
    auto downloading =
        start("function execute() { Request.get('" + server.url("/hold") + "'); }", TGetCurrencyRatesThread::gmExecute);
    server.waitForHeldRequest();
    EXPECT_TRUE(StopCurrencyThread(*downloading, 60));
    EXPECT_TRUE(downloading->Cancelled());
    EXPECT_TRUE(downloading->Failed());

    // Stuck in a loop.
    cancel->Reset();
    auto looping =
        start("function execute() { alert('looping'); while (true) {} }", TGetCurrencyRatesThread::gmExecute);
    ASSERT_TRUE(ProcessEventsUntil([&] { return logLines().size() == 1; }));
    EXPECT_TRUE(StopCurrencyThread(*looping, 20));
    EXPECT_TRUE(looping->Failed());

    // No cancelled run delivered a completion or logged an error.
    QCoreApplication::processEvents();
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(logLines(), std::vector<std::string>{"Alert from script 'bank.js': looping"});
}

TEST_F(CurrencyThread, AHandleMayGoWhileItsRunGoesOn) {
    // Destroyed by its own completion handler, as a self-freeing worker is.
    list.ScriptText = "function execute() {}";
    auto thread = std::make_unique<TGetCurrencyRatesThread>(TGetCurrencyRatesThread::gmExecute, &log, cancel, list);
    bool done = false;
    thread->OnDone = [&done, &thread](TGetCurrencyRatesThread&) {
        done = true;
        thread.reset();
    };
    thread->Resume();
    ASSERT_TRUE(ProcessEventsUntil([&] { return done; }));
    EXPECT_FALSE(thread);

    // Destroyed while the run is stuck: it is cancelled and delivers nothing.
    cancel->Reset();
    auto stuck = start("function execute() { while (true) {} }", TGetCurrencyRatesThread::gmExecute);
    stuck.reset();
    EXPECT_TRUE(cancel->IsSet());
    QCoreApplication::processEvents();
    EXPECT_EQ(completions, 0);
}

TEST_F(CurrencyThread, ListBuildingRunsAreForgottenWhenTheyReportOrAreStopped) {
    TCurrencyList other;
    other.ScriptFileName = "other.js";
    other.ScriptText = "function get_currency_list() { CurrencyList.registercolumn('rate', 'Rate', true); }";
    list.ScriptText = "function get_currency_list() { Request.get('" + server.url("/hold") + "'); }";

    std::vector<std::string> reported;
    TCurrencyThreads threads;
    auto report = [&](TGetCurrencyRatesThread& done) {
        reported.push_back(done.ListFileName() + (done.Failed() ? " failed" : " built"));
        // The run has left the running runs before its completion is handled, even when the
        // handler fails.
        EXPECT_EQ(threads.Find(done.List()), nullptr);
        throw std::runtime_error("handler failed");
    };
    TGetCurrencyRatesThread* held = threads.Start(list, &log, report);
    ASSERT_NE(held, nullptr);
    // A second start for a list that has a run does nothing.
    EXPECT_EQ(threads.Start(list, &log, report), nullptr);
    EXPECT_EQ(threads.Find(list), held);
    // The wait serves the completion, whose exception comes out of it; the worker is released.
    TGetCurrencyRatesThread* building = threads.Start(other, &log, report);
    EXPECT_THROW(building->WaitFor(30000), std::runtime_error);
    EXPECT_EQ(threads.Count(), 1);
    EXPECT_EQ(reported, std::vector<std::string>{"other.js built"});
    EXPECT_EQ(other.ColumnCount(), 1);
    EXPECT_EQ(threads.Find(other), nullptr);

    // A run stuck in a download is cancelled and forgotten; cancelling again is harmless.
    server.waitForHeldRequest();
    EXPECT_TRUE(threads.Cancel(list));
    EXPECT_EQ(threads.Count(), 0);
    EXPECT_TRUE(threads.Cancel(list));

    // At exit the runs still going are stopped without reporting.
    threads.Start(list, &log, report);
    threads.StopAll();
    EXPECT_EQ(threads.Count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(reported.size(), 1u);
}

TEST_F(CurrencyThread, AScriptStuckInALoopFailsItsRunWithALoggedError) {
    struct ShortWorkerLimit {
        ShortWorkerLimit() { SetDefaultScriptTimeLimits(kUiThreadScriptTimeLimit, std::chrono::milliseconds(200)); }
        ~ShortWorkerLimit() { SetDefaultScriptTimeLimits(kUiThreadScriptTimeLimit, kWorkerScriptTimeLimit); }
    } limit;
    EXPECT_FALSE(run("function execute() {\n  var re = /(\\d+)/;\n  while (re.exec('rate 27')) {}\n}\n"));
    EXPECT_EQ(logLines(), std::vector<std::string>{"Error occured in script 'bank.js': Time limit: the script was "
                                                   "stopped after running for 0.2 seconds\tLine number: 0\tChar pos: "
                                                   "0\tSource: "});
}
