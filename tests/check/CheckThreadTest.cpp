#include "support/TestServer.h"

#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "check/CheckThread.h"
#include "platform/Registry.h"
#include "platform/UiThread.h"
#include "script/ScriptWatchdog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>

namespace {

using Strings = std::vector<std::string>;

const char* const kRoot = "Software\\Brightmoor\\Tallyglass";

class CheckThreadTest : public ::testing::Test {
protected:
    CheckThreadTest() : store(dir.file("registry.db")) {
        list.RegistryRoot = kRoot;
        list.StateKey = Md5Hex("program password");
        list.Store = &store;
        log.OpenLog(dir.file("log.txt"));
        log.SetEnabled(true);
    }

    void SetUp() override {
        http.server().Get("/status/(\\d+)", [](const httplib::Request& req, httplib::Response& res) {
            res.status = std::stoi(req.matches[1]);
            if (res.status != 204) // a 204 answer has no body
                res.set_content("status page", "text/plain");
        });
        http.server().Get("/page", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(mutex);
            res.set_content(page, "text/html");
        });
        // A provider that needs a login: a form with a token, a login that sets a cookie and
        // redirects, and an account page that needs the cookie.
        http.server().Get("/start", [this](const httplib::Request& req, httplib::Response& res) {
            noteReferrer(req);
            res.set_content("<form><input name=token value=T0K3N></form>", "text/html");
        });
        http.server().Post("/login", [this](const httplib::Request& req, httplib::Response& res) {
            noteReferrer(req);
            if (req.get_param_value("user") == "john smith" && req.get_param_value("pass") == "p&ss" &&
                req.get_param_value("token") == "T0K3N")
                res.set_header("Set-Cookie", "sid=J1; Path=/; HttpOnly");
            res.set_redirect("/home");
        });
        http.server().Get("/home", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("Welcome! Your account 777 is ready.", "text/html");
        });
        http.server().Get("/account/777", [this](const httplib::Request& req, httplib::Response& res) {
            noteReferrer(req);
            if (req.get_header_value("Cookie") != "sid=J1") {
                res.status = 403;
                return;
            }
            res.set_content("Balance: 98.76", "text/html");
        });
        http.start();
    }

    TAlertItem& addAlert(const std::string& name, const std::string& url, const std::string& pattern) {
        auto alert = std::make_unique<TAlertItem>(&list);
        alert->Name = name;
        alert->unique_id = "ID-" + name;
        alert->page_url = url;
        alert->pattern = pattern;
        return *list.AddAlert(std::move(alert));
    }

    void addStep(TAlertItem& alert, const std::string& url, bool post, const std::string& postData,
                 const std::string& pattern) {
        auto step = std::make_unique<TChunk>();
        step->chunk_url = url;
        step->IsPost = post;
        step->chunk_postdata = postData;
        step->chunk_pattern = pattern;
        alert.ChunkList.push_back(std::move(step));
    }

    void writeScript(const std::string& name, const std::string& text) {
        WriteFileBytes(dir.file(name), EncryptBytes(kDefinitionPassphrase, text));
    }

    struct Outcome {
        bool requestOk = false;
        std::string statusText = "<not delivered>";
        bool onUiThread = false;
        int deliveries = 0;
    };

    // Runs one check on its worker thread as the Balance List does, with the window's log lines.
    Outcome check(TAlertItem& alert) {
        Outcome outcome;
        log.WriteLog(LoadStr(1025), {alert.Name});
        auto thread = std::make_shared<TCheckThread>(alert, dir.path() + "/", log, cancel);
        thread->OnCheckDone = [&](TCheckThread& done) {
            outcome.requestOk = done.RequestOk;
            outcome.statusText = done.StatusText;
            outcome.onUiThread = UiThread::IsUiThread();
            ++outcome.deliveries;
            if (done.Alert().BalanceChanged())
                log.WriteLog(LoadStr(1047), {done.Alert().Name});
        };
        thread->Resume();
        log.WriteLog(LoadStr(1026), {alert.Name});
        EXPECT_TRUE(thread->WaitFor(30000));
        return outcome;
    }

    // The log's messages without their time stamps.
    Strings logLines() {
        Strings lines;
        for (const std::string& line : SplitOnCrLf(ReadFileBytes(dir.file("log.txt"))))
            lines.push_back(line.substr(line.find(": ") + 2));
        return lines;
    }
    std::string logText() { return ReadFileBytes(dir.file("log.txt")); }

    void noteReferrer(const httplib::Request& req) {
        std::lock_guard lock(mutex);
        referrers[req.path] = req.has_header("Referer") ? req.get_header_value("Referer") : "<none>";
    }
    std::map<std::string, std::string> seenReferrers() {
        std::lock_guard lock(mutex);
        return referrers;
    }

    TempDir dir;
    TRegistry store;
    TAlertItems list;
    TLogFile log;
    std::shared_ptr<TManualResetEvent> cancel = std::make_shared<TManualResetEvent>();
    TestServer http;
    std::mutex mutex;
    std::string page;
    std::map<std::string, std::string> referrers;
};

} // namespace

TEST_F(CheckThreadTest, SinglePageCheckLogsInOrderAndSavesTheBalance) {
    {
        std::lock_guard lock(mutex);
        page = "<p>Balance: 1234.56</p>";
        page += std::string(5120 - page.size(), ' ');
    }
    TAlertItem& alert = addAlert("Operator A", http.url("/page"), R"(Balance:\s*(\d+?)(\.)(\d\d))");
    alert.SetBalances({100, 200});

    const Outcome outcome = check(alert);
    EXPECT_EQ(outcome.deliveries, 1);
    EXPECT_TRUE(outcome.onUiThread);
    EXPECT_TRUE(outcome.requestOk);
    EXPECT_EQ(outcome.statusText, "OK");
    EXPECT_EQ(alert.Balances(), (TBalances{200, 123456}));
    EXPECT_EQ(logLines(), (Strings{
                              "Create check thread for 'Operator A' alert...",
                              "Thread for 'Operator A' alert created.",
                              "Start page downloading for alert 'Operator A'...",
                              "Content for 'Operator A' alert downloaded. Result code: 200, downloaded bytes: 5120. "
                              "Request succeeded ? true",
                              "Found 4 submatches for 'Operator A' alert - start analize it...",
                              "Submatches for 'Operator A' alert analized.",
                              "Balance for 'Operator A' changed.",
                          }));

    // The state went to the registry.
    TAlertItems reloaded;
    reloaded.RegistryRoot = kRoot;
    reloaded.StateKey = list.StateKey;
    reloaded.Store = &store;
    auto copy = std::make_unique<TAlertItem>(&reloaded);
    copy->unique_id = alert.unique_id;
    EXPECT_EQ(reloaded.AddAlert(std::move(copy))->Balances(), (TBalances{200, 123456}));
}

TEST_F(CheckThreadTest, StatusCodesEndTheCheckWithErr) {
    const std::map<int, std::string> expected = {
        {404, "Request for 'S' alert failed: result code: 404, status message = '404 Not found'"},
        {401, "Request for 'S' alert failed: result code: 401, status message = '401 Unauthorized'"},
        {405, "Request for 'S' alert failed: result code: 405, status message = '405 '"},
        {500, "Request for 'S' alert failed: result code: 500."},
        {204, "Request for 'S' alert failed [UNSUPORTED RESULT CODE FOUND]: result code: 204."},
        {302, "Request for 'S' alert failed [REDIRECT FOUND]: result code: 302."},
    };
    TAlertItem& alert = addAlert("S", "", "(x)");
    alert.SetBalances({NoBalance, 2});
    for (const auto& [code, line] : expected) {
        alert.page_url = http.url("/status/" + std::to_string(code));
        const Outcome outcome = check(alert);
        EXPECT_TRUE(outcome.requestOk) << code;
        EXPECT_EQ(outcome.statusText, "ERR") << code;
        const Strings lines = logLines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.back(), line);
        EXPECT_EQ(lines[lines.size() - 2], "Content for 'S' alert downloaded. Result code: " + std::to_string(code) +
                                               ", downloaded bytes: " + (code == 204 ? "0" : "11") +
                                               ". Request succeeded ? true");
    }
    EXPECT_EQ(alert.Balances(), (TBalances{NoBalance, 2}));
}

TEST_F(CheckThreadTest, FailedAndCancelledDownloadsStillDeliver) {
    int closedPort = 0;
    {
        TestServer gone;
        gone.start();
        closedPort = gone.port();
    }
    TAlertItem& alert = addAlert("Down", "http://127.0.0.1:" + std::to_string(closedPort) + "/", "(x)");
    Outcome outcome = check(alert);
    EXPECT_EQ(outcome.deliveries, 1);
    EXPECT_TRUE(outcome.onUiThread);
    EXPECT_FALSE(outcome.requestOk);
    EXPECT_EQ(outcome.statusText, "");
    EXPECT_EQ(logLines().back(),
              "Content for 'Down' alert downloaded. Result code: 0, downloaded bytes: 0. Request succeeded ? false");

    cancel->Set();
    alert.page_url = http.url("/page");
    outcome = check(alert);
    EXPECT_EQ(outcome.deliveries, 1);
    EXPECT_FALSE(outcome.requestOk);
    EXPECT_EQ(logLines().back().substr(logLines().back().size() - 5), "false");
}

TEST_F(CheckThreadTest, TwoStepLoginCarriesCookieAndSubmatchesForward) {
    TAlertItem& alert = addAlert("Mobile", http.url("/start"), "value=(\\w+?)>");
    alert.PageLogin = "john smith";
    alert.PagePassword = "p&ss";
    addStep(alert, http.url("/login"), true, "user={LOGIN}&pass={PASSWORD}&token={c_1}", "account (\\d+?) ");
    addStep(alert, http.url("/account/{c_1_1}"), false, "", R"(Balance:\s*(\d+?)(\.)(\d\d))");

    const Outcome outcome = check(alert);
    EXPECT_TRUE(outcome.requestOk);
    EXPECT_EQ(outcome.statusText, "OK");
    EXPECT_EQ(alert.CurrentBalance(), 9876);
    EXPECT_EQ(alert.Chunk(0).Matches, (Strings{"account 777 ", "777"}));
    // Each step names the address before it; the alert's own request has no referrer.
    EXPECT_EQ(seenReferrers(),
              (std::map<std::string, std::string>{
                  {"/start", "<none>"}, {"/login", http.url("/start")}, {"/account/777", http.url("/login")}}));
    const Strings lines = logLines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "Start page downloading for alert 'Mobile': request for chunk #2..."),
        lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Chunk #2 for 'Mobile' alert downloaded. Result code: 200, downloaded bytes: 14. "
                        "Request succeeded ? true"),
              lines.end());
    // Logins and passwords never reach the log.
    EXPECT_EQ(logText().find("john"), std::string::npos);
    EXPECT_EQ(logText().find("p&ss"), std::string::npos);

    // A second account at the same provider whose login fails does not see the first one's session:
    // its second step is refused, the check ends with ERR and its balance stays.
    TAlertItem& other = addAlert("Mobile 2", http.url("/start"), "value=(\\w+?)>");
    other.PageLogin = "john smith";
    other.PagePassword = "wrong";
    for (const auto& step : alert.ChunkList)
        other.ChunkList.push_back(std::make_unique<TChunk>(*step));
    other.SetBalance(5);
    const Outcome refused = check(other);
    EXPECT_TRUE(refused.requestOk);
    EXPECT_EQ(refused.statusText, "ERR");
    EXPECT_EQ(other.Balances(), (TBalances{NoBalance, 5}));
    EXPECT_EQ(logLines().back(),
              "Request for 'Mobile 2' alert failed: result code: 403, status message = '403 Forbidden'");

    // A step whose download fails: RequestOk follows that step.
    other.Chunk(1).chunk_url = "http://127.0.0.1:1/";
    const Outcome failed = check(other);
    EXPECT_FALSE(failed.requestOk);
    EXPECT_EQ(failed.statusText, "ERR");
}

TEST_F(CheckThreadTest, AnalyseMatchesReadsUnitsAndHundredths) {
    TAlertItem& alert = addAlert("A", "", "");
    TCheckThread thread(alert, dir.path() + "/", log, nullptr);
    const auto analyse = [&](const Strings& matches) {
        alert.SetBalances({});
        thread.AnalyseMatches(mrMatched, matches);
        return alert.CurrentBalance();
    };
    EXPECT_EQ(analyse({"", "1234", ".", "56"}), 123456);
    EXPECT_EQ(analyse({"", "- 12", ".", "50"}), -1250);
    EXPECT_EQ(analyse({"", "12", ".", "-50"}), 1150);
    EXPECT_EQ(analyse({"", " 1 234 ", "."}), 123400);
    EXPECT_EQ(analyse({"", "12", ".", "x"}), 1200);
    // Below one unit the sign comes from the text: "-0" and 50 hundredths are -0.50.
    EXPECT_EQ(analyse({"", "-0", ".", "50"}), -50);
    EXPECT_EQ(analyse({"", "-1000000", ".", "00"}), NoBalance);
    // Amounts a balance cannot hold are not set.
    EXPECT_EQ(analyse({"", "21474837", ".", "00"}), NoBalance);

    const std::size_t before = logLines().size();
    EXPECT_EQ(analyse({"", "abc"}), NoBalance);
    EXPECT_EQ(analyse({"whole"}), NoBalance);
    thread.AnalyseMatches(mrNoMatch, {});
    thread.AnalyseMatches(mrCompileError, {});
    thread.AnalyseMatches(mrBadOption, {});
    thread.AnalyseMatches(mrNoMemory, {});
    thread.AnalyseMatches(mrUnknownNode, {});
    const Strings lines = logLines();
    EXPECT_EQ(
        Strings(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()),
        (Strings{"Found 2 submatches for 'A' alert - start analize it...", "Submatches for 'A' alert analized.",
                 "Found 1 submatches for 'A' alert - start analize it...", "Not enough submatches found for 'A' alert!",
                 "Found no matches for 'A' alert - probably service down.", "Unable to compile 'A' pattern!",
                 "Bad option in pattern 'A'!", "Not enough memory to compile 'A' pattern!",
                 "Unknown node in pattern 'A'!"}));
}

TEST_F(CheckThreadTest, PatternAndInfoScripts) {
    {
        std::lock_guard lock(mutex);
        page = "Total: 12,50";
    }
    writeScript("script.js", "function get_balance(page) {\n"
                             "  alert('got ' + page.length);\n"
                             "  var m = /(\\d+),(\\d\\d)/.exec(page);\n"
                             "  return 'x\\r\\n' + m[1] + '\\n\\n' + m[2] + '\\n';\n"
                             "}");
    writeScript("Info.js", "function get_additional_info(page) {\n"
                           "  AlertItem.registerinfo('Tariff', 'Basic');\n"
                           "  AlertItem.registerinfo('Tariff', 'Standard');\n"
                           "  AlertItem.registerinfo('Length', page.length);\n"
                           "}");
    TAlertItem& alert = addAlert("Scripted", http.url("/page"), "JS:Script.JS");
    alert.info_script = "Info.js";
    const Outcome outcome = check(alert);
    EXPECT_EQ(outcome.statusText, "OK");
    EXPECT_EQ(alert.CurrentBalance(), 1250);
    EXPECT_EQ(alert.InfoValues, (std::map<std::string, std::string>{{"Length", "12"}, {"Tariff", "Standard"}}));
    const Strings lines = logLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Alert from script 'script.js': got 12"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Found 4 submatches for 'Scripted' alert - start analize it..."),
              lines.end());

    TCheckThread thread(alert, dir.path() + "/", log, nullptr);
    Strings list = {"stale"};
    // Missing file, syntax error, missing function, a number instead of text, no lines.
    EXPECT_EQ(thread.ExtractBalance("p", "js:missing.js", list), mrCompileError);
    EXPECT_TRUE(list.empty());
    writeScript("broken.js", "function get_balance(p) {\n  return (;\n}");
    EXPECT_EQ(thread.ExtractBalance("p", "js:broken.js", list), mrCompileError);
    EXPECT_EQ(logLines().back().rfind("Error occured in script 'broken.js': ", 0), 0u) << logLines().back();
    EXPECT_NE(logLines().back().find("\tLine number: 2\t"), std::string::npos) << logLines().back();
    writeScript("other.js", "function something() {}");
    EXPECT_EQ(thread.ExtractBalance("p", "js:other.js", list), mrBadOption);
    writeScript("number.js", "function get_balance(p) { return 1250; }");
    EXPECT_EQ(thread.ExtractBalance("p", "js:number.js", list), mrMatched);
    EXPECT_EQ(list, Strings{"1250"});
    writeScript("empty.js", "function get_balance(p) { }");
    EXPECT_EQ(thread.ExtractBalance("p", "js:empty.js", list), mrNoMatch);
    // "js:" alone is a regular expression.
    EXPECT_EQ(thread.ExtractBalance("see js: here", "js:", list), mrMatched);
    EXPECT_EQ(list, Strings{"js:"});

    // A missing info script is skipped without a word.
    const std::size_t before = logLines().size();
    thread.RunInfoScript("p", "absent.js");
    thread.RunInfoScript("p", "");
    EXPECT_EQ(logLines().size(), before);
}

TEST_F(CheckThreadTest, ScriptsStuckInALoopAreStoppedAndTheCheckGoesOn) {
    // Hosts made on workers get a short limit here; the check thread makes its own.
    struct ShortWorkerLimit {
        ShortWorkerLimit() { SetDefaultScriptTimeLimits(kUiThreadScriptTimeLimit, std::chrono::milliseconds(200)); }
        ~ShortWorkerLimit() { SetDefaultScriptTimeLimits(kUiThreadScriptTimeLimit, kWorkerScriptTimeLimit); }
    } limit;
    {
        std::lock_guard lock(mutex);
        page = "Total: 12,50";
    }
    // exec without the g flag matches from the start every time: neither loop ends.
    writeScript("stuck.js", "function get_balance(page) {\n"
                            "  var re = /(\\d+)/, n = 0;\n"
                            "  while (re.exec(page)) ++n;\n"
                            "  return n;\n"
                            "}");
    writeScript("Info.js", "function get_additional_info(page) {\n"
                           "  AlertItem.registerinfo('Seen', 'yes');\n"
                           "  while (/\\d/.exec(page)) {}\n"
                           "}");
    TAlertItem& alert = addAlert("Stuck", http.url("/page"), "js:stuck.js");
    alert.info_script = "Info.js";
    const Outcome outcome = check(alert);
    EXPECT_EQ(outcome.deliveries, 1);
    EXPECT_TRUE(outcome.requestOk);
    EXPECT_EQ(alert.InfoValues, (std::map<std::string, std::string>{{"Seen", "yes"}}));
    const std::string stopped = "Time limit: the script was stopped after running for 0.2 seconds\tLine number: "
                                "0\tChar pos: 0\tSource: ";
    const Strings lines = logLines();
    const auto first = std::find(lines.begin(), lines.end(), "Error occured in script 'stuck.js': " + stopped);
    ASSERT_NE(first, lines.end()) << logText();
    EXPECT_EQ(std::vector<std::string>(first, std::min(first + 3, lines.end())),
              (Strings{"Error occured in script 'stuck.js': " + stopped,
                       "Error occured in script 'Info.js': " + stopped, "Bad option in pattern 'Stuck'!"}));
}

// Definitions written for a file system that ignores letter case name their scripts in any case.
TEST_F(CheckThreadTest, ScriptFilesAreFoundInAnyLetterCase) {
    {
        std::lock_guard lock(mutex);
        page = "Total: 7,05";
    }
    const std::string bom = "\xEF\xBB\xBF";
    writeScript("MiXeD.js", bom + "function get_balance(page) { AlertItem.registerinfo('Own', 'ran'); return 'x'; }");
    writeScript("INFO.JS", "function get_additional_info(page) { AlertItem.registerinfo('Info', 'ran'); }");
    writeScript("step.js", "function get_balance(page) {\n"
                           "  var m = /(\\d+),(\\d\\d)/.exec(page);\n"
                           "  return 'x\\n' + m[1] + '\\n\\n' + m[2];\n"
                           "}");
    writeScript("StepInfo.js", "function get_additional_info(page) { AlertItem.registerinfo('Step', 'ran'); }");
    TAlertItem& alert = addAlert("Cased", http.url("/page"), "js:Mixed.JS");
    alert.info_script = "Info.js";
    addStep(alert, http.url("/page"), false, "", "JS:STEP.JS");
    alert.ChunkList[0]->chunk_info_script = "stepinfo.JS";
    EXPECT_EQ(check(alert).statusText, "OK");
    EXPECT_EQ(alert.CurrentBalance(), 705);
    EXPECT_EQ(alert.InfoValues, (std::map<std::string, std::string>{{"Info", "ran"}, {"Own", "ran"}, {"Step", "ran"}}));

    // The name as the check lower-cases it comes first, then as written, then the first match in
    // name order.
    TCheckThread thread(alert, dir.path() + "/", log, nullptr);
    Strings list;
    for (const char* name : {"pick.js", "Pick.JS", "PiCk.js", "PICK.JS"})
        writeScript(name, std::string("function get_balance(p) { return '") + name + "'; }");
    for (const char* expected : {"pick.js", "Pick.JS", "PICK.JS", "PiCk.js"}) {
        EXPECT_EQ(thread.ExtractBalance("p", "js:Pick.JS", list), mrMatched);
        EXPECT_EQ(list, Strings{expected});
        std::filesystem::remove(dir.file(expected));
    }
    EXPECT_EQ(thread.ExtractBalance("p", "js:Pick.JS", list), mrCompileError);

    // The byte-order mark is not part of the script: the error line quotes the line as written.
    writeScript("Throws.js", bom + "function get_additional_info(p) { throw new Error('no'); }");
    thread.RunInfoScript("p", "throws.js");
    EXPECT_TRUE(logLines().back().ends_with("\tSource: function get_additional_info(p) { throw new Error('no'); }"))
        << logLines().back();
}

TEST_F(CheckThreadTest, ChecksOfDifferentAlertsRunTogether) {
    {
        std::lock_guard lock(mutex);
        page = "Balance: 7.00";
    }
    std::vector<std::shared_ptr<TCheckThread>> threads;
    std::atomic<int> delivered{0};
    for (int i = 0; i < 4; ++i) {
        TAlertItem& alert = addAlert("P" + std::to_string(i), http.url("/page"), R"(Balance:\s*(\d+?)(\.)(\d\d))");
        auto thread = std::make_shared<TCheckThread>(alert, dir.path() + "/", log, cancel);
        thread->OnCheckDone = [&](TCheckThread&) { ++delivered; };
        thread->Resume();
        threads.push_back(thread);
    }
    // The creator may let go of a running check: the worker keeps it alive until it ends.
    threads.back().reset();
    EXPECT_TRUE(ProcessEventsUntil([&] { return delivered == 4; }, 30000));
    for (auto& thread : threads)
        EXPECT_TRUE(!thread || thread->WaitFor(30000));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(list.Item(i).CurrentBalance(), 700);
    threads.clear();
}
