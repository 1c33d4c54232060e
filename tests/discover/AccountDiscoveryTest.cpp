#include "support/ImitationSite.h"

#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "check/CheckThread.h"
#include "discover/AccountDiscovery.h"
#include "discover/AccountWizard.h"
#include "discover/BalancePattern.h"
#include "discover/HtmlScan.h"
#include "discover/PageNumbers.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace {

const char* const kRoot = "Software\\Brightmoor\\Tallyglass";

const TPageNumber* numberWritten(const std::vector<TPageNumber>& numbers, const std::string& written) {
    const auto found = std::find_if(numbers.begin(), numbers.end(),
                                    [&](const TPageNumber& number) { return number.Written == written; });
    return found == numbers.end() ? nullptr : &*found;
}

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

// The whole way from a login page to a definition whose real check, loaded by the program's loader
// from the encrypted file, logs in with a fresh token and reads the picked balance.
TEST(AccountDiscovery, LogsInPicksTheBalanceAndWritesADefinitionThatChecks) {
    BankSite site;
    TAccountDiscovery discovery;
    discovery.LoginPageUrl = site.http.url("/login");
    discovery.PageUrl = site.http.url("/account");
    discovery.Login = "anna";
    discovery.Password = "p&ss w+rd";

    const TDiscoverResult form = discovery.FindLoginForm();
    ASSERT_TRUE(form.Ok()) << form.Text;
    ASSERT_EQ(discovery.Forms.size(), 1u);
    EXPECT_EQ(discovery.Forms[0].Action, site.http.url("/auth/do?x=1"));
    EXPECT_TRUE(discovery.Forms[0].Post);
    EXPECT_EQ(discovery.Forms[0].LoginField, "user");
    EXPECT_EQ(discovery.Tokens, std::vector<std::string>{"csrf"}); // "lang" is the same in both sessions

    const TDiscoverResult read = discovery.ReadAccountPage();
    ASSERT_TRUE(read.Ok()) << read.Text;
    const TPageNumber* balance = numberWritten(discovery.Numbers, "1.234,56");
    ASSERT_NE(balance, nullptr);
    EXPECT_EQ(balance->Hundredths, 123456);
    EXPECT_EQ(balance->Context, "Girokonto DE12 3456 Saldo: 1.234,56 EUR Vorgemerkt: -12,50 EUR");
    const TPageNumber* pending = numberWritten(discovery.Numbers, "-12,50");
    ASSERT_NE(pending, nullptr);
    EXPECT_EQ(pending->Hundredths, -1250);
    // Script text, dates and the account's code are no amounts.
    EXPECT_EQ(numberWritten(discovery.Numbers, "5000.00"), nullptr);
    EXPECT_EQ(numberWritten(discovery.Numbers, "10.12"), nullptr);

    // The visit counter changes at the next download: reported, not taken.
    const TPageNumber* visits = &discovery.Numbers.back();
    const TDiscoverResult counter = discovery.Pick(visits->Index);
    EXPECT_EQ(counter.Id, 2151u) << counter.Text;
    EXPECT_TRUE(discovery.Pattern.empty());

    const TDiscoverResult picked = discovery.PickWritten("1.234,56");
    ASSERT_TRUE(picked.Ok()) << picked.Text;
    EXPECT_TRUE(isAscii(discovery.Pattern)) << discovery.Pattern;

    const std::string text =
        discovery.DefinitionText({"Example Bank Giro", "EXAMPLE_BANK_GIRO", "Example Bank", "My banks"});
    EXPECT_NE(text.find("{LOGIN}"), std::string::npos) << text;
    EXPECT_NE(text.find("{PASSWORD}"), std::string::npos);
    EXPECT_NE(text.find("{c_1}"), std::string::npos);
    EXPECT_EQ(text.find("anna"), std::string::npos);
    EXPECT_EQ(text.find("w+rd"), std::string::npos);
    EXPECT_EQ(text.find("w%2Brd"), std::string::npos);
    EXPECT_EQ(text.find("reset"), std::string::npos) << "a reset button is never sent";
    EXPECT_EQ(text.find("help="), std::string::npos) << "only the first submit button is pressed";

    TempDir dir;
    const std::string folder = dir.file("BalanceAlerts") + "/";
    ASSERT_TRUE(ValidUniqueId("EXAMPLE_BANK_GIRO").Ok());
    const TDiscoverResult written = WriteDefinition(DefinitionPath(folder, "EXAMPLE_BANK_GIRO"), text, false);
    ASSERT_TRUE(written.Ok()) << written.Text;
    EXPECT_EQ(
        DecryptBytes(kDefinitionPassphrase, ReadFileBytes(folder + "EXAMPLE_BANK_GIRO.bal")).substr(0, text.size()),
        text);

    TRegistry store(dir.file("registry.db"));
    TLogFile log;
    log.OpenLog(dir.file("log.txt"));
    log.SetEnabled(true);
    auto lists = LoadAlertFolder(folder, kRoot, Md5Hex("program password"), &log, {}, &store);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0]->list_name, "My banks");
    TAlertItem* alert = lists[0]->FindByUniqueId("EXAMPLE_BANK_GIRO");
    ASSERT_NE(alert, nullptr);
    ASSERT_EQ(alert->ChunkCount(), 2);
    alert->PageLogin = "anna";
    alert->PagePassword = "p&ss w+rd";
    const int loginsBefore = site.logins;
    auto thread = std::make_shared<TCheckThread>(*alert, folder, log);
    thread->Resume();
    ASSERT_TRUE(thread->WaitFor(30000));
    EXPECT_EQ(thread->StatusText, "OK") << ReadFileBytes(dir.file("log.txt"));
    EXPECT_TRUE(thread->BalanceFound) << ReadFileBytes(dir.file("log.txt"));
    EXPECT_EQ(alert->CurrentBalance(), 123456);
    EXPECT_EQ(site.logins, loginsBefore + 1);
    EXPECT_EQ(ReadFileBytes(dir.file("log.txt")).find("w+rd"), std::string::npos);
}

// A wrong password gets the login form back: said so, with no numbers of the login page offered.
TEST(AccountDiscovery, SaysSoWhenTheLoginFails) {
    BankSite site;
    TAccountDiscovery discovery;
    discovery.LoginPageUrl = site.http.url("/login");
    discovery.PageUrl = site.http.url("/account");
    discovery.Login = "anna";
    discovery.Password = "wrong";
    ASSERT_TRUE(discovery.FindLoginForm().Ok());
    const TDiscoverResult read = discovery.ReadAccountPage();
    EXPECT_EQ(read.Id, 2145u);
    EXPECT_EQ(read.Text, "The login did not succeed: the page still asks for the password.");
    EXPECT_TRUE(discovery.Numbers.empty());
}

namespace {

// A site of fixed pages, by path.
class PageSite {
public:
    // Pages are served as "text/html" unless `types` names their Content-Type.
    explicit PageSite(std::map<std::string, std::string> pages, std::map<std::string, std::string> types = {})
        : m_pages(std::move(pages)), m_types(std::move(types)) {
        http.server().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            const auto page = m_pages.find(req.path);
            if (page == m_pages.end()) {
                res.status = 404;
                return;
            }
            const auto type = m_types.find(req.path);
            res.set_content(page->second, type == m_types.end() ? "text/html" : type->second.c_str());
        });
        http.start();
    }
    std::string url(const std::string& path) const { return http.url(path); }

    TestServer http;

private:
    std::map<std::string, std::string> m_pages;
    std::map<std::string, std::string> m_types;
};

TDiscoverResult findForm(const PageSite& site, const std::string& path, TAccountDiscovery& discovery) {
    discovery.LoginPageUrl = site.url(path);
    discovery.PageUrl = site.url("/account");
    return discovery.FindLoginForm();
}

} // namespace

// Pages that cannot be turned into a definition, or only in part, get a clear word; hostile ones are
// cut to the limits and never hang or crash the analysis.
TEST(AccountDiscovery, ExplainsPagesItCannotUseAndSurvivesHostileOnes) {
    std::string periodic;
    for (int k = 0; k < 20; ++k)
        periodic += "<p>Saldo: 5,00</p>";
    std::string huge = "<p>Saldo: 12,34 EUR</p>";
    while (huge.size() < (std::size_t{20} << 20))
        huge += "<p>Umsatz am Tag</p>\n";
    const PageSite site(
        {
            {"/noform", "<html><body><p>Welcome</p></body></html>"},
            {"/two", "<form action=/a><input type=password name=p></form><form action=/b method=POST>"
                     "<input name=u><input type=password name=q></form>"},
            {"/scripted", "<div id=login><input id=u><input type=password id=p><a onclick=go()>Go</a></div>"
                          "<script>function go() {}</script>"},
            {"/multipart", "<form method=post enctype=multipart/form-data><input name=u><input type=password name=p>"
                           "</form>"},
            {"/latin",
             "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\"></head>"
             "<body><p>Saldo: 5,00 \x80</p><p>Saldo \xFC"
             "brig: 1\xA0"
             "234,56 \x80</p>"
             "<p>Soll: 12.50- and 1,234.56</p></body></html>"},
            {"/periodic", periodic},
            {"/huge", huge},
            // The server's Content-Type names the charset the page is in; its stale meta element names another.
            {"/header-charset", "<meta charset=windows-1252><p>Saldo \xC3\xBC"
                                "brig: 7,50 \xE2\x82\xAC</p>"},
        },
        {{"/header-charset", "text/html; charset=UTF-8"}});

    TAccountDiscovery discovery;
    EXPECT_EQ(findForm(site, "/noform", discovery).Id, 2141u);
    EXPECT_EQ(findForm(site, "/scripted", discovery).Id, 2143u);
    EXPECT_EQ(findForm(site, "/multipart", discovery).Id, 2144u);
    const TDiscoverResult two = findForm(site, "/two", discovery);
    EXPECT_EQ(two.Text, "The page has 2 forms with a password field; choose the one to log in with.");
    ASSERT_EQ(discovery.Forms.size(), 2u);
    ASSERT_TRUE(discovery.FindLoginForm(1).Ok());
    EXPECT_EQ(discovery.Forms[discovery.FormIndex].Action, site.url("/b"));
    EXPECT_EQ(discovery.Forms[discovery.FormIndex].LoginField, "u");

    // An account page in an old code page: numbers found, context shown right, pattern in ASCII.
    TAccountDiscovery latin;
    latin.PageUrl = site.url("/latin");
    ASSERT_TRUE(latin.FindLoginForm().Ok());
    EXPECT_FALSE(latin.NeedsLogin());
    ASSERT_TRUE(latin.ReadAccountPage().Ok());
    const TPageNumber* spaced = numberWritten(latin.Numbers, "1 234,56");
    ASSERT_NE(spaced, nullptr);
    EXPECT_EQ(spaced->Hundredths, 123456);
    EXPECT_EQ(spaced->Context, "Saldo: 5,00 € Saldo übrig: 1 234,56 € Soll: 12.50- and 1,234.56");
    ASSERT_TRUE(latin.Pick(spaced->Index).Ok());
    EXPECT_TRUE(isAscii(latin.Pattern));
    EXPECT_NE(latin.Pattern.find("\\xFCbrig"), std::string::npos) << latin.Pattern;
    const TPageNumber* trailing = numberWritten(latin.Numbers, "12.50-");
    ASSERT_NE(trailing, nullptr);
    EXPECT_EQ(trailing->Hundredths, -1250);
    EXPECT_EQ(latin.Pick(trailing->Index).Id, 2153u);
    const TPageNumber* western = numberWritten(latin.Numbers, "1,234.56");
    ASSERT_NE(western, nullptr);
    EXPECT_EQ(western->Hundredths, 123456);
    // When the page later writes that number as a debt with the minus after it, the pattern finds
    // nothing rather than a positive balance.
    ASSERT_TRUE(latin.Pick(western->Index).Ok());
    EXPECT_EQ(ReadBalance(latin.Pattern, "<p>Soll: 12.50- and 1,234.56</p>"), std::optional<std::int32_t>(123456));
    EXPECT_EQ(ReadBalance(latin.Pattern, "<p>Soll: 12.50- and 1,234.56-</p>"), std::nullopt) << latin.Pattern;
    EXPECT_EQ(ReadBalance(latin.Pattern, "<p>Soll: 12.50- and 1,234.56-1,300.00</p>"),
              std::optional<std::int32_t>(123456));

    TAccountDiscovery headerOnly;
    headerOnly.PageUrl = site.url("/header-charset");
    ASSERT_TRUE(headerOnly.FindLoginForm().Ok());
    ASSERT_TRUE(headerOnly.ReadAccountPage().Ok());
    ASSERT_EQ(headerOnly.Numbers.size(), 1u);
    EXPECT_EQ(headerOnly.Numbers[0].Context, "Saldo übrig: 7,50 €");

    // The same number with the same words around it, more times than a pattern's context can tell.
    TAccountDiscovery repeated;
    repeated.PageUrl = site.url("/periodic");
    ASSERT_TRUE(repeated.FindLoginForm().Ok());
    ASSERT_TRUE(repeated.ReadAccountPage().Ok());
    ASSERT_EQ(repeated.Numbers.size(), 20u);
    EXPECT_TRUE(repeated.Pick(3).Ok());
    EXPECT_EQ(repeated.Pick(20).Id, 2150u);

    // A 20 MB page is read as far as the limit, and says so.
    TAccountDiscovery big;
    big.PageUrl = site.url("/huge");
    ASSERT_TRUE(big.FindLoginForm().Ok());
    ASSERT_TRUE(big.ReadAccountPage().Ok());
    EXPECT_NE(numberWritten(big.Numbers, "12,34"), nullptr);
    ASSERT_FALSE(big.Notes.empty());
    EXPECT_EQ(big.Notes.back(), "The page has " + std::to_string(huge.size()) + " bytes; only its first " +
                                    std::to_string(THtmlScan::kMaxAnalysedBytes) + " bytes were read.");

    // Deep nesting is cut where it gets too deep; huge attributes are cut when copied.
    std::string deep = "<form><input type=password name=p value=\"" + std::string(3 << 20, 'v') + "\">";
    for (int k = 0; k < 200000; ++k)
        deep += "<div><b>";
    deep += "Saldo: 1,00";
    const THtmlScan scan(deep);
    EXPECT_TRUE(scan.Cut());
    ASSERT_EQ(scan.Forms.size(), 1u);
    ASSERT_EQ(scan.Forms[0].Fields.size(), 1u);
    EXPECT_EQ(scan.Forms[0].Fields[0].Value.size(), THtmlScan::kMaxValueBytes);
    std::string tables;
    for (int k = 0; k < 100000; ++k)
        tables += "<table><tr><td>";
    EXPECT_TRUE(THtmlScan(tables).Cut());
}

// A new account's definition never takes the identity of a loaded alert or the file of another
// definition (which it would replace), names it cannot show are refused, and the interval the user
// chose is in the alert's stored state when the program loads the file again.
TEST(AccountWizard, TakesNoIdentityOrFileInUseAndKeepsTheChosenInterval) {
    const PageSite site(std::map<std::string, std::string>{{"/account", "<p>Saldo: 12,34 EUR</p>"}});
    TempDir dir;
    const std::string folder = dir.file("BalanceAlerts") + "/";
    const std::string older = "[COMMON]\nlist_name=Older\n";
    ASSERT_TRUE(WriteDefinition(folder + "MY_BANK_2.bal", older, true).Ok());
    auto loaded = std::make_shared<TAlertItems>();
    loaded->FileName = dir.file("shipped/my_bank_3.BAL");
    auto taken = std::make_unique<TAlertItem>();
    taken->unique_id = "MY_BANK";
    loaded->AddAlert(std::move(taken));

    TAccountWizard wizard(folder, {loaded});
    wizard.Discovery->PageUrl = site.url("/account");
    TWizardNames names{"My Bank!", "Banks", "Mine", 30, TPeriodType::minutes};
    EXPECT_EQ(wizard.Finish(names).Id, 2187u) << "nothing picked yet";
    const TDiscoverResult found = wizard.Discovery->FindLoginForm();
    ASSERT_TRUE(found.Ok()) << found.Text;
    EXPECT_FALSE(wizard.ShowsForm(found));
    ASSERT_TRUE(wizard.Discovery->ReadAccountPage().Ok());
    ASSERT_TRUE(wizard.Discovery->Pick(1).Ok());
    EXPECT_EQ(wizard.Finish({" \t", "Banks", "Mine"}).Id, 2184u);
    EXPECT_EQ(wizard.Finish({"My Bank!", "Banks", ""}).Id, 2185u);
    EXPECT_EQ(wizard.Finish({"My Bank!", "Banks", "Mine", 1000}).Id, 2186u);
    EXPECT_TRUE(wizard.WrittenPath.empty());

    ASSERT_TRUE(wizard.Finish(names).Ok());
    EXPECT_EQ(wizard.WrittenId, "MY_BANK_4");
    EXPECT_EQ(wizard.WrittenPath, folder + "MY_BANK_4.bal");
    EXPECT_EQ(ReadFileBytes(folder + "MY_BANK_2.bal"), older);

    TRegistry store(dir.file("registry.db"));
    const std::string key = Md5Hex("program password");
    ASSERT_NE(wizard.LoadWritten(kRoot, key, &store), nullptr);
    auto lists = LoadAlertFolder(folder, kRoot, key, nullptr, {}, &store);
    ASSERT_EQ(lists.size(), 2u);
    const TAlertItem* alert = lists[1]->FindByUniqueId("MY_BANK_4");
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->Name, "My Bank!");
    EXPECT_EQ(alert->State().Period, 30);
    EXPECT_EQ(alert->State().PeriodType, TPeriodType::minutes);
}
