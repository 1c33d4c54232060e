#include "ScriptTestSupport.h"
#include "TestObject.h"

#include "alerts/AlertItem.h"
#include "currency/CurrencyList.h"
#include "script/AlertItemObject.h"
#include "script/HTTPRequestDispatch.h"

#include <gtest/gtest.h>

#include <set>

namespace {

class ScriptHost : public ::testing::Test {
protected:
    ScriptHost() : face(alert) {
        events.connect(host);
        host.AddNamedObject("AlertItem", &face);
    }

    // Loads the script and calls the function; the return text, or "<failed>".
    std::string run(const std::string& script, const std::string& function = "f") {
        if (!host.LoadScript(script) || !host.CallFunction(function))
            return "<failed>";
        return host.Result().Text();
    }

    TAlertItem alert;
    TAlertItemObject face;
    TActiveScriptEngine host;
    ScriptEvents events;
};

} // namespace

TEST_F(ScriptHost, AvailabilityProbe) {
    EXPECT_TRUE(ScriptEngineAvailable());
    EXPECT_TRUE(host.LoadScript("function test() { var i=0; };"));
    EXPECT_TRUE(events.errors.empty());
}

TEST_F(ScriptHost, AlertCallsBackOnlyWithExactlyOneArgument) {
    EXPECT_EQ(run("function f() { alert('x'); alert(); alert('a', 'b'); ALERT(12.5); Alert(null); }"), "");
    EXPECT_EQ(events.alerts, (std::vector<std::string>{"x", "12.5", "null"}));
    EXPECT_TRUE(events.errors.empty());
}

TEST_F(ScriptHost, NamedObjectsAnswerToAnyLetterCase) {
    EXPECT_EQ(
        run("function f() {\n"
            "  AlertItem.registerinfo('a', '1');\n"
            "  ALERTITEM.RegisterInfo('b', 2);\n"
            "  alertitem.REGISTERINFO('c', true);\n"
            "  return (AlertItem === alertItem) + ' ' + ('registerInfo' in AlertItem) + ' ' + ('x' in AlertItem);\n"
            "}"),
        "true true false");
    const std::map<std::string, std::string> expected = {{"a", "1"}, {"b", "2"}, {"c", "true"}};
    EXPECT_EQ(alert.InfoValues, expected);

    // The first object of a name wins; later ones under any case are ignored.
    TTestObject first, second;
    host.AddNamedObject("Item", &first);
    host.AddNamedObject("ITEM", &second);
    first.Count = 7;
    EXPECT_EQ(run("function f() { return item.count; }"), "7");
}

TEST_F(ScriptHost, MissingFunctionFailsQuietlyAndLeavesResultEmpty) {
    EXPECT_EQ(run("function f() { return 'x'; }"), "x");
    EXPECT_FALSE(host.CallFunction("nosuch"));
    EXPECT_TRUE(host.Result().IsEmpty());
    EXPECT_FALSE(host.CallFunction("AlertItem")); // a named object is not a script function
    EXPECT_FALSE(host.CallFunction("F"));         // function names keep their case
    EXPECT_TRUE(events.errors.empty());
    // No script loaded, or one that failed to load: nothing to call.
    TActiveScriptEngine fresh;
    EXPECT_FALSE(fresh.CallFunction("f"));
    EXPECT_FALSE(host.LoadScript("function f( {"));
    EXPECT_FALSE(host.CallFunction("f"));
}

TEST_F(ScriptHost, EachLoadStartsFromAFreshEngine) {
    EXPECT_EQ(run("var shared = 1; function f() { return shared; }"), "1");
    EXPECT_EQ(run("function g() { return typeof shared + ' ' + typeof f; }", "g"), "undefined undefined");
    EXPECT_FALSE(host.CallFunction("f"));
}

TEST_F(ScriptHost, ResultsInTheirTextForm) {
    EXPECT_EQ(run("function f() { return 'abc'; }"), "abc");
    EXPECT_EQ(host.Result().Type(), TScriptValue::TType::Text);
    EXPECT_EQ(run("function f() { return 12.5; }"), "12.5");
    EXPECT_EQ(host.Result().Type(), TScriptValue::TType::Number);
    EXPECT_EQ(run("function f() { return 1e21; }"), "1e+21");
    EXPECT_EQ(run("function f() { return true; }"), "true");
    EXPECT_EQ(run("function f() { return [1, 'b']; }"), "1,b");
    EXPECT_EQ(run("function f() { return null; }"), "null");
    EXPECT_EQ(run("function f() { }"), "");
    EXPECT_TRUE(host.Result().IsEmpty());
    EXPECT_EQ(run("function f() { return 'a\\u0000b'; }"), std::string("a\0b", 3));
}

TEST_F(ScriptHost, TextArgumentKeepsEveryByte) {
    ASSERT_TRUE(host.LoadScript("function f(s) { if (arguments.length == 0) return 'none';\n"
                                "  return s.length + ':' + s.charCodeAt(3) + ':' + s.charCodeAt(5); }"));
    ASSERT_TRUE(host.CallFunction("f", "Caf\xC3\xA9 \xFF"));
    EXPECT_EQ(host.Result().Text(), "6:233:255");
    ASSERT_TRUE(host.CallFunction("f"));
    EXPECT_EQ(host.Result().Text(), "none");
}

TEST_F(ScriptHost, SyntaxErrorReportsItsLineAndText) {
    EXPECT_FALSE(host.LoadScript("var a = 1;\r\nvar b = 2;\r\nvar c = (;\r\nvar d = 4;\r\n"));
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].lineNumber, 3u);
    EXPECT_EQ(events.errors[0].sourceLine, "var c = (;");
    EXPECT_EQ(events.errors[0].charPosition, 10u);
    EXPECT_FALSE(events.errors[0].description.empty());
}

TEST_F(ScriptHost, RunTimeErrorsReportTheScriptLine) {
    EXPECT_EQ(run("function f() {\n  var x = 1;\n  return nosuch + x;\n}"), "<failed>");
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].lineNumber, 3u);
    EXPECT_EQ(events.errors[0].sourceLine, "  return nosuch + x;");
    EXPECT_NE(events.errors[0].description.find("nosuch"), std::string::npos);

    events.errors.clear();
    EXPECT_EQ(run("function f() {\n  throw 'oops';\n}"), "<failed>");
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].description, "oops");

    // A script may test for a name it does not have.
    events.errors.clear();
    EXPECT_EQ(run("function f() { return typeof nosuch; }"), "undefined");
    EXPECT_TRUE(events.errors.empty());
}

TEST_F(ScriptHost, ErrorInGlobalCodeFailsTheFirstCall) {
    ASSERT_TRUE(host.LoadScript("var x = 1;\nnosuch();\nfunction f() { return x; }\n"));
    EXPECT_TRUE(events.errors.empty());
    EXPECT_FALSE(host.CallFunction("f"));
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].lineNumber, 2u);
    EXPECT_EQ(events.errors[0].sourceLine, "nosuch();");
    EXPECT_TRUE(host.CallFunction("f"));
    EXPECT_EQ(host.Result().Text(), "1");
}

TEST_F(ScriptHost, WrongUseOfAlertItemIsAScriptError) {
    EXPECT_EQ(run("function f() {\n  AlertItem.registerinfo('a');\n}"), "<failed>");
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].lineNumber, 2u);
    EXPECT_NE(events.errors[0].description.find("Wrong number of arguments"), std::string::npos);

    EXPECT_EQ(run("function f() { AlertItem.registerinfo = 5; }"), "<failed>");
    ASSERT_EQ(events.errors.size(), 2u);
    EXPECT_EQ(events.errors[1].description, "Bad call type!");

    EXPECT_EQ(run("function f() { return AlertItem.nosuch; }"), "<failed>");
    ASSERT_EQ(events.errors.size(), 3u);
    EXPECT_NE(events.errors[2].description.find("nosuch"), std::string::npos);

    // Scripts can catch these like any error.
    EXPECT_EQ(run("function f() { try { AlertItem.registerinfo(); } catch (e) { return 'caught'; } }"), "caught");
    EXPECT_TRUE(alert.InfoValues.empty());
}

TEST_F(ScriptHost, ScriptsSeeOnlyStandardGlobalsAndTheirOwn) {
    const std::string names = run("var mine = 1;\n"
                                  "function f() {\n"
                                  "  return Object.getOwnPropertyNames(this).join(' ');\n"
                                  "}\n");
    const std::set<std::string> allowed = {"globalThis",
                                           "Infinity",
                                           "NaN",
                                           "undefined",
                                           "eval",
                                           "isFinite",
                                           "isNaN",
                                           "parseFloat",
                                           "parseInt",
                                           "decodeURI",
                                           "decodeURIComponent",
                                           "encodeURI",
                                           "encodeURIComponent",
                                           "escape",
                                           "unescape",
                                           "Array",
                                           "ArrayBuffer",
                                           "Atomics",
                                           "Boolean",
                                           "DataView",
                                           "Date",
                                           "Error",
                                           "EvalError",
                                           "Float32Array",
                                           "Float64Array",
                                           "Function",
                                           "Int8Array",
                                           "Int16Array",
                                           "Int32Array",
                                           "JSON",
                                           "Map",
                                           "Math",
                                           "Number",
                                           "Object",
                                           "Promise",
                                           "Proxy",
                                           "RangeError",
                                           "ReferenceError",
                                           "Reflect",
                                           "RegExp",
                                           "Set",
                                           "SharedArrayBuffer",
                                           "String",
                                           "Symbol",
                                           "SyntaxError",
                                           "TypeError",
                                           "Uint8Array",
                                           "Uint8ClampedArray",
                                           "Uint16Array",
                                           "Uint32Array",
                                           "URIError",
                                           "WeakMap",
                                           "WeakSet",
                                           "mine",
                                           "f"};
    std::size_t start = 0;
    while (start < names.size()) {
        const std::size_t end = std::min(names.find(' ', start), names.size());
        const std::string name = names.substr(start, end - start);
        EXPECT_TRUE(allowed.count(name)) << name;
        start = end + 1;
    }
    EXPECT_EQ(run("function f() { return typeof URL + typeof URLSearchParams + typeof print + typeof console; }"),
              "undefinedundefinedundefinedundefined");
    // Names the script does not define fail when read or called.
    EXPECT_EQ(run("function f() { return nosuch; }"), "<failed>");
    EXPECT_EQ(run("function f() { return Request.get('x'); }"), "<failed>");
    // The script's own globals shadow the host's names.
    EXPECT_EQ(run("var AlertItem = 5;\nfunction alert(x) { return 'own ' + x; }\n"
                  "function f() { return AlertItem + ' ' + alert('x'); }"),
              "5 own x");
    EXPECT_TRUE(events.alerts.empty());
}

TEST_F(ScriptHost, OldStyleScriptRunsUnchanged) {
    const char* script = "var currencies = new Array();\n"
                         "currencies[0] = 'USD'; currencies[1] = 'EUR';\n"
                         "function get_balance(page) {\n"
                         "  var re = new RegExp('Balance:\\\\s*(\\\\d+)\\\\.(\\\\d\\\\d)', 'i');\n"
                         "  var m = re.exec(page);\n"
                         "  if (m == null) return '';\n"
                         "  var totals = { units: m[1], cents: m[2] };\n"
                         "  var keys = '';\n"
                         "  for (var k in totals) keys += k.substr(0, 1).toUpperCase();\n"
                         "  var words = page.split(' ');\n"
                         "  var cleaned = page.replace(/[^0-9]/g, '');\n"
                         "  AlertItem.registerinfo('Currencies', currencies.join(','));\n"
                         "  AlertItem.registerinfo('Words', words.length);\n"
                         "  return m[0] + '\\r\\n' + m[1] + '\\r\\n.\\r\\n' + m[2] + '\\r\\n' + keys + cleaned +\n"
                         "      page.indexOf('B') + page.charAt(1) + String.fromCharCode(65) + Math.max(1, 2);\n"
                         "}\n";
    ASSERT_TRUE(host.LoadScript(script));
    ASSERT_TRUE(host.CallFunction("get_balance", "Your Balance: 1234.56 now"));
    EXPECT_EQ(host.Result().Text(), "Balance: 1234.56\r\n1234\r\n.\r\n56\r\nUC1234565oA2");
    const std::map<std::string, std::string> expected = {{"Currencies", "USD,EUR"}, {"Words", "4"}};
    EXPECT_EQ(alert.InfoValues, expected);
    EXPECT_TRUE(events.errors.empty());
}

TEST_F(ScriptHost, ProgramObjectsKeepTheirIdentityAndMemberKinds) {
    TTestObject object;
    host.AddNamedObject("TestObject", &object);
    EXPECT_EQ(run("function f() {\n"
                  "  var o = testobject.self();\n"
                  "  o.Count = 4;\n"
                  "  var sum = o.add(3);\n"
                  "  return (o === TestObject) + ' ' + (o.add === TESTOBJECT.ADD) + ' ' + sum + ' ' + o.count +\n"
                  "      ' ' + typeof sum + ' ' + o.flag(true) + o.flag(1) + o.flag(-1) + o.flag('true');\n"
                  "}"),
              "true true 7 7 number truefalsetruefalse");
    EXPECT_EQ(object.Count, 7);
    EXPECT_EQ(object.LastText, "3");
    // A property member does not take arguments.
    EXPECT_EQ(run("function f() { return testobject.count(1); }"), "<failed>");
}

TEST_F(ScriptHost, MembersThatTakeBothFormsWorkReadAndCalled) {
    TTestObject object;
    host.AddNamedObject("TestObject", &object);
    EXPECT_EQ(
        run("function f() {\n"
            "  TestObject.add('12');\n"
            "  var t = TestObject.text;\n"
            "  return TestObject.text() + '|' + t.length + '|' + t.indexOf('2') + '|' + (t == '12') + '|' +\n"
            "      (t + 1) + '|' + /1(2)/.exec(t)[1] + '|' + t.replace('1', 'x') + '|' + (TestObject.text < 13);\n"
            "}"),
        "12|2|1|true|121|2|x2|true");
    // Handed back to a program member it arrives as its text.
    EXPECT_EQ(run("function f() { TestObject.add('5'); TestObject.add(TestObject.text); }"), "");
    EXPECT_EQ(object.LastText, "5");
    EXPECT_EQ(object.LastType, TScriptValue::TType::Text);
    // Returned from a function it is the text it stands for.
    ASSERT_TRUE(host.LoadScript("function f() { return TestObject.text; }") && host.CallFunction("f"));
    EXPECT_EQ(host.Result().Type(), TScriptValue::TType::Text);
    EXPECT_EQ(host.Result().Text(), "5");
    // It takes no arguments in either form.
    EXPECT_EQ(run("function f() { return TestObject.text(1); }"), "<failed>");
}

TEST_F(ScriptHost, UndefinedAndNullAreEmptyTextsForEveryMember) {
    TCurrencyList list;
    THTTPRequestDispatch request;
    request.Request().Url = "http://127.0.0.1:1/before";
    host.AddNamedObject("CurrencyList", &list);
    host.AddNamedObject("Request", &request);
    EXPECT_EQ(run("function f() {\n"
                  "  AlertItem.registerinfo('u', undefined);\n"
                  "  AlertItem.registerinfo('n', null);\n"
                  "  AlertItem.registerinfo(undefined, 'by no name');\n"
                  "  CurrencyList.registercolumn(null, undefined, true);\n"
                  "  CurrencyList.registercolumn('rate', null, false);\n"
                  "  var none = CurrencyList.addcurrency(undefined), nil = CurrencyList.currency(null);\n"
                  "  none.setvalue(undefined, null);\n"
                  "  none.setvalue('rate', undefined);\n"
                  "  none.currencyname = null;\n"
                  "  var named = CurrencyList.addcurrency('EUR');\n"
                  "  named.currencyname = undefined;\n"
                  "  return (none === nil) + ' ' + Request.get(undefined) + ' ' + named.currencyname.length;\n"
                  "}"),
              "true false 0");
    EXPECT_TRUE(events.errors.empty());
    EXPECT_EQ(alert.InfoValues, (std::map<std::string, std::string>{{"", "by no name"}, {"n", ""}, {"u", ""}}));
    ASSERT_EQ(list.ColumnCount(), 2);
    EXPECT_EQ(list.Column(0).ColumnName, "");
    EXPECT_EQ(list.Column(0).Caption, "");
    EXPECT_EQ(list.Column(1).Caption, "");
    ASSERT_EQ(list.CurrencyCount(), 2);
    EXPECT_EQ(list.CurrencyKey(0), "");
    EXPECT_EQ(list.Currency(0).CurrencyName, "");
    EXPECT_EQ(list.Currency(0).Values(),
              (TCurrencyObject::TValues{{"", TCurrencyValue{"", ""}}, {"rate", TCurrencyValue{"", ""}}}));
    EXPECT_EQ(list.Currency(1).CurrencyName, "");
    EXPECT_EQ(request.Request().Url, "");
}
