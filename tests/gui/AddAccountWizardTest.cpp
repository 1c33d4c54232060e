#include "discover/ui/AddAccountWizard.h"
#include "app/ui/MainForm.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "gui/GuiTestSupport.h"
#include "platform/Registry.h"
#include "support/ImitationSite.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

// The window that adds an account from its page, driven as a user drives it against a local
// imitation of a bank's site, from the settings window's button to a check of the new alert.
namespace {

// Presses the button and waits (serving the window's events) until its step has ended.
void press(TfmAddAccount& wizard, const char* button) {
    Control<QPushButton>(wizard, button)->click();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !wizard.Busy(); }, 20000));
}
QString status(TfmAddAccount& wizard) {
    return Control<QLabel>(wizard, "lblStatus")->text();
}
QTreeWidgetItem* rowWritten(QTreeWidget& numbers, const QString& written) {
    for (int i = 0; i < numbers.topLevelItemCount(); ++i)
        if (numbers.topLevelItem(i)->text(0) == written)
            return numbers.topLevelItem(i);
    return nullptr;
}
void select(QTreeWidget& list, QTreeWidgetItem* row) {
    list.clearSelection();
    row->setSelected(true);
}

class AddAccountWizard : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_dir.path() + "/data"));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_dir.path() + "/config"));
        TRegistry::Instance().DeleteKey(kProgramKey);
        TRegistry::Instance().OpenKey(kProgramKey, true)->WriteString("Value_Password", Md5Hex("pw"));
        QDir().mkpath(QString::fromStdString(m_program + "BalanceAlerts"));
    }
    void TearDown() override {
        EXPECT_EQ(PendingDialogAnswers(), 0u) << "a queued dialog answer was not used";
        ClearDialogAnswers();
    }

    TempDir m_dir;
    std::string m_program = m_dir.path() + "/program/";
};

// A page that answers only when the test lets it: a download the user cancels.
class StalledPage {
public:
    StalledPage() {
        http.server().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            std::unique_lock lock(mutex);
            released.wait_for(lock, std::chrono::seconds(30), [this] { return free; });
            res.set_content("<p>late</p>", "text/html");
        });
        http.start();
    }
    ~StalledPage() {
        {
            std::lock_guard lock(mutex);
            free = true;
        }
        released.notify_all();
    }
    TestServer http;
    std::mutex mutex;
    std::condition_variable released;
    bool free = false;
};

// Cancels a download that does not end, fails to log in, then logs in, refuses a number that changes
// at every visit, picks the balance and names the account.
void driveWizard(TfmAddAccount& wizard, BankSite& site, StalledPage& stalled) {
    // A page that does not answer: the window stays at work and usable until Cancel stops it.
    Control<QLineEdit>(wizard, "edPageUrl")->setText(QString::fromStdString(stalled.http.url("/slow")));
    Control<QPushButton>(wizard, "btnNext")->click();
    EXPECT_TRUE(wizard.Busy());
    EXPECT_FALSE(Control<QProgressBar>(wizard, "pbBusy")->isHidden());
    EXPECT_FALSE(Control<QPushButton>(wizard, "btnNext")->isEnabled());
    EXPECT_EQ(status(wizard), QStringLiteral("Looking for the login form..."));
    press(wizard, "btnCancel");
    EXPECT_EQ(status(wizard), QStringLiteral("The download was cancelled."));
    EXPECT_EQ(wizard.CurrentPage(), TfmAddAccount::pgAddressIndex);
    EXPECT_TRUE(Control<QPushButton>(wizard, "btnNext")->isEnabled());

    // The account page answers with the login form, which is found from it; a wrong password
    // gets the form again.
    Control<QLineEdit>(wizard, "edPageUrl")->setText(QString::fromStdString(site.http.url("/account")));
    Control<QLineEdit>(wizard, "edLogin")->setText(QStringLiteral("anna"));
    Control<QLineEdit>(wizard, "edPassword")->setText(QStringLiteral("wrong"));
    press(wizard, "btnNext");
    EXPECT_EQ(wizard.CurrentPage(), TfmAddAccount::pgFormIndex) << status(wizard).toStdString();
    QTreeWidget& fields = *Control<QTreeWidget>(wizard, "lvFormFields");
    QStringList sent;
    for (int i = 0; i < fields.topLevelItemCount(); ++i)
        sent << fields.topLevelItem(i)->text(0) + "=" + fields.topLevelItem(i)->text(1);
    EXPECT_EQ(sent, (QStringList{"csrf=new at every visit: read from the login page at each check", "lang=de",
                                 "user=the login you typed", "pw=the password you typed", "go=Log in"}));
    press(wizard, "btnNext");
    EXPECT_EQ(wizard.CurrentPage(), TfmAddAccount::pgFormIndex);
    EXPECT_EQ(status(wizard), QStringLiteral("The login did not succeed: the page still asks for the password."));

    press(wizard, "btnBack");
    Control<QLineEdit>(wizard, "edPassword")->setText(QStringLiteral("p&ss w+rd"));
    press(wizard, "btnNext");
    press(wizard, "btnNext");
    ASSERT_EQ(wizard.CurrentPage(), TfmAddAccount::pgNumbersIndex) << status(wizard).toStdString();

    // The search leaves the numbers with the text around them; a number that changes at every
    // visit is refused with the engine's words.
    QTreeWidget& numbers = *Control<QTreeWidget>(wizard, "lvNumbers");
    QTreeWidgetItem* balance = rowWritten(numbers, QStringLiteral("1.234,56"));
    ASSERT_NE(balance, nullptr);
    EXPECT_TRUE(balance->text(1).contains(QStringLiteral("Saldo: 1.234,56 EUR")));
    Control<QLineEdit>(wizard, "edSearch")->setText(QStringLiteral("besuche"));
    EXPECT_TRUE(balance->isHidden());
    QTreeWidgetItem* visits = numbers.topLevelItem(numbers.topLevelItemCount() - 1);
    EXPECT_FALSE(visits->isHidden());
    select(numbers, visits);
    press(wizard, "btnNext");
    EXPECT_EQ(wizard.CurrentPage(), TfmAddAccount::pgNumbersIndex);
    EXPECT_TRUE(status(wizard).contains(QStringLiteral("is not the same at the next download")))
        << status(wizard).toStdString();
    Control<QLineEdit>(wizard, "edSearch")->clear();
    EXPECT_FALSE(balance->isHidden());
    select(numbers, balance);
    press(wizard, "btnNext");
    ASSERT_EQ(wizard.CurrentPage(), TfmAddAccount::pgNamesIndex) << status(wizard).toStdString();

    EXPECT_EQ(Control<QLineEdit>(wizard, "edName")->text(), QStringLiteral("127.0.0.1"));
    Control<QLineEdit>(wizard, "edName")->setText(QStringLiteral("Example Giro"));
    Control<QLineEdit>(wizard, "edGroup")->setText(QStringLiteral("Example Bank"));
    Control<QLineEdit>(wizard, "edList")->setText(QStringLiteral("My banks"));
    Control<QPushButton>(wizard, "btnFinish")->click();
}

} // namespace

TEST_F(AddAccountWizard, LogsInPicksTheBalanceAndTheTickedAlertChecksIt) {
    BankSite site;
    StalledPage stalled;
    TfmMain form;
    AnswerInputBox("pw");
    form.Settings.ExePath = m_program;
    ASSERT_TRUE(form.FormCreate());
    form.ShowSettingsWindow();
    form.pcMain->setCurrentWidget(form.tsBalanceAlerts);

    PushDialogAnswer([&](QDialog& dialog) {
        auto& wizard = dynamic_cast<TfmAddAccount&>(dialog);
        driveWizard(wizard, site, stalled);
        return wizard.result();
    });
    Control<QPushButton>(form, "btnAddFromPage")->click();

    // The definition is in the user's folder, encrypted, without the login or the password.
    const std::string file = m_dir.path() + "/data/tallyglass/BalanceAlerts/EXAMPLE_GIRO.bal";
    const std::string text = DecryptBytes(kDefinitionPassphrase, ReadFileBytes(file));
    EXPECT_NE(text.find("{PASSWORD}"), std::string::npos) << text;
    EXPECT_EQ(ReadFileBytes(file).find("[COMMON]"), std::string::npos);
    EXPECT_EQ(text.find("anna"), std::string::npos);
    EXPECT_EQ(text.find("w+rd"), std::string::npos);

    // The tab shows its list with the alert ticked; OK puts it into the Balance List.
    EXPECT_EQ(Control<QComboBox>(form, "cbAlertsLists")->currentText(), QStringLiteral("My banks"));
    QTreeWidgetItem* node = form.SelectedAlertNode();
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->text(0), QStringLiteral("Example Giro"));
    EXPECT_EQ(node->checkState(0), Qt::Checked);
    TAlertItem& alert = *TBalanceAlertsTab::AlertOfNode(node);
    EXPECT_EQ(alert.State().PageLogin, "anna");
    TBalanceList& balances = form.BalanceListWindow()->BalanceList();
    EXPECT_EQ(balances.IndexOf(alert), -1);
    form.btnOKClick();
    ASSERT_GE(balances.IndexOf(alert), 0);

    // The stored login and password log in at a real check, which reads the picked balance.
    balances.CheckNow(alert);
    ASSERT_TRUE(ProcessEventsUntil([&] { return balances.RunningCheckCount() == 0; }, 20000));
    EXPECT_EQ(alert.CurrentBalance(), 123456);
    const std::string log = ReadFileBytes(m_dir.path() + "/data/TallyData/log.txt");
    EXPECT_NE(log.find("Account 'Example Giro' added from its page as '" + file + "'."), std::string::npos) << log;
    EXPECT_EQ(log.find("w+rd"), std::string::npos);

    // A new start finds the account in the user's folder, still ticked, with its login.
    form.FormDestroy();
    TfmMain again;
    AnswerInputBox("pw");
    again.Settings.ExePath = m_program;
    ASSERT_TRUE(again.FormCreate());
    ASSERT_EQ(again.BalanceListWindow()->BalanceList().RowCount(), 1);
    EXPECT_EQ(again.BalanceListWindow()->BalanceList().Rows().front().Alert->State().PagePassword, "p&ss w+rd");
}
