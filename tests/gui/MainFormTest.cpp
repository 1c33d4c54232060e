#include "app/ui/MainForm.h"
#include "platform/SingleInstance.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

TEST(MainForm, StartsHiddenWithItsTabsAndVersionedCaption) {
    TfmMain form;
    ASSERT_TRUE(form.FormCreate());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Tallyglass! v. 1.0.0.41"));
    auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("pcMain"));
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("General"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Balance Alerts"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("Currency Rates"));
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_NE(form.findChild<QPushButton*>(QStringLiteral("btnOK")), nullptr);
    EXPECT_NE(form.findChild<QPushButton*>(QStringLiteral("btnCancel")), nullptr);
    // A second FormCreate does not run the start-up again.
    EXPECT_TRUE(form.FormCreate());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Tallyglass! v. 1.0.0.41"));
}

TEST(MainForm, CloseBoxOkAndCancelOnlyHide) {
    TfmMain form;
    form.FormCreate();
    form.ShowSettingsWindow();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.SettingsWindowShown());
    EXPECT_FALSE(form.close());     // the close event is refused...
    EXPECT_FALSE(form.isVisible()); // ...and the window hidden
    EXPECT_FALSE(form.SettingsWindowShown());
    form.ShowSettingsWindow();
    form.btnOK->click();
    EXPECT_FALSE(form.isVisible());
    form.ShowSettingsWindow();
    form.btnCancel->click();
    EXPECT_FALSE(form.isVisible());
}

TEST(MainForm, WakeUpShowsTheHiddenWindowOnce) {
    TempDir dir;
    SingleInstance instance(QString::fromStdString(dir.path()));
    ASSERT_TRUE(instance.tryLock());
    TfmMain form(&instance);
    form.FormCreate();
    EXPECT_FALSE(form.isVisible());
    emit instance.showRequested();
    EXPECT_TRUE(form.isVisible());
    emit instance.showRequested(); // already visible: stays as it is
    EXPECT_TRUE(form.isVisible());
}
