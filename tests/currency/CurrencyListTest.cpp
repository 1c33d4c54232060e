#include "currency/CurrencyList.h"
#include "platform/Registry.h"
#include "script/ActiveScriptEngine.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

// The rate list and its currencies: the script members as a provider script reaches them through a
// real engine, the stored form in a real store file, and the schedule.
namespace {

class CurrencyListTest : public ::testing::Test {
protected:
    CurrencyListTest() {
        list.ScriptFileName = "bank.js";
        list.Store = &store;
        host.OnScriptError = [this](const std::string& description, const std::string&, unsigned, unsigned) {
            errors.push_back(description);
        };
        host.AddNamedObject("CurrencyList", &list);
    }

    // Loads the script and runs f(); whether it completed.
    bool run(const std::string& script) { return host.LoadScript(script) && host.CallFunction("f"); }
    std::string result() const { return host.Result().Text(); }

    std::unique_ptr<TRegistryKey> key(const std::string& sub, bool create = false) {
        return store.OpenKey(list.ListKey() + (sub.empty() ? "" : "\\" + sub), create);
    }

    TempDir dir;
    TRegistry store{dir.file("registry.db")};
    TCurrencyList list;
    TActiveScriptEngine host;
    std::vector<std::string> errors;
};

TScriptValue text(const std::string& s) {
    return TScriptValue::FromText(s);
}

} // namespace

TEST_F(CurrencyListTest, MemberTablesAnswerToAnyLetterCase) {
    EXPECT_EQ(list.MemberId("registercolumn"), TCurrencyList::kRegisterColumn);
    EXPECT_EQ(list.MemberId("RegisterColumn"), 1);
    EXPECT_EQ(list.MemberId("REGISTERCOLUMN"), 1);
    EXPECT_EQ(list.MemberId("AddCurrency"), 2);
    EXPECT_EQ(list.MemberId("CurrenciesCount"), 3);
    EXPECT_EQ(list.MemberId("Currency"), 4);
    EXPECT_EQ(list.MemberId("CanSort"), 5);
    EXPECT_EQ(list.MemberId("removecurrency"), TScriptObject::kUnknownMember);
    EXPECT_EQ(list.invoke(6, ckMethod, {}).Status, TInvokeStatus::MemberNotFound);

    TCurrencyObject& usd = list.FindOrAddCurrency("USD");
    EXPECT_EQ(usd.MemberId("SetValue"), TCurrencyObject::kSetValue);
    EXPECT_EQ(usd.MemberId("CURRENCYNAME"), TCurrencyObject::kCurrencyName);
    EXPECT_EQ(usd.MemberId("value"), TScriptObject::kUnknownMember);
}

TEST_F(CurrencyListTest, RegisteringAColumnAgainUnderAnyCaseUpdatesItInPlace) {
    ASSERT_TRUE(run("function f() {\n"
                    "  CurrencyList.registercolumn('Buy', 'Buy rate', true);\n"
                    "  CurrencyList.RegisterColumn('Sell', 'Sell rate', true);\n"
                    "  return CURRENCYLIST.REGISTERCOLUMN('buy', 'Purchase', false);\n"
                    "}"));
    EXPECT_EQ(result(), "true");
    ASSERT_EQ(list.ColumnCount(), 2);
    EXPECT_EQ(list.Column(0).ColumnName, "Buy");
    EXPECT_EQ(list.Column(0).Caption, "Purchase");
    EXPECT_FALSE(list.Column(0).InspectChanges);
    EXPECT_TRUE(list.Column(0).Visible);
    EXPECT_EQ(list.Column(1).ColumnName, "Sell");
    EXPECT_EQ(list.FindColumn("SELL"), &list.Column(1));

    // A hidden column stays hidden when the script registers it again; only true counts as true.
    list.SetColumnVisible(1, false);
    ASSERT_TRUE(run("function f() { CurrencyList.registercolumn('sell', 'Sale', 1); }"));
    EXPECT_FALSE(list.Column(1).Visible);
    EXPECT_EQ(list.Column(1).Caption, "Sale");
    EXPECT_FALSE(list.Column(1).InspectChanges);
    EXPECT_TRUE(errors.empty());
}

TEST_F(CurrencyListTest, WrongArgumentCountsAndCallKindsChangeNothing) {
    EXPECT_FALSE(run("function f() { CurrencyList.registercolumn('Buy', 'Buy rate'); }"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("registercolumn"), std::string::npos) << errors[0];
    EXPECT_EQ(list.ColumnCount(), 0);

    // Methods take a method call (possibly flagged as a property read too); properties a read or a
    // write of one value.
    EXPECT_EQ(list.invoke(1, ckPropertyGet, {text("a"), text("b"), text("c")}).Status, TInvokeStatus::BadParamCount);
    EXPECT_EQ(list.invoke(1, ckMethod | ckPropertyGet, {text("a"), text("b"), text("c")}).Status, TInvokeStatus::Ok);
    EXPECT_EQ(list.invoke(4, ckMethod, {text("USD"), text("EUR")}).Status, TInvokeStatus::BadParamCount);
    EXPECT_EQ(list.invoke(3, ckPropertyPut, {text("5")}).Status, TInvokeStatus::BadParamCount);
    EXPECT_EQ(list.invoke(5, ckMethod, {}).Status, TInvokeStatus::BadParamCount);
    EXPECT_EQ(list.CurrencyCount(), 0);
    EXPECT_EQ(list.ColumnCount(), 1);

    TCurrencyObject& usd = list.FindOrAddCurrency("USD");
    EXPECT_FALSE(run("function f() { CurrencyList.currency('USD').setvalue('rate'); }"));
    EXPECT_TRUE(usd.Values().empty());
    EXPECT_EQ(usd.invoke(2, ckMethod, {text("Dollar")}).Status, TInvokeStatus::BadParamCount);
    EXPECT_TRUE(usd.Values().empty());
    EXPECT_TRUE(usd.CurrencyName.empty());
}

TEST_F(CurrencyListTest, CurrenciesAreFoundWithoutRegardToCase) {
    ASSERT_TRUE(run("function f() {\n"
                    "  var a = CurrencyList.addcurrency('USD');\n"
                    "  var b = CurrencyList.AddCurrency('USD');\n"
                    "  var c = CurrencyList.currency('usd');\n"
                    "  return (a === b) + ' ' + (a === c) + ' ' + CurrencyList.currenciescount;\n"
                    "}"));
    EXPECT_EQ(result(), "true true 1");
    EXPECT_EQ(list.CurrencyKey(0), "USD");

    // currency() adds a currency it does not know, exactly as addcurrency does.
    ASSERT_TRUE(run("function f() { CurrencyList.currency('Eur').currencyname = 'Euro';"
                    " return CurrencyList.CurrenciesCount + CurrencyList.currency('EUR').CurrencyName; }"));
    EXPECT_EQ(result(), "2Euro");
    // The count answers as a method too.
    ASSERT_TRUE(run("function f() { return CurrencyList.currenciescount() * 10 + CurrencyList.currenciescount; }"));
    EXPECT_EQ(result(), "22");
    ASSERT_EQ(list.CurrencyCount(), 2);
    EXPECT_EQ(list.CurrencyKey(1), "Eur");
    EXPECT_TRUE(list.Currency(1).Active);
    EXPECT_EQ(&list.FindOrAddCurrency("eUR"), &list.Currency(1));
    EXPECT_EQ(&list.Currency(1).Owner(), &list);

    // Beyond ASCII the folding is the store's, so the two never disagree about a key.
    TCurrencyObject& upper = list.FindOrAddCurrency("ÄRA");
    EXPECT_EQ(&list.FindOrAddCurrency("ära"), &upper);
    EXPECT_EQ(list.CurrencyCount(), 3);
}

TEST_F(CurrencyListTest, CanSortTakesOnlyTheBooleanTrue) {
    ASSERT_TRUE(run("function f() { CurrencyList.cansort = 1; return CurrencyList.CanSort; }"));
    EXPECT_EQ(result(), "false");
    EXPECT_FALSE(list.CanSort);
    ASSERT_TRUE(run("function f() { CurrencyList.cansort = true; return typeof CurrencyList.cansort; }"));
    EXPECT_EQ(result(), "boolean");
    EXPECT_TRUE(list.CanSort);
    ASSERT_TRUE(run("function f() { CurrencyList.cansort = 'true'; return CurrencyList.cansort; }"));
    EXPECT_EQ(result(), "false");
    // A 16-bit field of all ones is the one other true.
    ASSERT_TRUE(run("function f() { CurrencyList.cansort = -1; return CurrencyList.cansort; }"));
    EXPECT_EQ(result(), "true");
}

TEST_F(CurrencyListTest, SetValueKeepsThePreviousValueOfTheRunBefore) {
    ASSERT_TRUE(run("function f() { var c = CurrencyList.addcurrency('CZK'); c.setvalue('rate', '27.10');"
                    " return c.setvalue('Rate', 3.50) + '|' + c.currencyname + '|'; }"));
    EXPECT_EQ(result(), "true||");
    TCurrencyObject& czk = list.Currency(0);
    // A value seen the first time is no change; names differing in case are different entries.
    EXPECT_EQ(czk.ReadValue("rate"), (TCurrencyValue{"27.10", "27.10"}));
    EXPECT_EQ(czk.ReadValue("Rate"), (TCurrencyValue{"3.5", "3.5"}));

    ASSERT_TRUE(run("function f() { var c = CurrencyList.currency('czk');"
                    " c.SetValue('rate', '27.15'); c.SETVALUE('rate', '27.20'); }"));
    EXPECT_EQ(czk.ReadValue("rate"), (TCurrencyValue{"27.20", "27.15"}));

    czk.StoreValue("rate", "27.30");
    EXPECT_EQ(czk.ReadValue("rate"), (TCurrencyValue{"27.30", "27.20"}));
    czk.SetBothTexts("rate", "26");
    EXPECT_EQ(czk.ReadValue("rate"), (TCurrencyValue{"26", "26"}));

    // Reading a column without a value adds an empty one.
    EXPECT_EQ(czk.ReadValue("sell"), TCurrencyValue{});
    EXPECT_EQ(czk.Values().size(), 3u);
    EXPECT_EQ(czk.Values().begin()->first, "Rate"); // byte order: upper case first
}

TEST_F(CurrencyListTest, ScheduleCountsWholeSecondsInTheListsUnit) {
    const TDateTime now = EncodeDateTime(2024, 3, 10, 12, 0, 0, 0);
    EXPECT_TRUE(list.IsDue(now)); // never updated
    EXPECT_EQ(list.IntervalSeconds(), 3600);

    list.Period = 2;
    list.PeriodType = TPeriodType::days;
    EXPECT_EQ(list.IntervalSeconds(), 172800);
    list.LastCheckedTime = now - 47.0 / 24;
    EXPECT_FALSE(list.IsDue(now));
    list.LastCheckedTime = now - 48.0 / 24;
    EXPECT_TRUE(list.IsDue(now));
    // 999 ms short of the interval is still short: milliseconds are dropped, not rounded.
    list.LastCheckedTime = now - 2.0 + 999.0 / 86400000.0;
    EXPECT_FALSE(list.IsDue(now));

    // A stored time that is no time, or more than one interval ahead (the clock was set back), is due.
    for (const TDateTime stored : {std::nan(""), HUGE_VAL, now + 2.0 + 1.0 / 86400.0, now + 400.0}) {
        key("Columns", true)->WriteDateTime("LastCheckedTime", stored);
        list.LoadFromRegistry(list.ListKey());
        EXPECT_TRUE(list.IsDue(now)) << stored - now;
    }
    list.LastCheckedTime = now + 2.0; // one interval ahead: due when that time has come
    EXPECT_FALSE(list.IsDue(now));
    EXPECT_TRUE(list.IsDue(now + 4.0));

    list.PeriodType = TPeriodType::minutes;
    EXPECT_EQ(list.IntervalSeconds(), 120);
    list.PeriodType = static_cast<TPeriodType>(7);
    EXPECT_EQ(list.IntervalSeconds(), 120);
    list.PeriodType = TPeriodType::hours;
    EXPECT_EQ(list.IntervalSeconds(), 7200);
}

TEST_F(CurrencyListTest, AFullSaveReadsBackWithNoChangesShown) {
    list.Active = true;
    list.CanSort = false;
    list.Period = 15;
    list.PeriodType = TPeriodType::minutes;
    list.LastCheckedTime = EncodeDateTime(2024, 3, 10, 12, 30, 15, 250);
    list.RegisterColumn("Buy", "Buy rate", true);
    list.RegisterColumn("Sell", "Sell rate", false);
    list.SetColumnVisible(1, false);
    TCurrencyObject& usd = list.FindOrAddCurrency("USD");
    usd.CurrencyName = "US dollar";
    usd.StoreValue("Buy", "1.10");
    usd.StoreValue("Buy", "1.12");
    usd.StoreValue("Sell", "1.15");
    TCurrencyObject& gbp = list.FindOrAddCurrency("GBP");
    gbp.CurrencyName = "Pound";
    gbp.Active = false;
    list.SaveToRegistry(list.ListKey(), false);

    EXPECT_EQ(store.Dump(list.ListKey() + "\\Columns").front(),
              "Software\\Brightmoor\\Tallyglass\\CurrencyRates\\bank.js\\Columns\tActive\tREG_DWORD\t1");

    TCurrencyList copy;
    copy.Store = &store;
    copy.RegisterColumn("Old", "Old column", false); // emptied by the load
    copy.FindOrAddCurrency("OLD");
    copy.LoadFromRegistry(list.ListKey());
    EXPECT_TRUE(copy.Active);
    EXPECT_FALSE(copy.CanSort);
    EXPECT_EQ(copy.Period, 15);
    EXPECT_EQ(copy.PeriodType, TPeriodType::minutes);
    EXPECT_EQ(copy.LastCheckedTime, list.LastCheckedTime);
    ASSERT_EQ(copy.ColumnCount(), 2);
    EXPECT_EQ(copy.Column(0).ColumnName, "Buy");
    EXPECT_EQ(copy.Column(0).Caption, "Buy rate");
    EXPECT_TRUE(copy.Column(0).InspectChanges);
    EXPECT_FALSE(copy.Column(1).Visible);
    // Subkeys come back in the store's name order.
    ASSERT_EQ(copy.CurrencyCount(), 2);
    EXPECT_EQ(copy.CurrencyKey(0), "GBP");
    EXPECT_FALSE(copy.Currency(0).Active);
    EXPECT_EQ(copy.Currency(1).CurrencyName, "US dollar");
    EXPECT_EQ(copy.Currency(1).ReadValue("Buy"), (TCurrencyValue{"1.12", "1.12"}));
    EXPECT_EQ(copy.Currency(1).ReadValue("Sell"), (TCurrencyValue{"1.15", "1.15"}));
    EXPECT_TRUE(copy.Currency(0).Values().empty());
}

TEST_F(CurrencyListTest, AStateSaveWritesSettingsAndShownFlagsOnly) {
    list.Active = true;
    list.RegisterColumn("Buy", "Buy rate", true);
    TCurrencyObject& usd = list.FindOrAddCurrency("USD");
    usd.CurrencyName = "US dollar";
    usd.Active = false;
    usd.StoreValue("Buy", "1.10");
    list.SaveToRegistry(list.ListKey(), true);

    EXPECT_FALSE(key("Columns\\Buy"));
    ASSERT_TRUE(key("Currencies\\USD"));
    EXPECT_FALSE(key("Currencies\\USD")->ValueExists("CurrencyName"));
    EXPECT_FALSE(key("Currencies\\USD")->ReadBool("Active"));
    EXPECT_FALSE(key("Currencies\\USD\\Values"));
    EXPECT_EQ(key("Columns")->ValueNames(),
              (std::vector<std::string>{"Active", "Period", "PeriodType", "LastCheckedTime", "CanSort"}));

    // A later state save leaves the names and values of an earlier full save alone.
    list.SaveToRegistry(list.ListKey(), false);
    usd.CurrencyName = "Changed";
    list.SaveToRegistry(list.ListKey(), true);
    EXPECT_EQ(key("Currencies\\USD")->ReadString("CurrencyName"), "US dollar");
}

TEST_F(CurrencyListTest, LoadingSkipsIncompleteEntriesAndStopsAtAWronglyTypedValue) {
    // No Columns key: the defaults stay and the currencies still load.
    key("Currencies\\USD", true)->WriteString("CurrencyName", "US dollar");
    key("Currencies\\NONAME", true)->WriteBool("Active", false);
    key("Currencies\\NONAME\\Values", true)->WriteString("Buy", "9");
    {
        auto values = key("Currencies\\USD\\Values", true);
        values->WriteString("Buy", "1.10");
        values->WriteExpandString("Sell", "1.20");
    }
    list.LoadFromRegistry(list.ListKey());
    EXPECT_FALSE(list.Active);
    EXPECT_TRUE(list.CanSort);
    EXPECT_EQ(list.Period, 1);
    EXPECT_EQ(list.PeriodType, TPeriodType::hours);
    ASSERT_EQ(list.CurrencyCount(), 1);
    EXPECT_TRUE(list.Currency(0).Active);
    EXPECT_EQ(list.Currency(0).ReadValue("Sell").Current, "1.20");

    // A column without a caption is dropped.
    key("Columns\\Buy", true)->WriteBool("InspectChanges", true);
    key("Columns\\Sell", true)->WriteString("Caption", "Sell rate");
    list.LoadFromRegistry(list.ListKey());
    ASSERT_EQ(list.ColumnCount(), 1);
    EXPECT_EQ(list.Column(0).ColumnName, "Sell");

    // Period written as text: what came before it stays, nothing after it is read.
    {
        auto columns = key("Columns", true);
        columns->WriteBool("Active", true);
        columns->WriteBool("CanSort", false);
        columns->WriteString("Period", "5");
        columns->WriteInteger("PeriodType", 2);
    }
    TCurrencyList broken;
    broken.Store = &store;
    broken.LoadFromRegistry(list.ListKey());
    EXPECT_TRUE(broken.Active);
    EXPECT_FALSE(broken.CanSort);
    EXPECT_EQ(broken.Period, 1);
    EXPECT_EQ(broken.PeriodType, TPeriodType::hours);
    EXPECT_EQ(broken.ColumnCount(), 0);
    EXPECT_EQ(broken.CurrencyCount(), 0);
}

TEST_F(CurrencyListTest, NamesThatCannotBeKeysStayOutOfTheStore) {
    // A backslash would file the entry under another key: "USD\Values" would put its name and
    // flag among the values of USD and break the next load.
    TCurrencyObject& usd = list.FindOrAddCurrency("USD");
    usd.CurrencyName = "US dollar";
    usd.StoreValue("Buy", "1.10");
    list.FindOrAddCurrency("USD\\Values").CurrencyName = "Trouble";
    list.FindOrAddCurrency("").CurrencyName = "Nameless";
    list.RegisterColumn("", "Nameless column", false);
    list.RegisterColumn("A\\B", "Nested column", false);
    list.RegisterColumn("Buy", "Buy rate", false);
    list.SaveToRegistry(list.ListKey(), false);

    EXPECT_EQ(key("Currencies\\USD\\Values")->ValueNames(), std::vector<std::string>{"Buy"});
    EXPECT_FALSE(key("Currencies")->ValueExists("CurrencyName"));
    EXPECT_FALSE(key("Columns")->ValueExists("Caption"));
    EXPECT_FALSE(key("Columns\\A"));

    TCurrencyList copy;
    copy.Store = &store;
    copy.LoadFromRegistry(list.ListKey());
    ASSERT_EQ(copy.CurrencyCount(), 1);
    EXPECT_EQ(copy.Currency(0).ReadValue("Buy").Current, "1.10");
    EXPECT_EQ(copy.ColumnCount(), 1);
}
