#include "currency/CurrencySettings.h"

#include "currency/CurrencyList.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// Windows as the settings see them, with what was asked of them.
struct RecordingWindows : ICurrencyWindowHost {
    std::map<const TCurrencyList*, int> open; // list -> rebuilds
    std::vector<std::string> calls;
    bool HasCurrencyWindow(const TCurrencyList& list) const override { return open.count(&list) > 0; }
    void CreateCurrencyWindow(const std::shared_ptr<TCurrencyList>& list) override {
        open[list.get()] = 0;
        calls.push_back("create " + list->ScriptFileName);
    }
    void RebuildCurrencyWindow(const TCurrencyList& list) override {
        ++open[&list];
        calls.push_back("rebuild " + list.ScriptFileName);
    }
    void DestroyCurrencyWindow(const TCurrencyList& list) override {
        open.erase(&list);
        calls.push_back("destroy " + list.ScriptFileName);
    }
};

std::shared_ptr<TCurrencyList> makeList(TRegistry& store, const std::string& file, const std::string& code,
                                        bool withCurrency) {
    auto list = std::make_shared<TCurrencyList>();
    list->Store = &store;
    list->ScriptFileName = file;
    list->ListName = file;
    list->CountryCode = code;
    if (withCurrency) {
        list->RegisterColumn("rate", "Rate", true);
        list->FindOrAddCurrency("USD").CurrencyName = "US dollar";
    }
    return list;
}

} // namespace

TEST(CurrencySettings, GroupsFoldUntranslatedCodesIntoGlobalFirstAndKeepExactCodes) {
    TempDir dir;
    TRegistry store(dir.file("registry.db"));
    const TCurrencyLists lists = {makeList(store, "a.js", "global", false), makeList(store, "b.js", "ru", false),
                                  makeList(store, "c.js", "cz", false), makeList(store, "d.js", "xx", false),
                                  makeList(store, "e.js", "global", false)};
    // Without a translation everything is "Global", which shows only the lists coded exactly so.
    auto groups = TCurrencySettings::ProviderGroups(lists, {});
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].Text, "Global");
    EXPECT_EQ(groups[0].Code, "global");
    const auto shown = TCurrencySettings::ListsOfGroup(lists, "global");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0]->ScriptFileName, "a.js");
    EXPECT_EQ(shown[1]->ScriptFileName, "e.js");

    const TTranslateFn translate = [](const std::string& section, const std::string& key) -> std::string {
        if (section != "ALERTS")
            return {};
        if (key == "I.ru")
            return "Russia";
        if (key == "I.cz")
            return "Czech Republic";
        return {};
    };
    groups = TCurrencySettings::ProviderGroups(lists, translate);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].Code, "global");
    EXPECT_EQ(groups[1].Text, "Czech Republic");
    EXPECT_EQ(groups[2].Code, "ru");
    // "xx" has no translation and is not "global": its list belongs to no group.
    for (const auto& group : groups)
        for (const auto& list : TCurrencySettings::ListsOfGroup(lists, group.Code))
            EXPECT_NE(list->ScriptFileName, "d.js");
}

TEST(CurrencySettings, TicksStayPendingUntilOkAppliesThemOrCancelUndoesThem) {
    TempDir dir;
    TRegistry store(dir.file("registry.db"));
    auto built = makeList(store, "built.js", "global", true);
    auto empty = makeList(store, "empty.js", "global", false);
    auto shown = makeList(store, "shown.js", "global", true);
    shown->Active = true;
    const TCurrencyLists lists = {built, empty, shown};
    TCurrencySettings settings(lists);
    RecordingWindows windows;
    windows.open[shown.get()] = 0;

    // Tick and Cancel: off again. Tick twice and Cancel: as it was.
    settings.SetListActive(*built, true);
    TCurrencyObject& usd = *shown->FindCurrency("USD");
    settings.SetCurrencyActive(usd, false);
    settings.SetCurrencyActive(usd, true);
    settings.SetCurrencyActive(usd, false);
    settings.SetListActive(*shown, false);
    settings.SetListActive(*shown, true);
    EXPECT_EQ(settings.ChangedLists().size(), 3u);
    EXPECT_EQ(settings.ChangedCurrencies().size(), 3u);
    settings.RevertCurrencySettings();
    EXPECT_FALSE(built->Active);
    EXPECT_TRUE(shown->Active);
    EXPECT_TRUE(usd.Active);
    EXPECT_TRUE(settings.ChangedLists().empty());
    EXPECT_TRUE(settings.ChangedCurrencies().empty());

    // OK: the built list gets a window, the open one is rebuilt, the list without currencies is
    // switched off again and reported; every list's state is saved.
    settings.SetListActive(*built, true);
    settings.SetListActive(*empty, true);
    settings.SetCurrencyActive(usd, false);
    const auto switchedOff = settings.ApplyCurrencySettings(windows);
    ASSERT_EQ(switchedOff.size(), 1u);
    EXPECT_EQ(switchedOff[0], empty.get());
    EXPECT_FALSE(empty->Active);
    EXPECT_FALSE(usd.Active);
    EXPECT_TRUE(settings.ChangedLists().empty());
    EXPECT_TRUE(settings.ChangedCurrencies().empty());
    EXPECT_EQ(windows.calls, (std::vector<std::string>{"create built.js", "rebuild shown.js"}));
    for (const auto& list : lists) {
        auto key = store.OpenKey(list->ListKey() + "\\Columns", false);
        ASSERT_TRUE(key) << list->ScriptFileName;
        EXPECT_EQ(key->ReadBool("Active"), list->Active) << list->ScriptFileName;
    }
    EXPECT_FALSE(store.OpenKey(shown->ListKey() + "\\Currencies\\USD", false)->ReadBool("Active"));
    // A Cancel after OK has nothing left to undo.
    settings.RevertCurrencySettings();
    EXPECT_TRUE(built->Active);

    // Switching a list off closes its window.
    settings.SetListActive(*shown, false);
    windows.calls.clear();
    EXPECT_TRUE(settings.ApplyCurrencySettings(windows).empty());
    EXPECT_EQ(windows.calls, (std::vector<std::string>{"rebuild built.js", "destroy shown.js"}));

    // A list saved while the window was open (here its currencies fetched) holds the visit's ticks;
    // Cancel puts the store back as it was before. A currency the window hid stays hidden.
    const auto storedActive = [&store](const std::string& key) {
        return store.OpenKey(key, false)->ReadBool("Active");
    };
    auto other = makeList(store, "other.js", "global", true);
    other->FindOrAddCurrency("EUR").CurrencyName = "Euro";
    other->SaveToRegistry(other->ListKey(), false);
    const TCurrencyLists withOther = {shown, other};
    TCurrencySettings visit(withOther);
    visit.SetListActive(*shown, true);
    visit.SetCurrencyActive(usd, true);
    TCurrencyObject& eur = *other->FindCurrency("EUR");
    visit.SetCurrencyActive(eur, false);
    EXPECT_EQ(TCurrencySettings::ListBuilt(*shown, false, 45000.0), TCurrencySettings::TBuildOutcome::Listed);
    ASSERT_TRUE(storedActive(shown->ListKey() + "\\Columns"));
    ASSERT_TRUE(storedActive(shown->ListKey() + "\\Currencies\\USD"));
    visit.CurrencyHidden(eur);
    other->SaveToRegistry(other->ListKey(), true);
    visit.RevertCurrencySettings();
    EXPECT_FALSE(shown->Active || usd.Active || eur.Active);
    EXPECT_FALSE(storedActive(shown->ListKey() + "\\Columns"));
    EXPECT_FALSE(storedActive(shown->ListKey() + "\\Currencies\\USD"));
    EXPECT_FALSE(storedActive(other->ListKey() + "\\Currencies\\EUR"));

    const std::string question = TCurrencySettings::IncompleteListsQuestion();
    EXPECT_NE(question.find("(currencies not downloaded).\r\nFor download"), std::string::npos) << question;
    EXPECT_NE(question.find("choose 'Click here to get the list of currencies...' menu.\r\n\r\nSwitch"),
              std::string::npos)
        << question;
}

TEST(CurrencySettings, ABuildThatSucceededIsSavedInFullAndAFailedOneLeavesTheListAlone) {
    TempDir dir;
    TRegistry store(dir.file("registry.db"));
    auto list = makeList(store, "rates.js", "global", false);
    list->ListName = "Rates";
    EXPECT_EQ(TCurrencySettings::ListBuilt(*list, true, 45000.5), TCurrencySettings::TBuildOutcome::Failed);
    EXPECT_EQ(list->LastCheckedTime, 0);
    EXPECT_FALSE(store.KeyExists(list->ListKey()));
    EXPECT_EQ(TCurrencySettings::BuildOutcomeMessage(TCurrencySettings::TBuildOutcome::Failed, *list),
              "Unable to retrieve currency rates for 'Rates' list!");

    EXPECT_EQ(TCurrencySettings::ListBuilt(*list, false, 45000.5), TCurrencySettings::TBuildOutcome::NoCurrencies);
    EXPECT_EQ(list->LastCheckedTime, 45000.5);
    EXPECT_EQ(TCurrencySettings::BuildOutcomeMessage(TCurrencySettings::TBuildOutcome::NoCurrencies, *list),
              "No currencies found for the 'Rates' list!");

    list->RegisterColumn("rate", "Rate", true);
    list->FindOrAddCurrency("USD").CurrencyName = "US dollar";
    EXPECT_EQ(TCurrencySettings::ListBuilt(*list, false, 45001), TCurrencySettings::TBuildOutcome::Listed);
    EXPECT_TRUE(TCurrencySettings::BuildOutcomeMessage(TCurrencySettings::TBuildOutcome::Listed, *list).empty());
    TCurrencyList reread;
    reread.Store = &store;
    reread.LoadFromRegistry(list->ListKey());
    ASSERT_EQ(reread.CurrencyCount(), 1);
    EXPECT_EQ(reread.Currency(0).CurrencyName, "US dollar");
    EXPECT_EQ(reread.LastCheckedTime, 45001);
}
