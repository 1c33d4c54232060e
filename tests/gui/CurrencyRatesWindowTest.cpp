#include "../currency/LoopbackServer.h"

#include "app/ui/MainForm.h"
#include "base/LogFile.h"
#include "currency/CurrencyList.h"
#include "currency/ui/CurrencyRatesModel.h"
#include "currency/ui/CurrencyRatesWindow.h"
#include "currency/ui/EditCurrencyRates.h"
#include "gui/GuiTestSupport.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Types one character into the widget.
void typeKey(QWidget& widget, char c) {
    const int key = c >= 'a' && c <= 'z' ? Qt::Key_A + (c - 'a') : Qt::Key_0 + (c - '0');
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(QLatin1Char(c)));
    QApplication::sendEvent(&widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(QLatin1Char(c)));
    QApplication::sendEvent(&widget, &release);
}

struct TQuietOwner : ICurrencyRatesOwner {
    std::vector<std::string> balloons;
    void ShowBalloon(const std::string& title, const std::string&, int) override { balloons.push_back(title); }
    void CurrencyWindowShown(TCurrencyList&, bool) override {}
};

// A built list of three currencies, as the provider tree leaves it.
std::shared_ptr<TCurrencyList> makeList(TRegistry& store, bool canSort, const std::string& fileName) {
    auto list = std::make_shared<TCurrencyList>();
    list->Store = &store;
    list->ScriptFileName = fileName;
    list->ListName = "Test Rates";
    list->Active = true;
    list->CanSort = canSort;
    list->RegisterColumn("code", "Code", false);
    list->RegisterColumn("rate", "Rate", true);
    for (const auto& [code, rate] : {std::pair{"USD", "1.10"}, {"CZK", "25.3"}, {"JPY", "160.8"}}) {
        TCurrencyObject& currency = list->FindOrAddCurrency(code);
        currency.CurrencyName = code;
        currency.SetBothTexts("code", code);
        currency.SetBothTexts("rate", rate);
    }
    // Updated a moment ago: the timer leaves it alone.
    list->LastCheckedTime = Now();
    list->SaveToRegistry(list->ListKey(), false);
    return list;
}

QString cell(TfmCurrencyRatesList& window, int row, int column, int role = Qt::DisplayRole) {
    QAbstractItemModel& model = *window.lvCurrencyList->model();
    return model.data(model.index(row, column), role).toString();
}

} // namespace

TEST(CurrencyRatesWindow, HeadersDeleteUpdatesAndTheTrayItemFollowTheUser) {
    TempDir dir;
    TRegistry store(dir.file("registry.db"));
    LoopbackServer server;
    auto log = std::make_shared<TLogFile>();
    TfmMain form; // not started: only its tray menu and its windows are used
    form.move(200, 150);
    const auto centred = [&form](const QSize& size) {
        return QPoint(200 + (form.width() - size.width()) / 2, 150 + (form.height() - size.height()) / 2);
    };

    // A list that must keep the provider's order: the headers do not react.
    auto fixed = makeList(store, false, "fixed.js");
    TQuietOwner owner;
    {
        TfmCurrencyRatesList window(fixed, owner, log);
        EXPECT_EQ(window.objectName(), QStringLiteral("fmCurrencyRatesList"));
        EXPECT_TRUE(window.windowFlags().testFlag(Qt::Tool));
        EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(window.minimumSize(), QSize(100, 100));
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.tmCheckTimer->interval(), 5000);
        EXPECT_TRUE(window.tmCheckTimer->isActive());
        EXPECT_TRUE(window.windowTitle().startsWith(QStringLiteral("Test Rates (")));
        QHeaderView* header = window.lvCurrencyList->horizontalHeader();
        EXPECT_FALSE(header->sectionsClickable());
        EXPECT_EQ(window.lvCurrencyList->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Rate"));
        emit header->sectionClicked(0);
        EXPECT_EQ(cell(window, 0, 0), QStringLiteral("USD"));
        EXPECT_EQ(cell(window, 2, 0), QStringLiteral("JPY"));
        EXPECT_FALSE(header->isSortIndicatorShown());
    }

    // Sortable: a second click on a header reverses the order.
    auto list = makeList(store, true, "rates.js");
    form.CurrencyWindows().CreateCurrencyWindow(list);
    TfmCurrencyRatesList* window = form.CurrencyWindows().CurrencyWindow(*list);
    ASSERT_NE(window, nullptr);
    QAction* item = form.CurrencyWindows().CurrencyWindowItem(*list);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QStringLiteral("Test Rates"));
    EXPECT_TRUE(item->isChecked());
    EXPECT_FALSE(form.miEmpty->isVisible());
    // Nothing stored yet: centred on the main form.
    EXPECT_EQ(window->pos(), centred(window->size()));
    EXPECT_EQ(cell(*window, 0, 0), QStringLiteral("CZK")); // a fresh fill is ascending
    QHeaderView* header = window->lvCurrencyList->horizontalHeader();
    EXPECT_TRUE(header->sectionsClickable());
    emit header->sectionClicked(1);
    EXPECT_EQ(cell(*window, 0, 0), QStringLiteral("USD"));
    emit header->sectionClicked(1);
    EXPECT_EQ(cell(*window, 0, 0), QStringLiteral("CZK")); // "25.3" sorts after "160.8"
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // Delete hides the selected currency for good, once however long the key is held, and leaves
    // no other row chosen for a second press.
    window->lvCurrencyList->selectRow(0);
    window->pmListPopupPopup(window->mapToGlobal(QPoint(5, 5)));
    EXPECT_TRUE(window->miDisableCurrency->isEnabled());
    EXPECT_TRUE(window->miReloadList->isEnabled());
    window->pmListPopup->hide();
    HoldKey(*window->lvCurrencyList, Qt::Key_Delete, 3);
    PressKey(*window->lvCurrencyList, Qt::Key_Delete);
    EXPECT_EQ(window->lvCurrencyList->model()->rowCount(), 2);
    EXPECT_FALSE(list->FindCurrency("CZK")->Active);
    TCurrencyList reloaded;
    reloaded.Store = &store;
    reloaded.LoadFromRegistry(list->ListKey());
    EXPECT_FALSE(reloaded.FindCurrency("CZK")->Active);
    EXPECT_TRUE(reloaded.FindCurrency("USD")->Active);
    window->pmListPopupPopup(window->mapToGlobal(QPoint(5, 5)));
    EXPECT_FALSE(window->miDisableCurrency->isEnabled());
    window->pmListPopup->hide();

    // Closing hides and unticks; the tray item brings it back at its place and size.
    window->move(60, 70);
    window->resize(300, 220);
    window->lvCurrencyList->setColumnWidth(0, 77);
    // The place is in the store soon after it changed, before anything closes the window: a run
    // that ends without its shutdown keeps it.
    EXPECT_TRUE(ProcessEventsUntil([&] {
        TCurrencyWindowPlacement kept;
        kept.Load(store, TCurrencyWindowPlacement::KeyOf(*list));
        return kept.Left == 60 && kept.Top == 70 && kept.Width == 300 && kept.Height == 220;
    }));
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(item->isChecked());
    EXPECT_TRUE(window->tmCheckTimer->isActive());
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->pos(), QPoint(60, 70));
    EXPECT_EQ(window->size(), QSize(300, 220));

    // The next start finds it where it was, column widths included; a place off every screen is
    // not taken.
    form.CurrencyWindows().DestroyCurrencyWindow(*list);
    EXPECT_EQ(form.CurrencyWindows().CurrencyWindowCount(), 0);
    EXPECT_TRUE(form.miEmpty->isVisible());
    form.CurrencyWindows().CreateCurrencyWindow(list);
    window = form.CurrencyWindows().CurrencyWindow(*list);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->pos(), QPoint(60, 70));
    EXPECT_EQ(window->size(), QSize(300, 220));
    EXPECT_EQ(window->lvCurrencyList->columnWidth(0), 77);
    form.CurrencyWindows().DestroyCurrencyWindow(*list);
    store.OpenKey(TCurrencyWindowPlacement::KeyOf(*list), true)->WriteInteger("Left", 100000);
    form.CurrencyWindows().CreateCurrencyWindow(list);
    window = form.CurrencyWindows().CurrencyWindow(*list);
    ASSERT_NE(window, nullptr);
    // Centred with the window's own size, then given the stored one.
    EXPECT_EQ(window->pos().x(), centred(QSize(252, 180)).x());
    EXPECT_EQ(window->size(), QSize(300, 220));
    // So is a place where only a few pixels of the window would show.
    form.CurrencyWindows().DestroyCurrencyWindow(*list);
    store.OpenKey(TCurrencyWindowPlacement::KeyOf(*list), true)
        ->WriteInteger("Left", QGuiApplication::primaryScreen()->availableGeometry().right() - 4);
    form.CurrencyWindows().CreateCurrencyWindow(list);
    window = form.CurrencyWindows().CurrencyWindow(*list);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->pos().x(), centred(QSize(252, 180)).x());

    // An update waiting on its download: a second one is not started, the headers wait too, and
    // their arrow stays as it was.
    QHeaderView& ratesHeader = *window->lvCurrencyList->horizontalHeader();
    ClickHeaderSection(ratesHeader, 1);
    ASSERT_TRUE(ratesHeader.isSortIndicatorShown());
    EXPECT_EQ(ratesHeader.sortIndicatorSection(), 1);
    const Qt::SortOrder arrowBefore = ratesHeader.sortIndicatorOrder();
    list->ScriptText = "function execute() { Request.get('" + server.url("/hold") +
                       "'); CurrencyList.currency('USD').setvalue('rate', '1.15'); }";
    window->miReloadListClick();
    ASSERT_TRUE(window->Rates().Updating());
    server.waitForHeldRequest();
    window->miReloadListClick();
    window->Rates().tmCheckTimerTimer();
    const QString firstBefore = cell(*window, 0, 0);
    ClickHeaderSection(ratesHeader, 0);
    EXPECT_EQ(cell(*window, 0, 0), firstBefore);
    EXPECT_TRUE(ratesHeader.isSortIndicatorShown());
    EXPECT_EQ(ratesHeader.sortIndicatorSection(), 1);
    EXPECT_EQ(ratesHeader.sortIndicatorOrder(), arrowBefore);
    server.release();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !window->Rates().Updating(); }, 30000));
    EXPECT_EQ(server.held(), 1);
    // The rise paints the rate and the row's first cell green.
    int usd = -1;
    for (int row = 0; row < 2; ++row)
        if (cell(*window, row, 0) == QStringLiteral("USD"))
            usd = row;
    ASSERT_GE(usd, 0);
    EXPECT_EQ(cell(*window, usd, 1), QStringLiteral("1.15"));
    QAbstractItemModel& model = *window->lvCurrencyList->model();
    EXPECT_EQ(model.data(model.index(usd, 1), Qt::BackgroundRole).value<QColor>(), QColor(165, 233, 155));
    EXPECT_EQ(model.data(model.index(usd, 0), Qt::BackgroundRole).value<QColor>(), QColor(165, 233, 155));
    const int other = 1 - usd;
    EXPECT_EQ(model.data(model.index(other, 1), Qt::BackgroundRole).value<QColor>(),
              other == 1 ? QColor(240, 240, 240) : QColor());
    // Selected, the changed rate keeps its colour inside a frame of the selection's; an unchanged
    // cell of another row selected takes the selection's fill.
    QTableView& view = *window->lvCurrencyList;
    const QColor highlight = view.palette().color(QPalette::Active, QPalette::Highlight);
    const auto pixels = [&view](int row, int column) {
        return view.viewport()->grab(view.visualRect(view.model()->index(row, column))).toImage();
    };
    // A good part of a cell shows its background (the style may shade the current cell a little);
    // its image and text take the rest.
    const auto mostly = [](const QImage& image, const std::function<bool(const QColor&)>& like) {
        int same = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                same += like(QColor(image.pixel(x, y))) ? 1 : 0;
        return same * 4 > image.width() * image.height();
    };
    const auto green = [](const QColor& c) { return c.green() > c.red() + 40 && c.green() > c.blue() + 40; };
    view.selectRow(usd);
    for (const int column : {0, 1}) {
        const QImage cellImage = pixels(usd, column);
        EXPECT_TRUE(mostly(cellImage, green)) << column;
        EXPECT_EQ(QColor(cellImage.pixel(cellImage.width() / 2, 1)), highlight) << column;
    }
    view.selectRow(other);
    EXPECT_TRUE(mostly(pixels(other, 1), [&highlight](const QColor& c) { return c == highlight; }));
    form.CurrencyWindows().CloseCurrencyWindows();
    EXPECT_EQ(form.CurrencyWindows().CurrencyWindowCount(), 0);
}

TEST(CurrencyRatesWindow, ListOptionsDialogSetsTheIntervalOnOkOnly) {
    TCurrencyList list;
    list.PeriodType = TPeriodType::days;
    list.Period = 2;
    {
        TfmEditCurrencyRates dialog(list);
        EXPECT_EQ(dialog.objectName(), QStringLiteral("fmEditCurrencyRates"));
        for (const char* name :
             {"gbCurrencyRates", "lblInterval", "edInterval", "udInterval", "cbTypes", "btnOK", "btnCancel"})
            EXPECT_NE(dialog.findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
        ASSERT_EQ(dialog.cbTypes->count(), 3);
        EXPECT_EQ(dialog.cbTypes->itemText(0), QStringLiteral("minutes"));
        EXPECT_EQ(dialog.cbTypes->currentText(), QStringLiteral("days"));
        EXPECT_EQ(dialog.udInterval->value(), 2);
        EXPECT_EQ(dialog.udInterval->minimum(), 1);
        EXPECT_EQ(dialog.udInterval->maximum(), 999);
        EXPECT_EQ(dialog.edInterval->maxLength(), 3);
        dialog.udInterval->setValue(7);
        dialog.cbTypes->setCurrentIndex(0);
        dialog.btnCancel->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(list.PeriodType, TPeriodType::days);
    EXPECT_EQ(list.Period, 2);

    list.PeriodType = static_cast<TPeriodType>(7); // a unit the dialog does not know
    list.Period = 5000;
    TfmEditCurrencyRates dialog(list);
    EXPECT_EQ(dialog.cbTypes->currentText(), QStringLiteral("hours"));
    EXPECT_EQ(dialog.udInterval->value(), 999);
    // Digits only, at most three.
    dialog.edInterval->selectAll();
    for (const char key : std::string("4x5"))
        typeKey(*dialog.edInterval, key);
    EXPECT_EQ(dialog.edInterval->text(), QStringLiteral("45"));
    for (const char* stray : {"+", " ", "-", "4 5", "4,5"}) {
        dialog.edInterval->selectAll();
        dialog.edInterval->insert(QString::fromLatin1(stray));
        EXPECT_EQ(dialog.edInterval->text(), QStringLiteral("45")) << stray;
    }
    dialog.cbTypes->setCurrentIndex(0);
    dialog.btnOK->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(list.PeriodType, TPeriodType::minutes);
    EXPECT_EQ(list.Period, 45);
}
