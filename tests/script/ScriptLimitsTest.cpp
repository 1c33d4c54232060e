#include "ScriptTestSupport.h"

#include "alerts/AlertItem.h"
#include "platform/Events.h"
#include "script/AlertItemObject.h"
#include "script/HTTPRequestDispatch.h"
#include "script/ScriptWatchdog.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

// Scripts that do not end by themselves, run on worker threads as the program runs them.
namespace {

constexpr auto kGenerousBound = std::chrono::seconds(20);

struct WorkerOutcome {
    bool loaded = false;
    bool called = false;
    bool cancelled = false;
    ScriptEvents events;
};

// Runs the script's function f on a worker thread; `started` is set when the script alerts.
std::future<WorkerOutcome> runOnWorker(const std::string& script, TManualResetEvent* cancel, TManualResetEvent& started,
                                       TActiveScriptEngine** hostOut = nullptr,
                                       std::promise<void>* hostReady = nullptr) {
    return std::async(std::launch::async, [=, &started] {
        WorkerOutcome outcome;
        TActiveScriptEngine host;
        outcome.events.connect(host);
        host.OnAlert = [&started](const std::string&) { started.Set(); };
        host.SetCancelEvent(cancel);
        if (hostOut) {
            *hostOut = &host;
            hostReady->set_value();
        }
        outcome.loaded = host.LoadScript(script);
        outcome.called = outcome.loaded && host.CallFunction("f");
        outcome.cancelled = host.Cancelled();
        // A cancelled host stays cancelled.
        if (outcome.cancelled && host.CallFunction("f"))
            outcome.called = true;
        return outcome;
    });
}

} // namespace

TEST(ScriptLimits, CancelEventStopsAnEndlessLoop) {
    TManualResetEvent cancel, started;
    auto result = runOnWorker("function f() { alert('go'); while (true) {} }", &cancel, started);
    ASSERT_TRUE(started.Wait(static_cast<int>(std::chrono::milliseconds(kGenerousBound).count())));
    cancel.Set();
    ASSERT_EQ(result.wait_for(kGenerousBound), std::future_status::ready);
    const WorkerOutcome outcome = result.get();
    EXPECT_TRUE(outcome.loaded);
    EXPECT_FALSE(outcome.called);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_TRUE(outcome.events.errors.empty()); // a cancellation is not a script error
}

TEST(ScriptLimits, InterruptStopsGlobalCodeFromAnotherThread) {
    TManualResetEvent started;
    TActiveScriptEngine* host = nullptr;
    std::promise<void> hostReady;
    auto result = runOnWorker("alert('go');\nfor (;;) { var x = [1, 2, 3].join(); }\nfunction f() {}", nullptr, started,
                              &host, &hostReady);
    hostReady.get_future().wait();
    ASSERT_TRUE(started.Wait(static_cast<int>(std::chrono::milliseconds(kGenerousBound).count())));
    host->Interrupt();
    ASSERT_EQ(result.wait_for(kGenerousBound), std::future_status::ready);
    const WorkerOutcome outcome = result.get();
    EXPECT_FALSE(outcome.loaded);
    EXPECT_TRUE(outcome.cancelled);
}

TEST(ScriptLimits, CancelSetBeforeTheRunStopsItAtOnce) {
    TManualResetEvent cancel(true), started;
    auto result = runOnWorker("function f() { while (true) {} }", &cancel, started);
    ASSERT_EQ(result.wait_for(kGenerousBound), std::future_status::ready);
    EXPECT_FALSE(result.get().loaded);
}

TEST(ScriptLimits, MemoryHogIsStoppedAndReported) {
    const std::size_t saved = ScriptMemoryLimit();
    SetScriptMemoryLimit(ProcessResidentBytes() + (std::size_t{192} << 20));
    TManualResetEvent started;
    auto result = runOnWorker("function f() {\n"
                              "  var hoard = [];\n"
                              "  for (var i = 0; ; ++i) hoard.push(new Array(20001).join('x') + i);\n"
                              "}\n",
                              nullptr, started);
    ASSERT_EQ(result.wait_for(kGenerousBound), std::future_status::ready);
    SetScriptMemoryLimit(saved);
    const WorkerOutcome outcome = result.get();
    EXPECT_TRUE(outcome.loaded);
    EXPECT_FALSE(outcome.called);
    EXPECT_FALSE(outcome.cancelled);
    ASSERT_EQ(outcome.events.errors.size(), 1u);
    EXPECT_NE(outcome.events.errors[0].description.find("memory"), std::string::npos);

    // The limit stopped that run only: the next host works.
    TActiveScriptEngine host;
    ASSERT_TRUE(host.LoadScript("function f() { return 'fine'; }"));
    ASSERT_TRUE(host.CallFunction("f"));
    EXPECT_EQ(host.Result().Text(), "fine");
}

TEST(ScriptLimits, EachRunHasATimeLimitThatDownloadsDoNotUse) {
    using namespace std::chrono_literals;
    // A page that takes three times the limit to arrive.
    TestServer server;
    server.server().Get("/slow", [](const httplib::Request&, httplib::Response& response) {
        std::this_thread::sleep_for(600ms);
        response.set_content("slow page", "text/plain");
    });
    server.start();
    // Hosts take the limit of the thread they are made on: this is the application's thread.
    EXPECT_EQ(TActiveScriptEngine().TimeLimit(), kUiThreadScriptTimeLimit);

    struct Outcome {
        std::chrono::milliseconds workerDefault{};
        bool loaded = false;
        std::vector<std::pair<bool, std::string>> calls; // success, result
        ScriptEvents events;
    };
    TManualResetEvent stop; // ends the worker should the limit fail to
    auto result = std::async(std::launch::async, [&server, &stop] {
        Outcome outcome;
        TActiveScriptEngine host;
        outcome.workerDefault = host.TimeLimit();
        host.SetTimeLimit(200ms);
        host.SetCancelEvent(&stop);
        outcome.events.connect(host);
        THTTPRequestDispatch request;
        host.AddNamedObject("Request", &request);
        // Without the g flag exec always matches from the start: the classic endless loop, here in
        // the top-level code, after a download and on its own.
        outcome.loaded = host.LoadScript("var re = /(\\d+)/, text = 'a 1 b 2', n = 0;\n"
                                         "while (re.exec(text)) ++n;\n"
                                         "function slow() { return Request.get('" +
                                         server.url("/slow") +
                                         "') + ' ' + Request.htmltext; }\n"
                                         "function slowThenStuck() { slow();\n  while (re.exec(text)) ++n;\n}\n"
                                         "function fine() { return 'fine ' + (n > 0); }\n");
        for (const char* function : {"fine", "slow", "slowThenStuck", "fine"}) {
            const bool called = host.CallFunction(function);
            outcome.calls.emplace_back(called, host.Result().Text());
        }
        return outcome;
    });
    if (result.wait_for(kGenerousBound) != std::future_status::ready) {
        stop.Set();
        FAIL() << "a script ran past its time limit";
    }
    const Outcome outcome = result.get();
    EXPECT_EQ(outcome.workerDefault, kWorkerScriptTimeLimit);
    EXPECT_TRUE(outcome.loaded);
    // The stopped top-level code fails the first call; the download that outlasts the limit does
    // not count; the loop after it is stopped; each stop ended only its own run.
    const std::vector<std::pair<bool, std::string>> expected = {
        {false, ""}, {true, "true slow page"}, {false, ""}, {true, "fine true"}};
    EXPECT_EQ(outcome.calls, expected);
    ASSERT_EQ(outcome.events.errors.size(), 2u);
    for (const auto& error : outcome.events.errors)
        EXPECT_EQ(error.description, "Time limit: the script was stopped after running for 0.2 seconds");
}

TEST(ScriptLimits, EndlessRecursionEndsWithTheEnginesError) {
    // Plain recursion, recursion through a built-in and through a program object's text form.
    // A text form that fails is replaced by the plain object form, so the last one ends normally.
    const std::pair<const char*, bool> scripts[] = {
        {"function f() { return f() + 1; }", true},
        {"function f() { return [1].map(f); }", true},
        {"function f() { return JSON.stringify({ toJSON: f }); }", true},
        {"var o = { toString: function () { AlertItem.registerinfo('a', o); return 'x'; } };\n"
         "function f() { AlertItem.registerinfo('a', o); }",
         false},
    };
    for (const auto& [script, fails] : scripts) {
        auto result = std::async(std::launch::async, [script] {
            TAlertItem alert;
            TAlertItemObject face(alert);
            TActiveScriptEngine host;
            ScriptEvents events;
            events.connect(host);
            host.AddNamedObject("AlertItem", &face);
            const bool called = host.LoadScript(script) && host.CallFunction("f");
            return std::make_pair(called, events.errors);
        });
        ASSERT_EQ(result.wait_for(kGenerousBound), std::future_status::ready) << script;
        const auto [called, errors] = result.get();
        EXPECT_EQ(called, !fails) << script;
        ASSERT_EQ(errors.size(), fails ? 1u : 0u) << script;
        if (fails) {
            EXPECT_NE(errors[0].description.find("call stack"), std::string::npos) << errors[0].description;
        }
    }
}

TEST(ScriptLimits, HostsOnSeveralThreadsShareNothing) {
    std::vector<std::future<std::map<std::string, std::string>>> workers;
    for (int t = 0; t < 4; ++t) {
        workers.push_back(std::async(std::launch::async, [t] {
            TAlertItem alert;
            TAlertItemObject face(alert);
            for (int i = 0; i < 10; ++i) {
                TActiveScriptEngine host;
                host.AddNamedObject("AlertItem", &face);
                if (!host.LoadScript("var n = " + std::to_string(t) +
                                     ";\nfunction get_additional_info(page) { AlertItem.registerinfo(page, n); }") ||
                    !host.CallFunction("get_additional_info", "run" + std::to_string(i)))
                    alert.InfoValues["failed"] = "yes";
            }
            return alert.InfoValues;
        }));
    }
    for (int t = 0; t < 4; ++t) {
        const auto values = workers[static_cast<std::size_t>(t)].get();
        EXPECT_EQ(values.size(), 10u);
        EXPECT_EQ(values.count("failed"), 0u);
        EXPECT_EQ(values.at("run9"), std::to_string(t));
    }
}
