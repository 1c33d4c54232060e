#include "alerts/ui/EditBalanceAlert.h"
#include "app/ui/MainForm.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "gui/GuiTestSupport.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"
#include "translate/Messages.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

// The Balance Alerts tab and the alert edit dialog, driven as a user would, over definition files
// in a temporary program folder and the real store.
namespace {

std::string definition(const std::string& section, const std::string& id, const std::string& group, bool needAuth) {
    return "[" + section + "]\r\nunique_id=" + id + "\r\ngroup_name=" + group +
           "\r\nneed_auth=" + (needAuth ? "yes" : "no") + "\r\npage_url=http://127.0.0.1:9/" + id +
           "\r\npattern=(\\d+)(\\.)(\\d\\d)\r\n\r\n";
}

class AlertsTab : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_dir.path() + "/data"));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_dir.path() + "/config"));
        TRegistry::Instance().DeleteKey(kProgramKey);
        QDir().mkpath(QString::fromStdString(m_program + "BalanceAlerts"));
        WriteFileBytes(m_program + "BalanceAlerts/zeta.bal",
                       EncryptBytes(kDefinitionPassphrase, "[COMMON]\r\nlist_name=Zeta Mobile\r\n\r\n" +
                                                               definition("A1", "T_A1", "Mobile", true) +
                                                               definition("A2", "T_A2", "Mobile", true) +
                                                               definition("N1", "T_N1", "Net", false) +
                                                               definition("Caf\xE9", "T_L1", "Net", false)));
        WriteFileBytes(m_program + "BalanceAlerts/alpha.bal",
                       EncryptBytes(kDefinitionPassphrase, "[COMMON]\r\nlist_name=Alpha\r\n"));
    }
    void TearDown() override {
        EXPECT_EQ(PendingDialogAnswers(), 0u) << "a queued dialog answer was not used";
        ClearDialogAnswers();
    }

    // The stored state of the definitions, as a returning user with the password "pw" has it.
    void storeState(const std::function<void(TAlertItem&)>& change) {
        TRegistry::Instance().OpenKey(kProgramKey, true)->WriteString("Value_Password", Md5Hex("pw"));
        for (auto& list : LoadAlertFolder(m_program + "BalanceAlerts/", kProgramKey, Md5Hex("pw")))
            for (auto& alert : list->Alerts) {
                change(*alert);
                list->SaveState(*alert);
            }
    }

    void start(TfmMain& form) {
        AnswerInputBox("pw");
        form.Settings.ExePath = m_program;
        ASSERT_TRUE(form.FormCreate());
    }

    static TAlertItem& alertNamed(TfmMain& form, const std::string& name) {
        for (const auto& list : form.AlertLists())
            for (const auto& alert : list->Alerts)
                if (alert->Name == name)
                    return *alert;
        throw std::runtime_error("no alert " + name);
    }
    static QTreeWidgetItem* nodeOf(TfmMain& form, const TAlertItem& alert) {
        QTreeWidget& tree = *Control<QTreeWidget>(form, "tvAvailableAlertsList");
        for (int g = 0; g < tree.topLevelItemCount(); ++g)
            for (int a = 0; a < tree.topLevelItem(g)->childCount(); ++a)
                if (TBalanceAlertsTab::AlertOfNode(tree.topLevelItem(g)->child(a)) == &alert)
                    return tree.topLevelItem(g)->child(a);
        return nullptr;
    }
    static bool hasRow(TfmMain& form, const TAlertItem& alert) {
        return form.BalanceListWindow()->BalanceList().IndexOf(alert) >= 0;
    }
    static void clickAt(QTreeWidget& tree, QTreeWidgetItem* node) {
        const QPointF pos = tree.visualItemRect(node).center();
        const QPointF global = tree.viewport()->mapToGlobal(pos);
        QMouseEvent press(QEvent::MouseButtonPress, pos, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, pos, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &press);
        QApplication::sendEvent(tree.viewport(), &release);
    }
    static void pressF2(QWidget* target) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F2, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
        QApplication::processEvents();
    }
    static QLineEdit* openEditor(QTreeWidget& tree) {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (QLineEdit* edit : tree.viewport()->findChildren<QLineEdit*>())
            if (edit->isVisible())
                return edit;
        return nullptr;
    }

    TempDir m_dir;
    std::string m_program = m_dir.path() + "/program/";
};

} // namespace

TEST_F(AlertsTab, ListsTreeAndTicksFollowOkAndCancel) {
    storeState([](TAlertItem& alert) { alert.Active = alert.unique_id == "T_A1"; });
    TfmMain form;
    start(form);
    form.ShowSettingsWindow();
    form.pcMain->setCurrentWidget(form.tsBalanceAlerts);
    QTreeWidget& tree = *Control<QTreeWidget>(form, "tvAvailableAlertsList");

    // The lists in name order; the first has no alerts: an empty tree, nothing to configure.
    ASSERT_EQ(Control<QComboBox>(form, "cbAlertsLists")->count(), 2);
    EXPECT_EQ(Control<QComboBox>(form, "cbAlertsLists")->itemText(0), QStringLiteral("Alpha"));
    EXPECT_EQ(Control<QComboBox>(form, "cbAlertsLists")->itemText(1), QStringLiteral("Zeta Mobile"));
    EXPECT_EQ(tree.topLevelItemCount(), 0);
    EXPECT_FALSE(Control<QPushButton>(form, "btnConfigureAlert")->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(form, "btnAddCustomAlert")->isEnabled());

    Control<QComboBox>(form, "cbAlertsLists")->setCurrentIndex(1);
    ASSERT_EQ(tree.topLevelItemCount(), 2);
    QTreeWidgetItem* mobile = tree.topLevelItem(0);
    QTreeWidgetItem* net = tree.topLevelItem(1);
    EXPECT_EQ(mobile->text(0), QStringLiteral("Mobile"));
    EXPECT_FALSE(mobile->flags() & (Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEditable));
    EXPECT_FALSE(mobile->data(0, Qt::CheckStateRole).isValid());
    TAlertItem& a1 = alertNamed(form, "A1");
    TAlertItem& a2 = alertNamed(form, "A2");
    TAlertItem& n1 = alertNamed(form, "N1");
    EXPECT_EQ(nodeOf(form, a1)->checkState(0), Qt::Checked);
    EXPECT_EQ(nodeOf(form, a2)->checkState(0), Qt::Unchecked);
    EXPECT_TRUE(hasRow(form, a1));

    // A click on an alert selects it; a click on a group keeps it; choosing the same list again
    // rebuilds nothing.
    clickAt(tree, nodeOf(form, a2));
    EXPECT_EQ(form.SelectedAlertNode(), nodeOf(form, a2));
    EXPECT_TRUE(Control<QPushButton>(form, "btnConfigureAlert")->isEnabled() &&
                Control<QPushButton>(form, "btnAddCustomAlert")->isEnabled());
    clickAt(tree, net);
    EXPECT_EQ(form.SelectedAlertNode(), nodeOf(form, a2));
    net->setExpanded(false);
    QTreeWidgetItem* before = nodeOf(form, a2);
    emit Control<QComboBox>(form, "cbAlertsLists")->activated(1);
    EXPECT_EQ(nodeOf(form, a2), before);
    EXPECT_FALSE(net->isExpanded());
    EXPECT_EQ(form.SelectedAlertNode(), before);
    net->setExpanded(true);

    // Ticked and cancelled: inactive again and no row. Unticked, ticked, unticked and cancelled:
    // as before the window opened.
    nodeOf(form, a2)->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(a2.Active);
    for (Qt::CheckState state : {Qt::Unchecked, Qt::Checked, Qt::Unchecked})
        nodeOf(form, a1)->setCheckState(0, state);
    EXPECT_FALSE(a1.Active);
    EXPECT_EQ(form.AlertSettings().PendingAlerts().size(), 4u);
    form.btnCancel->click();
    EXPECT_FALSE(a2.Active);
    EXPECT_TRUE(a1.Active);
    EXPECT_EQ(nodeOf(form, a2)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(nodeOf(form, a1)->checkState(0), Qt::Checked);
    EXPECT_FALSE(hasRow(form, a2));
    EXPECT_TRUE(hasRow(form, a1));

    // OK with an active alert that lacks its login, answered Yes: the General tab is saved, the
    // window stays on the alerts, the tick is still pending, and Cancel still undoes it.
    form.ShowSettingsWindow();
    form.cbShowHints->setChecked(false);
    nodeOf(form, a2)->setCheckState(0, Qt::Checked);
    nodeOf(form, n1)->setCheckState(0, Qt::Checked);
    std::vector<SeenDialog> seen;
    AnswerMessageBox(QMessageBox::Yes, &seen);
    form.btnOK->click();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, QStringLiteral("Message"));
    EXPECT_TRUE(seen[0].group.startsWith(QStringLiteral("One or more active Balance Alerts was not completely")));
    EXPECT_EQ(seen[0].icon, QMessageBox::Question);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.pcMain->currentWidget(), form.tsBalanceAlerts);
    EXPECT_FALSE(TRegistry::Instance().OpenKey(kProgramKey, false)->ReadBool("Value_ShowHints"));
    EXPECT_FALSE(hasRow(form, a2));
    form.btnCancel->click();
    EXPECT_FALSE(a2.Active || n1.Active);

    // Ticked and confirmed: the row comes; answered No, the incomplete alert is taken as it is.
    form.ShowSettingsWindow();
    nodeOf(form, n1)->setCheckState(0, Qt::Checked);
    nodeOf(form, a2)->setCheckState(0, Qt::Checked);
    AnswerMessageBox(QMessageBox::No);
    form.btnOK->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(hasRow(form, n1) && hasRow(form, a2));
    EXPECT_TRUE(form.AlertSettings().PendingAlerts().empty());

    // A name that is no UTF-8 (a definition file in a legacy code page) survives a tick.
    TAlertItem& latin = alertNamed(form, "Caf\xE9");
    nodeOf(form, latin)->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(latin.Active);
    EXPECT_EQ(latin.Name, "Caf\xE9");
    form.btnCancel->click();

    // Switched off in the Balance List window: the node loses its check mark, and it is stored.
    form.BalanceListWindow()->BalanceList().Disable(n1);
    EXPECT_FALSE(n1.Active);
    EXPECT_EQ(nodeOf(form, n1)->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(TRegistry::Instance().OpenKey(std::string(kProgramKey) + "\\T_N1", false)->ReadBool("Active"));

    // Unticked in the window, then switched off in the Balance List, then cancelled: the Balance
    // List's word stands, the alert stays off, unticked, without a row, and so in the store.
    form.ShowSettingsWindow();
    ASSERT_TRUE(a1.Active && hasRow(form, a1));
    nodeOf(form, a1)->setCheckState(0, Qt::Unchecked);
    EXPECT_TRUE(hasRow(form, a1));
    form.BalanceListWindow()->BalanceList().Disable(a1);
    form.btnCancel->click();
    EXPECT_FALSE(a1.Active);
    EXPECT_EQ(nodeOf(form, a1)->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(hasRow(form, a1));
    EXPECT_FALSE(TRegistry::Instance().OpenKey(std::string(kProgramKey) + "\\T_A1", false)->ReadBool("Active"));
}

TEST_F(AlertsTab, ConfigureRenameAndAddAccounts) {
    storeState([](TAlertItem& alert) {
        if (alert.unique_id == "T_A1") {
            alert.Active = true;
            alert.PeriodType = static_cast<TPeriodType>(7);
            alert.Period = 45;
            alert.NeedAuth = false;
            alert.PagePassword = "typed before";
        }
        if (alert.unique_id == "T_A2")
            alert.PagePassword = "keep";
        if (alert.unique_id == "T_L1")
            alert.PageLogin = "Jos\xE9";
    });
    TfmMain form;
    start(form);
    form.ShowSettingsWindow();
    form.pcMain->setCurrentWidget(form.tsBalanceAlerts);
    Control<QComboBox>(form, "cbAlertsLists")->setCurrentIndex(1);
    QTreeWidget& tree = *Control<QTreeWidget>(form, "tvAvailableAlertsList");
    TAlertItem& a1 = alertNamed(form, "A1");
    TAlertItem& a2 = alertNamed(form, "A2");
    TAlertItem& n1 = alertNamed(form, "N1");

    // With no alert selected, F2 on a group starts nothing.
    tree.setCurrentItem(tree.topLevelItem(0));
    EXPECT_EQ(form.SelectedAlertNode(), nullptr);
    pressF2(&tree);
    EXPECT_EQ(openEditor(tree), nullptr);
    EXPECT_EQ(tree.topLevelItem(0)->text(0), QStringLiteral("Mobile"));

    // The context menu selects the alert under the mouse and enables its items.
    form.pmConfigureAlertPopup(tree.visualItemRect(nodeOf(form, a1)).center());
    EXPECT_EQ(form.SelectedAlertNode(), nodeOf(form, a1));
    EXPECT_TRUE(Control<QAction>(form, "Configurealert1")->isEnabled() &&
                Control<QAction>(form, "miAddCustomAlert")->isEnabled());

    // Cancel changes nothing.
    PushDialogAnswer([](QDialog& dialog) {
        auto& edit = dynamic_cast<TfmEditBalanceAlert&>(dialog);
        edit.edAlertName->setText(QStringLiteral("Ignored"));
        edit.btnCancel->click();
        return dialog.result();
    });
    Control<QAction>(form, "Configurealert1")->trigger();
    EXPECT_EQ(a1.Name, "A1");

    PushDialogAnswer([](QDialog& dialog) {
        auto& edit = dynamic_cast<TfmEditBalanceAlert&>(dialog);
        // An unknown unit opens as hours; the stored interval shows in the field.
        EXPECT_EQ(edit.cbTypes->currentIndex(), 1);
        EXPECT_EQ(edit.cbTypes->count(), 3);
        EXPECT_EQ(edit.edInterval->text(), QStringLiteral("45"));
        EXPECT_EQ(edit.edAlertName->text(), QStringLiteral("A1"));
        // Authorization off: the fields are disabled, their texts stay.
        EXPECT_FALSE(edit.edPagePassword->isEnabled());
        EXPECT_EQ(edit.edPagePassword->text(), QStringLiteral("typed before"));
        edit.cbRequireAuth->setChecked(true);
        EXPECT_TRUE(edit.edPageLogin->isEnabled() && edit.lblPagePassword->isEnabled());
        EXPECT_EQ(edit.edPagePassword->echoMode(), QLineEdit::Password);
        // Digits only, three of them, 1 to 999.
        edit.edInterval->selectAll();
        edit.edInterval->insert(QStringLiteral("7x"));
        EXPECT_EQ(edit.udInterval->value(), 45);
        edit.edInterval->selectAll();
        edit.edInterval->insert(QStringLiteral("0"));
        EXPECT_EQ(edit.udInterval->value(), 45);
        edit.edInterval->selectAll();
        edit.edInterval->insert(QStringLiteral("1000"));
        EXPECT_EQ(edit.edInterval->text(), QStringLiteral("100"));
        edit.edAlertName->setText(QStringLiteral("  First line  "));
        edit.edPageLogin->setText(QStringLiteral("me"));
        edit.btnOK->click();
        return dialog.result();
    });
    Control<QPushButton>(form, "btnConfigureAlert")->click();
    const TAlertState kept = a1.State();
    EXPECT_EQ(kept.Name, "  First line  ");
    EXPECT_EQ(kept.Period, 100);
    EXPECT_EQ(kept.PeriodType, TPeriodType::hours);
    EXPECT_TRUE(kept.NeedAuth);
    EXPECT_EQ(nodeOf(form, a1)->text(0), QStringLiteral("  First line  "));
    const TBalanceList& rows = form.BalanceListWindow()->BalanceList();
    EXPECT_EQ(rows.Row(rows.IndexOf(a1)).Caption, "  First line  ");
    // The group shares the login and password where its alerts have none; another group does not.
    EXPECT_EQ(a2.PageLogin, "me");
    EXPECT_EQ(a2.PagePassword, "keep");
    EXPECT_TRUE(n1.PageLogin.empty() && n1.PagePassword.empty());

    // F2 renames the selected alert; F2 in the editor ends the edit and takes the text; blanks
    // alone keep the name.
    pressF2(&tree);
    QLineEdit* editor = openEditor(tree);
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral(" \t "));
    pressF2(editor);
    EXPECT_EQ(openEditor(tree), nullptr);
    EXPECT_EQ(a1.Name, "  First line  ");
    EXPECT_EQ(nodeOf(form, a1)->text(0), QStringLiteral("  First line  "));
    pressF2(&tree);
    editor = openEditor(tree);
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral(" Renamed "));
    pressF2(editor);
    EXPECT_EQ(a1.Name, " Renamed ");
    EXPECT_EQ(rows.Row(rows.IndexOf(a1)).Caption, " Renamed ");

    // A new account from an alert: its name and " (new)" are proposed; it joins the end of the group.
    clickAt(tree, nodeOf(form, a2));
    PushDialogAnswer([](QDialog& dialog) {
        auto& box = dynamic_cast<TfmInputBox&>(dialog);
        EXPECT_EQ(box.windowTitle(), QStringLiteral("Add custom Alert"));
        EXPECT_EQ(box.gbInput->title(), QStringLiteral("Add custom Alert"));
        EXPECT_EQ(box.lblPrompt->text(), QStringLiteral("Please enter the name for new Alert:"));
        EXPECT_EQ(box.edInput->text(), QStringLiteral("A2 (new)"));
        EXPECT_EQ(box.edInput->echoMode(), QLineEdit::Normal);
        return static_cast<int>(QDialog::Accepted);
    });
    Control<QPushButton>(form, "btnAddCustomAlert")->click();
    QTreeWidgetItem* mobile = tree.topLevelItem(0);
    ASSERT_EQ(mobile->childCount(), 3);
    TAlertItem* added = TBalanceAlertsTab::AlertOfNode(mobile->child(2));
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->Name, "A2 (new)");
    EXPECT_EQ(mobile->child(2)->checkState(0), Qt::Unchecked);
    EXPECT_TRUE(TRegistry::Instance().KeyExists(std::string(kProgramKey) + "\\" + added->unique_id));
    // An empty name adds nothing.
    AnswerInputBox("");
    Control<QAction>(form, "miAddCustomAlert")->trigger();
    EXPECT_EQ(mobile->childCount(), 3);

    // OK keeps the bytes of what the user did not touch: a name and a login in an old code page
    // (no UTF-8) stay as they were, while the interval the user changed is taken.
    TAlertItem& latin = alertNamed(form, "Caf\xE9");
    clickAt(tree, nodeOf(form, latin));
    PushDialogAnswer([](QDialog& dialog) {
        auto& edit = dynamic_cast<TfmEditBalanceAlert&>(dialog);
        edit.udInterval->setValue(9);
        edit.btnOK->click();
        return dialog.result();
    });
    Control<QPushButton>(form, "btnConfigureAlert")->click();
    EXPECT_EQ(latin.Period, 9);
    EXPECT_EQ(latin.Name, "Caf\xE9");
    EXPECT_EQ(latin.PageLogin, "Jos\xE9");
    EXPECT_EQ(nodeOf(form, latin)->text(0), QString::fromStdString("Caf\xE9"));
}

TEST_F(AlertsTab, FirstRunOpensOnTheAlertsAndOkBringsUpTheBalanceList) {
    std::vector<SeenDialog> seen;
    AnswerInputBox("pw");
    AnswerMessageBox(QMessageBox::Ok, &seen);
    TfmMain form;
    form.Settings.ExePath = m_program;
    ASSERT_TRUE(form.FormCreate());
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].icon, QMessageBox::Information);
    EXPECT_EQ(form.pcMain->currentWidget(), form.tsBalanceAlerts);
    Control<QComboBox>(form, "cbAlertsLists")->setCurrentIndex(1);
    nodeOf(form, alertNamed(form, "N1"))->setCheckState(0, Qt::Checked);
    form.btnOK->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.BalanceListWindow()->isVisible());
    EXPECT_TRUE(form.miBalanceListWindow->isChecked());
    EXPECT_TRUE(form.Settings.BalanceWindowVisible);
}

TEST_F(AlertsTab, WarningsTakeLimitsAsPeopleTypeThemAndRefuseWhatIsNoAmount) {
    storeState([](TAlertItem&) {});
    TfmMain form;
    start(form);
    form.ShowSettingsWindow();
    form.pcMain->setCurrentWidget(form.tsBalanceAlerts);
    Control<QComboBox>(form, "cbAlertsLists")->setCurrentIndex(1);
    QTreeWidget& tree = *Control<QTreeWidget>(form, "tvAvailableAlertsList");
    TAlertItem& a1 = alertNamed(form, "A1");
    clickAt(tree, nodeOf(form, a1));
    std::vector<SeenDialog> seen;

    // Low above high, then a text that is no amount: each is refused with a message and the
    // dialog stays open; the alert is only changed by what is finally accepted.
    PushDialogAnswer([&seen](QDialog& dialog) {
        auto& edit = dynamic_cast<TfmEditBalanceAlert&>(dialog);
        EXPECT_TRUE(edit.edWarnBelow->text().isEmpty() && edit.edWarnAbove->text().isEmpty());
        EXPECT_EQ(edit.udFailuresBeforeNotice->value(), 3);
        edit.edAlertName->setText(QStringLiteral("Renamed"));
        edit.edWarnBelow->setText(QStringLiteral("1.234,50"));
        edit.edWarnAbove->setText(QStringLiteral("\u20AC 50"));
        AnswerMessageBox(QMessageBox::Ok, &seen);
        edit.btnOK->click();
        EXPECT_EQ(edit.result(), 0);
        edit.edWarnAbove->setText(QStringLiteral("12a"));
        AnswerMessageBox(QMessageBox::Ok, &seen);
        edit.btnOK->click();
        EXPECT_EQ(edit.result(), 0);
        edit.edWarnBelow->setText(QStringLiteral("50,00"));
        edit.edWarnAbove->setText(QStringLiteral("1 234.50"));
        edit.edFailuresBeforeNotice->selectAll();
        edit.edFailuresBeforeNotice->insert(QStringLiteral("0"));
        edit.btnOK->click();
        return dialog.result();
    });
    Control<QPushButton>(form, "btnConfigureAlert")->click();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].group.toStdString(), LoadStr(2089));
    EXPECT_EQ(seen[0].icon, QMessageBox::Warning);
    EXPECT_NE(seen[1].group.indexOf(QStringLiteral("\"12a\" is not an amount")), -1) << seen[1].group.toStdString();
    EXPECT_EQ(a1.Name, "Renamed");

    // Stored under the alert's key: hundredths as text, the count as a number.
    const auto key = TRegistry::Instance().OpenKey(std::string(kProgramKey) + "\\T_A1", false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("WarnBelow"), "5000");
    EXPECT_EQ(key->ReadString("WarnAbove"), "123450");
    EXPECT_EQ(key->ReadInteger("FailuresBeforeNotice"), 0);

    // The dialog opens with what is kept; emptied fields take the limits away.
    PushDialogAnswer([](QDialog& dialog) {
        auto& edit = dynamic_cast<TfmEditBalanceAlert&>(dialog);
        const QString point = QLocale::system().decimalPoint();
        EXPECT_EQ(edit.edWarnBelow->text(), QStringLiteral("50") + point + QStringLiteral("00"));
        EXPECT_EQ(edit.edWarnAbove->text(), QStringLiteral("1234") + point + QStringLiteral("50"));
        EXPECT_EQ(edit.udFailuresBeforeNotice->value(), 0);
        edit.edWarnBelow->clear();
        edit.edWarnAbove->setText(QStringLiteral("  "));
        edit.btnOK->click();
        return dialog.result();
    });
    Control<QPushButton>(form, "btnConfigureAlert")->click();
    EXPECT_FALSE(a1.State().Limits.WarnBelow || a1.State().Limits.WarnAbove);
    EXPECT_EQ(TRegistry::Instance().OpenKey(std::string(kProgramKey) + "\\T_A1", false)->ReadString("WarnBelow"), "");
}
