#include "alerts/AlertItems.h"
#include "app/ui/MainForm.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "gui/GuiTestSupport.h"
#include "platform/Registry.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QDir>

#include <gtest/gtest.h>

#include <filesystem>

// What a user adds to an installed program without writing to its folder: definitions and
// provider scripts of their own.
namespace {

std::string definition(const std::string& listName, const std::string& name, const std::string& id,
                       const std::string& url, const std::string& pattern) {
    return "[COMMON]\r\nlist_name=" + listName + "\r\n\r\n[" + name + "]\r\nunique_id=" + id +
           "\r\nneed_auth=no\r\npage_url=" + url + "\r\npattern=" + pattern + "\r\n\r\n";
}

std::string provider(const std::string& name) {
    return "function get_page_url() { return ''; }\nfunction get_country_code() { return 'xx'; }\n"
           "function get_list_name() { return '" +
           name + "'; }\nfunction get_currency_list() { }\n";
}

void writeEncrypted(const std::string& path, const std::string& text) {
    QDir().mkpath(QString::fromStdString(std::filesystem::path(path).parent_path().string()));
    WriteFileBytes(path, EncryptBytes(kDefinitionPassphrase, text));
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

class UserFiles : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_dir.path() + "/data"));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_dir.path() + "/config"));
        TRegistry::Instance().DeleteKey(kProgramKey);
        TRegistry::Instance().OpenKey(kProgramKey, true)->WriteString("Value_Password", Md5Hex("pw"));
        QDir().mkpath(QString::fromStdString(m_program));
    }
    void TearDown() override { ClearDialogAnswers(); }

    TempDir m_dir;
    std::string m_program = m_dir.path() + "/program/";
    std::string m_user = m_dir.path() + "/data/tallyglass/";
};

} // namespace

TEST_F(UserFiles, OwnDefinitionsAndProvidersJoinTheShippedOnesAndTheirScriptsAreFoundBesideThem) {
    TestServer site;
    site.server().Get("/bank", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<p data-credit=\"42.17\">Your account</p>", "text/html");
    });
    site.start();

    // Shipped: three lists. The bank's pattern finds nothing on today's page.
    writeEncrypted(m_program + "BalanceAlerts/bank.bal",
                   definition("Bank", "Bank account", "BANK", site.url("/bank"), "Old: (\\d+)(\\.)(\\d\\d)"));
    writeEncrypted(m_program + "BalanceAlerts/shop.bal",
                   definition("Shop", "Shop card", "SHOP", "http://127.0.0.1:9/", "(\\d+)(\\.)(\\d\\d)"));
    writeEncrypted(m_program + "BalanceAlerts/wallet.bal",
                   definition("Wallet", "Wallet", "WALLET", "http://127.0.0.1:9/", "(\\d+)(\\.)(\\d\\d)"));
    writeEncrypted(m_program + "CurrencyRates/rates.js", provider("Shipped rates"));
    writeEncrypted(m_program + "CurrencyRates/other.js", provider("Shipped other"));

    // The user's own: a newer bank definition (other letter case) whose pattern script lives only
    // in the user's folder, a shop file never encrypted, a link to nothing, and a list of their own.
    writeEncrypted(m_user + "BalanceAlerts/Bank.BAL",
                   definition("Bank", "Bank account", "BANK", site.url("/bank"), "js:credit.js"));
    writeEncrypted(m_user + "BalanceAlerts/credit.js", "function get_balance(page) {\n"
                                                       "    var m = /data-credit=\"(\\d+)\\.(\\d\\d)\"/.exec(page);\n"
                                                       "    return m ? [m[0], m[1], '.', m[2]].join('\\n') : '';\n}\n");
    WriteFileBytes(m_user + "BalanceAlerts/shop.bal", definition("Shop", "Mine", "MINE", "x", "y"));
    std::filesystem::create_symlink(m_user + "BalanceAlerts/gone", m_user + "BalanceAlerts/broken.bal");
    writeEncrypted(m_user + "BalanceAlerts/extra.bal",
                   definition("Extra", "Extra account", "EXTRA", "http://127.0.0.1:9/", "(\\d+)(\\.)(\\d\\d)"));
    writeEncrypted(m_user + "CurrencyRates/RATES.js", provider("Own rates"));
    writeEncrypted(m_user + "CurrencyRates/other.js", "function get_list_name( {");

    // The user's bank account was switched on in an earlier run, under the shipped definition.
    for (auto& list : LoadAlertFolder(m_program + "BalanceAlerts/", kProgramKey, Md5Hex("pw")))
        for (auto& alert : list->Alerts)
            if (alert->unique_id == "BANK") {
                alert->Active = true;
                list->SaveState(*alert);
            }

    AnswerInputBox("pw");
    TfmMain form;
    form.Settings.ExePath = m_program;
    ASSERT_TRUE(form.FormCreate());

    QStringList shown;
    for (int i = 0; i < Control<QComboBox>(form, "cbAlertsLists")->count(); ++i)
        shown << Control<QComboBox>(form, "cbAlertsLists")->itemText(i);
    EXPECT_EQ(shown, (QStringList{"Bank", "Extra", "Shop", "Wallet"}));
    std::map<std::string, std::string> files;
    for (const auto& list : form.AlertLists())
        files[list->ListName] = list->FileName;
    EXPECT_EQ(files["Bank"], m_user + "BalanceAlerts/Bank.BAL");
    EXPECT_EQ(files["Shop"], m_program + "BalanceAlerts/shop.bal");
    EXPECT_EQ(files["Wallet"], m_program + "BalanceAlerts/wallet.bal");

    std::vector<std::string> providers;
    for (const auto& list : form.CurrencyLists())
        providers.push_back(list->ListName);
    EXPECT_EQ(providers, (std::vector<std::string>{"Shipped other", "Own rates"}));

    const std::string log = ReadFileBytes(m_dir.path() + "/data/TallyData/log.txt");
    EXPECT_EQ(occurrences(log, ": Loading balance alerts from '" + m_user + "BalanceAlerts/'...\r\n"), 1u) << log;
    EXPECT_EQ(occurrences(log, ": Loading balance alerts from '" + m_program + "BalanceAlerts/'...\r\n"), 1u);
    EXPECT_EQ(occurrences(log, ": Loaded 2 balance alerts from 3 lists.\r\n"), 1u) << log;
    EXPECT_EQ(occurrences(log, ": Loaded 2 balance alerts from 2 lists.\r\n"), 1u) << log;
    EXPECT_EQ(occurrences(log, "[ERR] Unable to read balance alerts file '" + m_user + "BalanceAlerts/broken.bal'!"),
              1u);
    EXPECT_EQ(occurrences(log, "[ERR] Unable to parse script 'other.js'!"), 1u);

    // The switched-on account kept its state under the user's definition and is read by its script.
    TBalanceList& balances = form.BalanceListWindow()->BalanceList();
    ASSERT_EQ(balances.RowCount(), 1);
    TAlertItem& bank = *balances.Rows().front().Alert;
    EXPECT_EQ(bank.pattern, "js:credit.js");
    balances.CheckNow(bank);
    ASSERT_TRUE(ProcessEventsUntil([&] { return balances.RunningCheckCount() == 0; }, 20000));
    EXPECT_EQ(balances.Rows().front().BalanceText, "42" + SystemDecimalSeparator() + "17");
}
