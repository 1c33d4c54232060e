#include "LoopbackServer.h"

#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "check/CheckThread.h"
#include "currency/CurrencyList.h"
#include "currency/CurrencyThreads.h"
#include "platform/Registry.h"
#include "platform/Worker.h"
#include "support/TestSupport.h"
#include "translate/InterfaceTranslator.h"
#include "translate/Messages.h"

#include <gtest/gtest.h>

// The program's shutdown with workers that are stuck: a check waiting on a server that never
// answers and a provider script in an endless loop. Whatever the workers still do after their
// starter has let go of everything must touch only live objects (AddressSanitizer tells).
TEST(WorkerShutdown, StuckWorkersOutliveTheirStarterWithoutTouchingFreedObjects) {
    TempDir dir;
    LoopbackServer server; // its /hold never answers until the end of the test
    // Translated texts: every log line of the check is a call into this thread.
    WriteFileBytes(dir.file("interface.txt"), "[CUSTOM]\r\nRES.1042=Heruntergeladen: '%s' %u %u %s\r\n");
    TInterfaceTranslator translator;
    translator.SetFileName(dir.file("interface.txt"));
    translator.SetActive(true);
    SetInterfaceTranslator(&translator);

    std::weak_ptr<TAlertItems> alertsGone;
    std::weak_ptr<TCurrencyList> currencyGone;
    std::weak_ptr<TLogFile> logGone;
    {
        auto store = std::make_shared<TRegistry>(dir.file("registry.db"));
        // Each object in an allocation of its own, so that the checker sees a use after the free.
        auto log = std::shared_ptr<TLogFile>(std::make_unique<TLogFile>());
        log->OpenLog(dir.file("log.txt"));
        log->SetEnabled(true);

        auto alerts = std::shared_ptr<TAlertItems>(std::make_unique<TAlertItems>());
        alerts->RegistryRoot = "Software\\Brightmoor\\Tallyglass";
        alerts->StateKey = Md5Hex("program password");
        alerts->Store = store.get();
        auto item = std::make_unique<TAlertItem>(alerts.get());
        item->Name = "Bank";
        item->unique_id = "BANK";
        item->page_url = server.url("/hold");
        item->pattern = "(\\d+)";
        TAlertItem& alert = *alerts->AddAlert(std::move(item));

        auto check = std::make_shared<TCheckThread>(alert, dir.path() + "/", *log);
        check->KeepAlive(alerts);
        check->KeepAlive(log);
        check->KeepAlive(store);
        bool delivered = false;
        check->OnCheckDone = [&delivered](TCheckThread&) { delivered = true; };
        check->Resume();

        auto list = std::shared_ptr<TCurrencyList>(std::make_unique<TCurrencyList>());
        list->ScriptFileName = "loop.js";
        list->ScriptText = "function get_currency_list() { CurrencyList.registercolumn('a', 'A', true); "
                           "while (true) {} }";
        list->Store = store.get();
        TCurrencyThreads runs;
        ASSERT_NE(runs.Start(*list, log.get(), {}, {list, log, store}), nullptr);
        // Their log lines need this thread, which serves them meanwhile.
        ASSERT_TRUE(ProcessEventsUntil([&] { return server.held() > 0 && list->ColumnCount() == 1; }));

        // Shutdown with no time to wait: both are cancelled and everything of the starter goes.
        check->Cancel();
        check->Cancel(); // twice is harmless
        EXPECT_FALSE(delivered);
        alertsGone = alerts;
        currencyGone = list;
        logGone = log;
        runs.StopAll();
    }
    // The workers end on their own; while they do, their calls into this thread are served.
    EXPECT_TRUE(WaitForAllWorkers(30000));
    EXPECT_EQ(RunningWorkers(), 0);
    EXPECT_TRUE(alertsGone.expired());
    EXPECT_TRUE(currencyGone.expired());
    EXPECT_TRUE(logGone.expired());
    SetInterfaceTranslator(nullptr);
    // The check logged its cancelled download with the translated text, and delivered nothing.
    const std::string log = ReadFileBytes(dir.file("log.txt"));
    EXPECT_NE(log.find("Heruntergeladen: 'Bank' 0 0 false"), std::string::npos) << log;
}
