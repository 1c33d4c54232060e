#include "../currency/LoopbackServer.h"

#include "app/ui/MainForm.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "currency/CurrencyList.h"
#include "currency/ui/CurrencyRatesWindow.h"
#include "currency/ui/EditCurrencyRates.h"
#include "gui/GuiTestSupport.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

// The Currency Rates tab driven as a user would, over the shipped ECB provider pointed at a local
// server, and two providers of our own, in a temporary program folder.
namespace {

const char* const kRatesUrl = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";

std::string ratesFile() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gesmes:Envelope><Cube><Cube time='2024-03-08'>\n"
           "<Cube currency='USD' rate='1.0939'/>\n<Cube currency='JPY' rate='160.88'/>\n"
           "<Cube currency='CZK' rate='25.308'/>\n</Cube></Cube></gesmes:Envelope>\n";
}

std::string provider(const std::string& code, const std::string& name) {
    return "function get_page_url() { return ''; }\nfunction get_country_code() { return '" + code +
           "'; }\nfunction get_list_name() { return '" + name + "'; }\nfunction get_currency_list() { }\n";
}

void mouse(QTreeWidget& tree, QEvent::Type type, QTreeWidgetItem* node) {
    const QPointF pos = tree.visualItemRect(node).center();
    const QPointF global = tree.viewport()->mapToGlobal(pos);
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, pos, global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &event);
}

void click(QTreeWidget& tree, QTreeWidgetItem* node) {
    mouse(tree, QEvent::MouseButtonPress, node);
    mouse(tree, QEvent::MouseButtonRelease, node);
}

bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

TEST(CurrencyRatesTab, AUserFetchesTheCurrenciesTicksTheListAndGetsItsWindow) {
    TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path() + "/data"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path() + "/config"));
    TRegistry::Instance().DeleteKey(kProgramKey);
    const std::string program = dir.path() + "/program/";
    QDir().mkpath(QString::fromStdString(program + "CurrencyRates"));
    WriteFileBytes(program + "CurrencyRates/ecb.js", ReadFileBytes(BinPath("CurrencyRates/ecb.js")));
    WriteFileBytes(program + "CurrencyRates/empty.js",
                   EncryptBytes(kDefinitionPassphrase, provider("global", "Empty")));
    WriteFileBytes(program + "CurrencyRates/cz.js", EncryptBytes(kDefinitionPassphrase, provider("cz", "Czech")));
    TRegistry::Instance().OpenKey(kProgramKey, true)->WriteString("Value_Password", Md5Hex("pw"));
    LoopbackServer server;
    server.setBody(ratesFile());

    TfmMain form;
    AnswerInputBox("pw");
    form.Settings.ExePath = program;
    ASSERT_TRUE(form.FormCreate());
    ASSERT_EQ(form.CurrencyLists().size(), 3u);
    std::shared_ptr<TCurrencyList> ecb, empty;
    for (const auto& list : form.CurrencyLists()) {
        if (list->ScriptFileName == "ecb.js")
            ecb = list;
        else if (list->ScriptFileName == "empty.js")
            empty = list;
    }
    ASSERT_TRUE(ecb && empty);
    const auto pointAt = [&](const std::string& from, const std::string& to) {
        const std::size_t at = ecb->ScriptText.find(from);
        ASSERT_NE(at, std::string::npos);
        ecb->ScriptText.replace(at, from.size(), to);
    };
    // First at a server that holds the download until the run is cancelled.
    pointAt(kRatesUrl, server.url("/hold"));

    form.miCurrrencyRates->trigger();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.pcMain->currentWidget(), form.tsCurrencyRates);
    // Without a translation every code is "Global", which shows the lists coded exactly so.
    ASSERT_EQ(Control<QComboBox>(form, "cbCurrencyProviders")->count(), 1);
    EXPECT_EQ(Control<QComboBox>(form, "cbCurrencyProviders")->itemText(0), QStringLiteral("Global"));
    QTreeWidget& tree = *Control<QTreeWidget>(form, "tvProvidersList");
    ASSERT_EQ(tree.topLevelItemCount(), 2);
    QTreeWidgetItem* ecbNode = form.tsCurrencyRates->CurrencyListNode(*ecb);
    QTreeWidgetItem* emptyNode = form.tsCurrencyRates->CurrencyListNode(*empty);
    ASSERT_TRUE(ecbNode && emptyNode);
    EXPECT_EQ(ecbNode->text(0), QStringLiteral("ECB euro reference rates"));
    EXPECT_EQ(ecbNode->checkState(0), Qt::Unchecked);

    // The link: hot under the mouse, a click starts the run, a second cancels it.
    ecbNode->setExpanded(true);
    ASSERT_EQ(ecbNode->childCount(), 1);
    QTreeWidgetItem* link = ecbNode->child(0);
    EXPECT_EQ(link->text(0), QStringLiteral("Click here to get the list of currencies..."));
    EXPECT_FALSE(link->flags().testFlag(Qt::ItemIsUserCheckable));
    mouse(tree, QEvent::MouseMove, link);
    EXPECT_TRUE(link->font(0).underline());
    EXPECT_EQ(tree.viewport()->cursor().shape(), Qt::PointingHandCursor);
    mouse(tree, QEvent::MouseMove, ecbNode);
    EXPECT_FALSE(link->font(0).underline());
    EXPECT_EQ(tree.viewport()->cursor().shape(), Qt::ArrowCursor);
    click(tree, link);
    EXPECT_EQ(link->text(0), QStringLiteral("Click here to cancel..."));
    EXPECT_EQ(form.CurrencyThreads().Count(), 1);
    server.waitForHeldRequest();
    click(tree, link);
    ASSERT_EQ(ecbNode->childCount(), 1);
    EXPECT_EQ(ecbNode->child(0)->text(0), QStringLiteral("Click here to get the list of currencies..."));
    EXPECT_EQ(TCurrencyRatesTab::CurrencyNodeKind(ecbNode->child(0)), TCurrencyRatesTab::ckStartLink);
    EXPECT_EQ(form.CurrencyThreads().Count(), 0);
    EXPECT_EQ(ecb->CurrencyCount(), 0);

    // Now from the rates file: the node lists the currencies, ticked.
    pointAt(server.url("/hold"), server.url("/rates.xml"));
    click(tree, ecbNode->child(0));
    ASSERT_TRUE(waitFor([&] { return form.CurrencyThreads().Count() == 0; }));
    ASSERT_EQ(ecbNode->childCount(), 3);
    EXPECT_EQ(TCurrencyRatesTab::CurrencyNodeKind(ecbNode->child(0)), TCurrencyRatesTab::ckCurrency);
    EXPECT_TRUE(ecbNode->child(0)->text(0).startsWith(QStringLiteral("USD")));
    EXPECT_EQ(ecbNode->child(2)->checkState(0), Qt::Checked);
    EXPECT_GT(ecb->LastCheckedTime, 0);

    // A run that finds no currencies says so and leaves the list closed.
    std::vector<SeenDialog> seen;
    AnswerMessageBox(QMessageBox::Ok, &seen);
    emptyNode->setExpanded(true);
    click(tree, emptyNode->child(0));
    ASSERT_TRUE(waitFor([&] { return !seen.empty(); }));
    EXPECT_EQ(seen[0].title, QStringLiteral("Message"));
    EXPECT_EQ(seen[0].group, QStringLiteral("No currencies found for the 'Empty' list!"));
    EXPECT_FALSE(emptyNode->isExpanded());
    EXPECT_EQ(emptyNode->childCount(), 0);

    // Tick and Cancel; tick twice and Cancel; a currency unticked and Cancel: all as before.
    ecbNode->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(ecb->Active);
    form.btnCancel->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(ecb->Active);
    EXPECT_EQ(ecbNode->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(ecbNode->isExpanded());
    form.miCurrrencyRates->trigger();
    ecbNode->setCheckState(0, Qt::Checked);
    ecbNode->setCheckState(0, Qt::Unchecked);
    ecbNode->setExpanded(true);
    ecbNode->child(0)->setCheckState(0, Qt::Unchecked);
    EXPECT_FALSE(ecb->Currency(0).Active);
    form.btnCancel->click();
    EXPECT_FALSE(ecb->Active);
    EXPECT_TRUE(ecb->Currency(0).Active);
    EXPECT_TRUE(form.CurrencySettings().ChangedLists().empty());

    // The options dialog opens for the list of the node under the context menu.
    form.miCurrrencyRates->trigger();
    ecbNode->setExpanded(true);
    form.pmConfigureCurrencyListPopup(tree.visualItemRect(ecbNode->child(1)).center());
    EXPECT_TRUE(Control<QPushButton>(form, "btnConfigureCurrencyList")->isEnabled());
    bool configured = false;
    PushDialogAnswer([&configured](QDialog& dialog) {
        configured = dynamic_cast<TfmEditCurrencyRates*>(&dialog) != nullptr;
        return static_cast<int>(QDialog::Rejected);
    });
    Control<QAction>(form, "miConfigureCurrencyList")->trigger();
    EXPECT_TRUE(configured);

    // A ticked list without currencies: OK switches it off and asks; Yes stays on the tab.
    emptyNode->setCheckState(0, Qt::Checked);
    seen.clear();
    AnswerMessageBox(QMessageBox::Yes, &seen);
    form.pcMain->setCurrentWidget(form.tsGeneral);
    form.btnOK->click();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].group.startsWith(QStringLiteral(
        "One or more active Currency List was not completely configured (currencies not downloaded).\r\n")))
        << seen[0].group.toStdString();
    EXPECT_TRUE(seen[0].group.contains(QStringLiteral("'Click here to get the list of currencies...'")));
    EXPECT_EQ(seen[0].icon, QMessageBox::Information);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.pcMain->currentWidget(), form.tsCurrencyRates);
    EXPECT_FALSE(empty->Active);
    EXPECT_EQ(emptyNode->checkState(0), Qt::Unchecked);
    EXPECT_EQ(form.CurrencyWindows().CurrencyWindowCount(), 0);

    // Tick the built list and OK: its window shows the rates, and the choice is kept.
    ecbNode->setCheckState(0, Qt::Checked);
    form.btnOK->click();
    EXPECT_FALSE(form.isVisible());
    TfmCurrencyRatesList* window = form.CurrencyWindows().CurrencyWindow(*ecb);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Rates().RowCount(), 3);
    EXPECT_TRUE(TRegistry::Instance().OpenKey(ecb->ListKey() + "\\Columns", false)->ReadBool("Active"));
    EXPECT_EQ(PendingDialogAnswers(), 0u);
    ClearDialogAnswers();
}
