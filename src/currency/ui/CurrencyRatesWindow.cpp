#include "currency/ui/CurrencyRatesWindow.h"

#include "currency/ui/CurrencyRatesModel.h"
#include "platform/Registry.h"
#include "translate/ui/FormTranslator.h"
#include "widgets/ListImages.h"
#include "widgets/ReportView.h"
#include "widgets/WindowPlace.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

TfmCurrencyRatesList::TfmCurrencyRatesList(std::shared_ptr<TCurrencyList> list, ICurrencyRatesOwner& owner,
                                           std::shared_ptr<TLogFile> log, TTranslateFn translate,
                                           const QWidget* centreOn)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), m_owner(owner), m_log(log),
      m_rates(std::make_unique<TCurrencyRatesList>(std::move(list), owner, std::move(log), translate)) {
    setObjectName(QStringLiteral("fmCurrencyRatesList"));
    // Shown on top, without taking the keyboard from what the user is doing.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMinimumSize(100, 100);
    resize(252, 180);

    m_model = std::make_unique<TCurrencyRatesModel>(*m_rates);
    m_model->SetRowImage(QIcon::fromTheme(QStringLiteral("view-list-details"),
                                          style()->standardIcon(QStyle::SP_FileDialogDetailedView)));

    lvCurrencyList = new QTableView(this);
    lvCurrencyList->setObjectName(QStringLiteral("lvCurrencyList"));
    lvCurrencyList->setModel(m_model.get());
    SetUpReportView(*lvCurrencyList);
    lvCurrencyList->setItemDelegate(new TCurrencyRatesDelegate(lvCurrencyList));
    QHeaderView* header = lvCurrencyList->horizontalHeader();
    header->setMinimumSectionSize(5);
    header->setDefaultSectionSize(90);
    // A list that must keep the provider's order has headers that do not react to clicks.
    header->setSectionsClickable(m_rates->ListCanSort());
    lvCurrencyList->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lvCurrencyList);

    pmListPopup = new QMenu(this);
    pmListPopup->setObjectName(QStringLiteral("pmListPopup"));
    miReloadList = pmListPopup->addAction(ListImage(liCheckNow), QStringLiteral("Update List Now"));
    miReloadList->setObjectName(QStringLiteral("miReloadList"));
    miDisableCurrency = pmListPopup->addAction(ListImage(liDisable), QStringLiteral("Don't show this currency"));
    miDisableCurrency->setObjectName(QStringLiteral("miDisableCurrency"));
    miHistory =
        pmListPopup->addAction(QIcon::fromTheme(QStringLiteral("office-chart-line")), QStringLiteral("History..."));
    miHistory->setObjectName(QStringLiteral("miHistory"));
    connect(miHistory, &QAction::triggered, this, &TfmCurrencyRatesList::miHistoryClick);
    connect(miReloadList, &QAction::triggered, this, &TfmCurrencyRatesList::miReloadListClick);
    connect(miDisableCurrency, &QAction::triggered, this, &TfmCurrencyRatesList::miDisableCurrencyClick);
    connect(lvCurrencyList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmListPopupPopup(lvCurrencyList->viewport()->mapToGlobal(pos)); });
    connect(header, &QHeaderView::sectionClicked, this, &TfmCurrencyRatesList::lvCurrencyListColumnClick);

    TranslateForm(this);
    // The menu's texts and the provider's headers also through the translation's shared texts.
    for (QAction* item : {miReloadList, miDisableCurrency})
        item->setText(QString::fromStdString(TranslateAlertsText(translate, item->text().toStdString())));

    m_rates->OnUpdateDone = [this] { UpdateCaption(); };
    UpdateCaption();
    RebuildRows();

    tmCheckTimer = new QTimer(this);
    tmCheckTimer->setObjectName(QStringLiteral("tmCheckTimer"));
    tmCheckTimer->setInterval(TCurrencyRatesList::kCheckIntervalMs);
    connect(tmCheckTimer, &QTimer::timeout, this, [this] { m_rates->tmCheckTimerTimer(); });
    tmCheckTimer->start();

    RestorePlacement(centreOn);
    m_placeSaver = std::make_unique<TPlaceSaver>([this] { SavePlacement(); });
    m_placeSaver->Watch(this);
    m_placeSaver->Watch(header);
}

TfmCurrencyRatesList::~TfmCurrencyRatesList() {
    m_placeSaver.reset();
    tmCheckTimer->stop();
    // The view lets go of the model before the rows go.
    lvCurrencyList->setModel(nullptr);
    m_model.reset();
    m_rates->StopUpdate();
}

TRegistry& TfmCurrencyRatesList::Store() const {
    return List().Store != nullptr ? *List().Store : TRegistry::Instance();
}

void TfmCurrencyRatesList::UpdateCaption() {
    setWindowTitle(QString::fromStdString(m_rates->Caption()));
}

void TfmCurrencyRatesList::RebuildRows() {
    m_rates->RebuildRows();
    QHeaderView* header = lvCurrencyList->horizontalHeader();
    m_sortArrow.Shown = false;
    m_sortArrow.Apply(*header);
    header->setSectionsClickable(m_rates->ListCanSort());
}

int TfmCurrencyRatesList::SelectedRow() const {
    const QModelIndexList rows = lvCurrencyList->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.front().row() >= m_rates->RowCount())
        return -1;
    return rows.front().row();
}

void TfmCurrencyRatesList::pmListPopupPopup(const QPoint& globalPos) {
    miDisableCurrency->setEnabled(SelectedRow() >= 0);
    miReloadList->setEnabled(m_rates->RowCount() > 0);
    const QModelIndex cell = lvCurrencyList->indexAt(lvCurrencyList->viewport()->mapFromGlobal(globalPos));
    m_popupColumn = cell.isValid() ? cell.column() : 0;
    miHistory->setEnabled(SelectedRow() >= 0);
    pmListPopup->popup(globalPos);
}

void TfmCurrencyRatesList::miReloadListClick() {
    if (m_rates->StartUpdate())
        UpdateCaption();
}

void TfmCurrencyRatesList::miDisableCurrencyClick() {
    m_rates->HideCurrency(SelectedRow());
    // The view selects the next row in place of the one that went; nothing is selected now, so a
    // second Delete cannot hide a currency the user never chose.
    lvCurrencyList->clearSelection();
}

void TfmCurrencyRatesList::miHistoryClick() {
    const auto subject = m_rates->HistorySubject(SelectedRow(), m_popupColumn);
    if (subject)
        m_historyWindows.Open(*subject, m_owner.History(), Store(), m_log, this);
}

void TfmCurrencyRatesList::lvCurrencyListColumnClick(int column) {
    // While an update runs the rows stay as they are, and so does the arrow that the header
    // turned on the click.
    if (m_rates->CanSortNow()) {
        m_rates->ColumnClick(column);
        m_sortArrow.Show(column, m_rates->SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
    m_sortArrow.Apply(*lvCurrencyList->horizontalHeader());
}

bool TfmCurrencyRatesList::eventFilter(QObject* watched, QEvent* event) {
    // Delete hides the selected currency once, when the key is let go, as in the Balance List.
    if (watched == lvCurrencyList) {
        switch (m_deleteKey.Filter(*event)) {
        case TKeyOnRelease::TStep::NotOurs:
            break;
        case TKeyOnRelease::TStep::Act:
            if (SelectedRow() >= 0)
                miDisableCurrencyClick();
            [[fallthrough]];
        case TKeyOnRelease::TStep::Swallow:
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfmCurrencyRatesList::closeEvent(QCloseEvent* event) {
    // Only hides; the tray item brings it back where it was.
    event->ignore();
    ShowOrHide(false);
}

void TfmCurrencyRatesList::ShowOrHide(bool visible) {
    m_windowVisible = visible;
    setVisible(visible);
    if (visible)
        raise();
    SavePlacement();
    m_owner.CurrencyWindowShown(List(), visible);
}

void TfmCurrencyRatesList::SavePlacement() const {
    TCurrencyWindowPlacement placement;
    placement.Left = x();
    placement.Top = y();
    placement.Width = width();
    placement.Height = height();
    placement.WindowVisible = m_windowVisible;
    for (int i = 0; i < m_rates->ColumnCount(); ++i)
        placement.ColumnWidths[m_rates->Column(i).ColumnName] = lvCurrencyList->columnWidth(i);
    placement.Save(Store(), TCurrencyWindowPlacement::KeyOf(List()));
}

void TfmCurrencyRatesList::RestorePlacement(const QWidget* centreOn) {
    if (centreOn != nullptr)
        move(centreOn->x() + (centreOn->width() - width()) / 2, centreOn->y() + (centreOn->height() - height()) / 2);
    TCurrencyWindowPlacement placement;
    placement.Load(Store(), TCurrencyWindowPlacement::KeyOf(List()));
    // A stored size larger than the desktop (a screen that has gone) shrinks to fit it.
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens())
        desktop = desktop.united(screen->availableGeometry());
    const QSize most = desktop.isEmpty() ? QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) : desktop.size();
    resize(std::clamp(placement.Width.value_or(width()), minimumWidth(), std::max(minimumWidth(), most.width())),
           std::clamp(placement.Height.value_or(height()), minimumHeight(), std::max(minimumHeight(), most.height())));
    const QPoint place(placement.Left.value_or(x()), placement.Top.value_or(y()));
    if (PlaceIsUsable(QRect(place, frameGeometry().size())))
        move(place);
    for (int i = 0; i < m_rates->ColumnCount(); ++i) {
        const auto width = placement.ColumnWidths.find(m_rates->Column(i).ColumnName);
        if (width != placement.ColumnWidths.end())
            lvCurrencyList->setColumnWidth(i, std::max(5, width->second));
    }
    ShowOrHide(placement.WindowVisible.value_or(true));
}
