#include "balancelist/ui/BalanceListWindow.h"
#include "alerts/AlertItems.h"
#include "balancelist/ui/BalanceListModel.h"
#include "base/LogFile.h"
#include "gui/GuiTestSupport.h"
#include "support/TestSupport.h"
#include "widgets/NewHint.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

struct RecordingOwner : IBalanceListOwner {
    std::vector<std::string> calls;
    void NotifyBalanceChanged(TAlertItem& alert) override { calls.push_back("changed " + alert.Name); }
    void NotifyBalanceUnavailable(TAlertItem& alert) override { calls.push_back("unavailable " + alert.Name); }
    void DeactivateAlert(TAlertItem& alert) override {
        alert.Active = false;
        calls.push_back("deactivate " + alert.Name);
    }
    void BalanceListClosed() override { calls.push_back("closed"); }
};

void moveMouse(QWidget& widget, const QPoint& pos) {
    QMouseEvent move(QEvent::MouseMove, pos, widget.mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

} // namespace

TEST(BalanceListWindow, ShowsTheRowsAndForwardsTheUsersActions) {
    RecordingOwner owner;
    TAlertItems alerts; // detached: no stored state
    const auto add = [&](const std::string& name, TBalances balances) -> TAlertItem& {
        auto item = std::make_unique<TAlertItem>(&alerts);
        item->Name = name;
        item->unique_id = name;
        item->Active = true;
        item->SetBalances(balances);
        return *alerts.AddAlert(std::move(item));
    };
    TAlertItem& flat = add("Flat", {NoBalance, 700});
    TAlertItem& up = add("Up", {1000, 1200});
    TAlertItem& down = add("Down", {1000, -50});
    const bool showHints = true;
    THintController hints([&showHints] { return showHints; });

    TfmBalanceList window(owner, std::make_shared<TLogFile>(), "/nonexistent/");
    EXPECT_EQ(window.objectName(), QStringLiteral("fmBalanceList"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Balance List"));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window.size(), QSize(243, 149));
    EXPECT_EQ(window.minimumSize(), QSize(100, 100));
    EXPECT_TRUE(window.tmCheckTimer->isActive());
    EXPECT_EQ(window.tmCheckTimer->interval(), 5000);
    for (const char* name : {"lvList", "pmList", "miCheckBalanceNow", "miDisable", "tmCheckTimer"})
        EXPECT_NE(window.findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;

    window.AddAlertRow(flat);
    window.AddAlertRow(up);
    window.AddAlertRow(down);
    window.AddAlertRow(up); // listed already
    QAbstractItemModel& model = *window.lvList->model();
    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Partner"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("$$$"));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Status"));
    EXPECT_EQ(window.lvList->columnWidth(0), 100);
    EXPECT_EQ(window.lvList->columnWidth(1), 60);
    EXPECT_TRUE(window.lvList->showGrid());

    const auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
        return model.data(model.index(row, column), role);
    };
    EXPECT_EQ(cell(0, 0).toString(), QStringLiteral("Flat"));
    EXPECT_EQ(cell(1, 1).toString().remove(QRegularExpression(QStringLiteral("[.,]"))), QStringLiteral("1200"));
    EXPECT_EQ(cell(2, 1).toString().left(2), QStringLiteral("-0"));
    EXPECT_EQ(cell(0, 2).toString().toStdString(), TBalanceList::TimeText(flat));
    for (int row = 0; row < 3; ++row)
        EXPECT_FALSE(cell(row, 0, Qt::DecorationRole).value<QIcon>().isNull()) << row;
    // Zebra rows; "$$$" green on a rise and red on a fall, else the row's colour.
    const QColor zebra(240, 240, 240);
    EXPECT_FALSE(cell(0, 0, Qt::BackgroundRole).isValid());
    EXPECT_FALSE(cell(0, 1, Qt::BackgroundRole).isValid());
    EXPECT_EQ(cell(1, 0, Qt::BackgroundRole).value<QColor>(), zebra);
    EXPECT_EQ(cell(1, 1, Qt::BackgroundRole).value<QColor>(), QColor(165, 233, 155));
    EXPECT_EQ(cell(1, 2, Qt::BackgroundRole).value<QColor>(), zebra);
    EXPECT_EQ(cell(2, 1, Qt::BackgroundRole).value<QColor>(), QColor(255, 159, 135));
    EXPECT_FALSE(cell(2, 2, Qt::BackgroundRole).isValid());

    // The first click on "$$$" puts the largest balance first, and the selection follows its row.
    window.lvList->selectRow(0); // Flat
    emit window.lvList->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(cell(0, 0).toString(), QStringLiteral("Up"));
    EXPECT_EQ(cell(2, 0).toString(), QStringLiteral("Down"));
    EXPECT_EQ(window.SelectedAlert(), &flat);
    EXPECT_EQ(window.lvList->horizontalHeader()->sortIndicatorSection(), 1);

    // The rich hint of the row under the pointer, shown at once through the hint window.
    window.show();
    ASSERT_TRUE(ProcessEventsUntil([&] { return window.isVisible(); }));
    QWidget& viewport = *window.lvList->viewport();
    const QRect upRow = window.lvList->visualRect(model.index(0, 0));
    moveMouse(viewport, upRow.center());
    EXPECT_TRUE(viewport.toolTip().startsWith(QStringLiteral("Up\n    Last balance: ")));
    EXPECT_TRUE(viewport.toolTip().contains(QStringLiteral("Trend: Growth up.")));
    ASSERT_NE(hints.CurrentHint(), nullptr);
    EXPECT_EQ(hints.CurrentHint()->HintText(), viewport.toolTip());
    moveMouse(viewport, QPoint(viewport.width() - 2, viewport.height() - 2)); // below the rows
    EXPECT_TRUE(viewport.toolTip().isEmpty());
    EXPECT_EQ(hints.CurrentHint(), nullptr);
    // With hints switched off, nothing is built.
    window.lvList->setProperty("showHint", false);
    moveMouse(viewport, upRow.center());
    EXPECT_TRUE(viewport.toolTip().isEmpty());
    window.lvList->setProperty("showHint", true);

    // The arrow shows the order the rows are in: "Status" never reorders them and leaves it alone.
    QHeaderView& header = *window.lvList->horizontalHeader();
    ClickHeaderSection(header, 2);
    EXPECT_TRUE(header.isSortIndicatorShown());
    EXPECT_EQ(header.sortIndicatorSection(), 1);
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(cell(0, 0).toString(), QStringLiteral("Up"));
    ClickHeaderSection(header, 0); // first click: descending
    EXPECT_EQ(header.sortIndicatorSection(), 0);
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(cell(0, 0).toString(), QStringLiteral("Up"));
    EXPECT_EQ(cell(2, 0).toString(), QStringLiteral("Down"));
    ClickHeaderSection(header, 2);
    EXPECT_EQ(header.sortIndicatorSection(), 0);
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::DescendingOrder);

    // Menu items only with a selected row; Delete switches the selected alert off.
    window.lvList->clearSelection();
    window.pmListPopup(window.mapToGlobal(QPoint(10, 10)));
    EXPECT_FALSE(window.miCheckBalanceNow->isEnabled());
    EXPECT_FALSE(window.miDisable->isEnabled());
    window.pmList->hide();
    PressKey(*window.lvList, Qt::Key_Delete);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_TRUE(owner.calls.empty());
    window.lvList->selectRow(2); // Down
    window.pmListPopup(window.mapToGlobal(QPoint(10, 10)));
    EXPECT_TRUE(window.miCheckBalanceNow->isEnabled());
    EXPECT_TRUE(window.miDisable->isEnabled());
    window.pmList->hide();
    // Held down, the key acts once, when let go; no other row is chosen in place of the one gone,
    // so pressing it again does nothing.
    HoldKey(*window.lvList, Qt::Key_Delete, 3);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_FALSE(down.Active);
    EXPECT_FALSE(window.BalanceList().HasRow(down));
    EXPECT_EQ(owner.calls, (std::vector<std::string>{"deactivate Down"}));
    EXPECT_EQ(window.SelectedAlert(), nullptr);
    PressKey(*window.lvList, Qt::Key_Delete);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_TRUE(up.Active);
    EXPECT_TRUE(flat.Active);

    // A renamed alert's row follows.
    window.RenameAlertRow(up, "Upwards");
    EXPECT_EQ(cell(window.BalanceList().IndexOf(up), 0).toString(), QStringLiteral("Upwards"));

    // Geometry: a place off every screen is ignored, the size and the column widths are taken.
    TWindowRestore restore;
    restore.ListLeft = 100000;
    restore.ListTop = 100000;
    restore.ListWidth = 300;
    restore.ListHeight = 200;
    restore.ListColumnWidths = {120, 70, std::nullopt};
    const QPoint before = window.pos();
    window.ApplyGeometry(restore);
    EXPECT_EQ(window.pos(), before);
    const TBalanceListGeometry geometry = window.Geometry();
    EXPECT_EQ(geometry.Width, 300);
    EXPECT_EQ(geometry.Height, 200);
    EXPECT_EQ(geometry.ColumnWidths[0], 120);
    EXPECT_EQ(geometry.ColumnWidths[1], 70);

    // Closing only hides the window and tells the owner.
    owner.calls.clear();
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(owner.calls, (std::vector<std::string>{"closed"}));
    EXPECT_TRUE(window.tmCheckTimer->isActive());

    window.ClearRows();
    EXPECT_EQ(model.rowCount(), 0);
}
