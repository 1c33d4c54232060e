#include "support/TestServer.h"

#include "platform/Events.h"
#include "script/ActiveScriptEngine.h"
#include "script/HTTPRequestDispatch.h"

#include <gtest/gtest.h>

namespace {

class RequestObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.server().Get("/page", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("page " + req.get_param_value("n") + " " + req.get_header_value("Cookie"), "text/plain");
        });
        server.server().Get("/login", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "sid=42; Path=/");
            res.set_content("logged in", "text/plain");
        });
        server.server().Get("/fail", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("server error page", "text/plain");
        });
        server.server().Get("/zero", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string("before\0after", 12), "text/plain");
        });
        server.server().Get("/latin1", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("Gr\xFC\xDF", "text/plain");
        });
        server.start();
        host.OnScriptError = [this](const std::string& description, const std::string&, unsigned, unsigned) {
            errors.push_back(description);
        };
        host.AddNamedObject("Request", &request);
    }

    // Runs f() of the script; the return text, or "<failed>".
    std::string run(const std::string& script) {
        if (!host.LoadScript(script) || !host.CallFunction("f"))
            return "<failed>";
        return host.Result().Text();
    }
    std::string quoted(const std::string& path) const { return "'" + server.url(path) + "'"; }

    TestServer server;
    THTTPRequestDispatch request;
    TActiveScriptEngine host;
    std::vector<std::string> errors;
};

} // namespace

TEST_F(RequestObjectTest, GetAndHtmlTextUnderAnyLetterCase) {
    EXPECT_EQ(run("function f() { var before = request.HtmlText;\n"
                  "  var ok = Request.GET(" +
                  quoted("/page?n=1") +
                  ");\n"
                  "  return '[' + before + '] ' + ok + ' ' + REQUEST.htmltext; }"),
              "[] true page 1 ");
    EXPECT_TRUE(errors.empty());
}

TEST_F(RequestObjectTest, StatusIsNotExaminedAndFailuresKeepWhatWasRead) {
    EXPECT_EQ(run("function f() { return Request.get(" + quoted("/fail") + ") + ' ' + Request.htmltext; }"),
              "true server error page");
    // The text ends at the first zero byte; bytes that are not UTF-8 arrive as Latin-1 characters.
    EXPECT_EQ(run("function f() { Request.get(" + quoted("/zero") + "); return Request.htmltext; }"), "before");
    EXPECT_EQ(run("function f() { Request.get(" + quoted("/latin1") + "); return Request.htmltext.length; }"), "4");
    EXPECT_EQ(run("function f() { return Request.get('http://127.0.0.1:1/') + ':' + Request.htmltext; }"), "false:");
    // The text may also be called for.
    EXPECT_EQ(run("function f() { Request.get(" + quoted("/fail") + "); return Request.htmltext().toUpperCase(); }"),
              "SERVER ERROR PAGE");
}

TEST_F(RequestObjectTest, CookiesCarryOverBetweenGetsOfOneObject) {
    EXPECT_EQ(run("function f() { Request.get(" + quoted("/login") + "); Request.get(" + quoted("/page?n=2") +
                  "); return Request.htmltext; }"),
              "page 2 sid=42");
    THTTPRequestDispatch other;
    EXPECT_EQ(other.invoke(THTTPRequestDispatch::kGet, ckMethod, {TScriptValue::FromText(server.url("/page?n=3"))})
                  .Value.ToBoolean(),
              true);
    EXPECT_EQ(other.Request().Data, "page 3 ");
}

TEST_F(RequestObjectTest, ArgumentCountsAndCallKinds) {
    EXPECT_EQ(run("function f() { Request.get(); }"), "<failed>");
    EXPECT_EQ(run("function f() { Request.get('a', 'b'); }"), "<failed>");
    ASSERT_EQ(errors.size(), 2u);

    const auto status = [&](int id, unsigned kind, std::vector<TScriptValue> args) {
        return request.invoke(id, kind, args).Status;
    };
    const TScriptValue address = TScriptValue::FromText(server.url("/page"));
    EXPECT_EQ(status(THTTPRequestDispatch::kGet, ckMethod | ckPropertyGet, {address}), TInvokeStatus::Ok);
    EXPECT_EQ(status(THTTPRequestDispatch::kGet, ckPropertyGet, {address}), TInvokeStatus::BadParamCount);
    EXPECT_EQ(status(THTTPRequestDispatch::kGet, ckPropertyPut, {address}), TInvokeStatus::BadParamCount);
    for (unsigned kind : {unsigned{ckMethod}, unsigned{ckPropertyGet}, unsigned{ckMethod | ckPropertyGet}})
        EXPECT_EQ(status(THTTPRequestDispatch::kHtmlText, kind, {}), TInvokeStatus::Ok) << kind;
    EXPECT_EQ(status(THTTPRequestDispatch::kHtmlText, ckPropertyPut, {}), TInvokeStatus::BadParamCount);
    EXPECT_EQ(status(THTTPRequestDispatch::kHtmlText, ckPropertyGet, {address}), TInvokeStatus::BadParamCount);
    EXPECT_EQ(status(3, ckMethod, {}), TInvokeStatus::MemberNotFound);
    EXPECT_EQ(request.MemberId("HTMLTEXT"), THTTPRequestDispatch::kHtmlText);
    EXPECT_EQ(request.MemberId("post"), TScriptObject::kUnknownMember);
}

TEST_F(RequestObjectTest, TheRunsCancelEventStopsDownloads) {
    TManualResetEvent cancel(true);
    THTTPRequestDispatch cancelled(&cancel);
    const auto result =
        cancelled.invoke(THTTPRequestDispatch::kGet, ckMethod, {TScriptValue::FromText(server.url("/page"))});
    EXPECT_EQ(result.Status, TInvokeStatus::Ok);
    EXPECT_FALSE(result.Value.ToBoolean());
}
