#include "currency/CurrencyScripts.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

// Loading the provider scripts of a folder as the program does at start-up.
namespace {

const char* const kProvider = "function get_page_url() { return 'https://rates.example/'; }\n"
                              "function get_country_code() { return 'global'; }\n"
                              "function get_list_name() { return 'Bank rates'; }\n"
                              "function get_currency_list() { CurrencyList.registercolumn('rate', 'Rate', true); }\n";

class CurrencyScripts : public ::testing::Test {
protected:
    CurrencyScripts() {
        std::filesystem::create_directories(folder());
        log.OpenLog(dir.file("log.txt"));
        log.SetEnabled(true);
    }

    std::string folder() const { return dir.file("CurrencyRates/"); }
    void write(const std::string& name, const std::string& text) {
        WriteFileBytes(folder() + name, EncryptBytes(kDefinitionPassphrase, text));
    }
    TCurrencyLists load(const TTranslateFn& translate = {}) {
        return LoadCurrencyScripts(folder(), &log, translate, &store);
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
};

} // namespace

TEST_F(CurrencyScripts, LoadsEveryJsFileOfTheFolderWithItsStoredState) {
    write("RATES.JS", kProvider);
    write("rates.txt", kProvider);
    std::filesystem::create_directories(folder() + "x.js");
    {
        auto key = store.OpenKey(std::string(kCurrencyRatesKey) + "\\RATES.JS\\Columns", true);
        key->WriteBool("Active", true);
        key->WriteInteger("Period", 3);
    }

    const TCurrencyLists lists = load();
    ASSERT_EQ(lists.size(), 1u);
    const TCurrencyList& list = *lists[0];
    EXPECT_EQ(list.ScriptFileName, "RATES.JS");
    EXPECT_EQ(list.PageUrl, "https://rates.example/");
    EXPECT_EQ(list.CountryCode, "global");
    EXPECT_EQ(list.ListName, "Bank rates");
    EXPECT_EQ(list.ScriptText, kProvider);
    EXPECT_TRUE(list.Active);
    EXPECT_EQ(list.Period, 3);
    EXPECT_EQ(list.Store, &store);
    EXPECT_EQ(list.ColumnCount(), 0); // nothing of the script but the three loading functions ran
    EXPECT_TRUE(logLines().empty());
}

// The lists come in name order on every machine. Two files whose names differ only in letter case
// would share one stored key: the first in name order is loaded.
TEST_F(CurrencyScripts, ScriptsLoadInNameOrderAndOneNameHoldsOneList) {
    const auto provider = [](const std::string& name) {
        return "function get_list_name() { return '" + name + "'; }\n";
    };
    for (const char* name : {"nbp.js", "Ecb.js", "cnb.JS", "ECB.JS", "_global.js", "ecb.js"})
        write(name, provider(name));
    write("\xC3\x89tat.js", provider("upper"));
    write("\xC3\xA9tat.js", provider("lower")); // the store folds these too
    write("zero.js", "\xEF\xBB\xBF" + provider("marked"));

    const TCurrencyLists lists = load();
    std::vector<std::string> files, names;
    for (const auto& list : lists) {
        files.push_back(list->ScriptFileName);
        names.push_back(list->ListName);
    }
    EXPECT_EQ(files,
              (std::vector<std::string>{"_global.js", "cnb.JS", "ECB.JS", "nbp.js", "zero.js", "\xC3\x89tat.js"}));
    EXPECT_EQ(names.back(), "upper");
    // The byte-order mark an editor put first is not part of the script.
    EXPECT_EQ(lists[4]->ScriptText, provider("marked"));
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{
                  "[ERR] Script 'Ecb.js' skipped: another provider script has the same name in other letter case "
                  "('ECB.JS').",
                  "[ERR] Script 'ecb.js' skipped: another provider script has the same name in other letter case "
                  "('ECB.JS').",
                  "[ERR] Script '\xC3\xA9tat.js' skipped: another provider script has the same name in other letter "
                  "case ('\xC3\x89tat.js').",
              }));
}

TEST_F(CurrencyScripts, LoadingFunctionsThatFailLeaveTheirFieldsEmpty) {
    // No get_country_code; get_page_url throws; get_list_name reaches for CurrencyList, which is
    // not there while loading. Their alerts and errors go nowhere.
    write("partial.js", "function get_page_url() { alert('loading'); throw new Error('no'); }\n"
                        "function get_list_name() { CurrencyList.cansort = false; return 'Never'; }\n");
    // The decrypted text ends at its first zero byte.
    write("zero.js", std::string("function get_list_name() { return 'Zero'; }\n") + '\0' + "garbage(");

    TCurrencyLists lists = load();
    ASSERT_EQ(lists.size(), 2u);
    if (lists[0]->ScriptFileName != "partial.js")
        std::swap(lists[0], lists[1]);
    EXPECT_EQ(lists[0]->PageUrl, "");
    EXPECT_EQ(lists[0]->CountryCode, "");
    EXPECT_EQ(lists[0]->ListName, "");
    EXPECT_TRUE(lists[0]->CanSort);
    EXPECT_EQ(lists[1]->ListName, "Zero");
    EXPECT_EQ(lists[1]->ScriptText.find('\0'), std::string::npos);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(CurrencyScripts, TranslatedListNamesReplaceTheScriptsOwn) {
    write("a.js", kProvider);
    std::vector<std::string> asked;
    const TCurrencyLists lists = load([&asked](const std::string& section, const std::string& key) {
        asked.push_back(section + "/" + key);
        return key == "I.Bank rates" ? std::string("Kurzy banky") : std::string();
    });
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0]->ListName, "Kurzy banky");
    EXPECT_EQ(asked, std::vector<std::string>{"ALERTS/I.Bank rates"});

    // An empty translation keeps the name.
    const TCurrencyLists again = load([](const std::string&, const std::string&) { return std::string(); });
    EXPECT_EQ(again[0]->ListName, "Bank rates");
}

TEST_F(CurrencyScripts, BrokenFilesAreLoggedAndSkipped) {
    write("bad.js", "function get_list_name() { return 'x' \n}}");
    std::filesystem::create_symlink(folder() + "missing-target", folder() + "gone.js");
    write("good.js", kProvider);

    const TCurrencyLists lists = load();
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0]->ScriptFileName, "good.js");
    std::vector<std::string> lines = logLines();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"[ERR] Exception in parsing script 'gone.js'!",
                                               "[ERR] Unable to parse script 'bad.js'!"}));

    // A folder that does not exist gives no lists.
    EXPECT_TRUE(LoadCurrencyScripts(dir.file("nowhere/"), &log, {}, &store).empty());
    // Plain files load too (the tool's --plain).
    WriteFileBytes(dir.file("plain.js"), kProvider);
    const auto plain = LoadCurrencyScript(dir.file("plain.js"), &log, {}, &store, true);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->ListName, "Bank rates");
}
