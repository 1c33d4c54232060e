#include "balancelist/ui/BalanceListWindow.h"

#include "alerts/AlertItems.h"
#include "balancelist/ui/BalanceListModel.h"
#include "history/History.h"
#include "platform/Registry.h"
#include "translate/ui/FormTranslator.h"
#include "widgets/NewHint.h"
#include "widgets/ReportView.h"
#include "widgets/WindowPlace.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString HintQString(const std::string& text) {
    QString hint = QString::fromStdString(text);
    hint.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return hint;
}

} // namespace

TfmBalanceList::TfmBalanceList(IBalanceListOwner& owner, std::shared_ptr<TLogFile> log, std::string exePath,
                               QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), m_owner(owner), m_log(log),
      m_list(std::make_unique<TBalanceList>(owner, std::move(log), std::move(exePath))) {
    setObjectName(QStringLiteral("fmBalanceList"));
    // It comes forward on a change while the user types elsewhere: shown on top, it leaves the
    // keyboard where it is (the window manager is asked not to focus it).
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Balance List"));
    setMinimumSize(100, 100);
    resize(243, 149);

    m_model = std::make_unique<TBalanceListModel>(*m_list);

    lvList = new QTableView(this);
    lvList->setObjectName(QStringLiteral("lvList"));
    lvList->setModel(m_model.get());
    SetUpReportView(*lvList);
    QHeaderView* header = lvList->horizontalHeader();
    header->setSectionsClickable(true);
    lvList->setColumnWidth(TBalanceList::colPartner, 100);
    lvList->setColumnWidth(TBalanceList::colBalance, 60);
    lvList->viewport()->setMouseTracking(true);
    lvList->viewport()->installEventFilter(this);
    lvList->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lvList);

    pmList = new QMenu(this);
    pmList->setObjectName(QStringLiteral("pmList"));
    miCheckBalanceNow = pmList->addAction(TBalanceListModel::Image(biCheckNow), QStringLiteral("Check Balance Now"));
    miCheckBalanceNow->setObjectName(QStringLiteral("miCheckBalanceNow"));
    miCheckBalanceNow->setToolTip(QStringLiteral("Check this alert's balance at once"));
    miDisable = pmList->addAction(TBalanceListModel::Image(biDisable), QStringLiteral("Disable Alert"));
    miDisable->setObjectName(QStringLiteral("miDisable"));
    miDisable->setToolTip(QStringLiteral("Switch this alert off and remove it from the list"));
    miHistory = pmList->addAction(QIcon::fromTheme(QStringLiteral("office-chart-line")), QStringLiteral("History..."));
    miHistory->setObjectName(QStringLiteral("miHistory"));
    miHistory->setToolTip(QStringLiteral("Show how this alert's balance moved"));

    connect(miCheckBalanceNow, &QAction::triggered, this, &TfmBalanceList::miCheckBalanceNowClick);
    connect(miDisable, &QAction::triggered, this, &TfmBalanceList::miDisableClick);
    connect(miHistory, &QAction::triggered, this, &TfmBalanceList::miHistoryClick);
    // An open history window adds each check of its alert as it ends.
    m_list->OnCheckRecorded = [this](const TCheckRecord& record) { m_historyWindows.RecordAdded(record); };
    connect(lvList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmListPopup(lvList->viewport()->mapToGlobal(pos)); });
    connect(header, &QHeaderView::sectionClicked, this, &TfmBalanceList::lvListColumnClick);

    tmCheckTimer = new QTimer(this);
    tmCheckTimer->setObjectName(QStringLiteral("tmCheckTimer"));
    tmCheckTimer->setInterval(5000);
    connect(tmCheckTimer, &QTimer::timeout, this, [this] { m_list->tmCheckTimerTimer(); });
    tmCheckTimer->start();

    TranslateForm(this);
}

TfmBalanceList::~TfmBalanceList() {
    tmCheckTimer->stop();
    // The view lets go of the model before the rows go.
    lvList->setModel(nullptr);
    m_list->WaitForChecks();
}

TAlertItem* TfmBalanceList::SelectedAlert() const {
    const QModelIndexList rows = lvList->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.front().row() >= m_list->RowCount())
        return nullptr;
    return m_list->Row(rows.front().row()).Alert;
}

void TfmBalanceList::pmListPopup(const QPoint& globalPos) {
    const bool selected = SelectedAlert() != nullptr;
    miCheckBalanceNow->setEnabled(selected);
    miDisable->setEnabled(selected);
    miHistory->setEnabled(selected);
    pmList->popup(globalPos);
}

void TfmBalanceList::miCheckBalanceNowClick() {
    if (TAlertItem* alert = SelectedAlert())
        m_list->CheckNow(*alert);
}

void TfmBalanceList::miDisableClick() {
    TAlertItem* alert = SelectedAlert();
    if (alert == nullptr)
        return;
    m_list->Disable(*alert);
    // The view selects the next row in place of the one that went; nothing is selected now, so a
    // second Delete or "Disable Alert" cannot switch off an alert the user never chose.
    lvList->clearSelection();
}

void TfmBalanceList::miHistoryClick() {
    TAlertItem* alert = SelectedAlert();
    if (alert == nullptr)
        return;
    THistorySubject subject;
    subject.AlertKey = alert->unique_id;
    subject.Caption = alert->Name;
    {
        const auto lock = alert->Lock();
        subject.WarnBelow = alert->Limits.WarnBelow;
        subject.WarnAbove = alert->Limits.WarnAbove;
    }
    TRegistry& store =
        alert->Owner != nullptr && alert->Owner->Store != nullptr ? *alert->Owner->Store : TRegistry::Instance();
    m_historyWindows.Open(subject, m_list->History(), store, m_log, this);
}

void TfmBalanceList::lvListKeyUp() {
    miDisableClick();
}

void TfmBalanceList::lvListColumnClick(int column) {
    m_list->Sort(column);
    ClearHint();
    // "Status" never reorders the rows: the arrow stays where the order comes from.
    if (column != TBalanceList::colStatus)
        m_sortArrow.Show(column, m_list->ColumnTag(column) == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
    m_sortArrow.Apply(*lvList->horizontalHeader());
}

void TfmBalanceList::ClearHint() {
    m_list->HintFor(-1);
    lvList->viewport()->setToolTip(QString());
    if (THintController* hints = THintController::Instance())
        hints->HideHint();
}

void TfmBalanceList::lvListMouseMove(const QPoint& pos) {
    const QVariant showHint = lvList->property("showHint");
    if (showHint.isValid() && !showHint.toBool())
        return;
    const QModelIndex index = lvList->indexAt(pos);
    if (!index.isValid()) {
        if (m_list->HintRow() >= 0)
            ClearHint();
        return;
    }
    const std::string text = m_list->HintFor(index.row());
    if (text.empty())
        return; // the same row as before
    QWidget* viewport = lvList->viewport();
    viewport->setToolTip(HintQString(text));
    if (THintController* hints = THintController::Instance()) {
        hints->HideHint();
        hints->ShowHintFor(viewport, viewport->mapToGlobal(pos));
    }
}

bool TfmBalanceList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lvList->viewport()) {
        if (event->type() == QEvent::MouseMove)
            lvListMouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (event->type() == QEvent::Leave)
            ClearHint();
    } else if (watched == lvList) {
        switch (m_deleteKey.Filter(*event)) {
        case TKeyOnRelease::TStep::NotOurs:
            break;
        case TKeyOnRelease::TStep::Act:
            lvListKeyUp();
            [[fallthrough]];
        case TKeyOnRelease::TStep::Swallow:
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfmBalanceList::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
    m_owner.BalanceListClosed();
}

TBalanceListGeometry TfmBalanceList::Geometry() const {
    TBalanceListGeometry geometry;
    geometry.Left = x();
    geometry.Top = y();
    geometry.Width = width();
    geometry.Height = height();
    for (int i = 0; i < TBalanceList::kColumnCount; ++i)
        geometry.ColumnWidths[static_cast<std::size_t>(i)] = lvList->columnWidth(i);
    return geometry;
}

void TfmBalanceList::ApplyGeometry(const TWindowRestore& restore) {
    if (restore.Centre) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->geometry();
            move(area.x() + CentredPosition(area.width(), width()),
                 area.y() + CentredPosition(area.height(), height()));
        }
        return;
    }
    resize(restore.ListWidth.value_or(width()), restore.ListHeight.value_or(height()));
    const QPoint place(restore.ListLeft.value_or(x()), restore.ListTop.value_or(y()));
    if (PlaceIsUsable(QRect(place, frameGeometry().size())))
        move(place);
    for (int i = 0; i < TBalanceList::kColumnCount; ++i)
        if (const auto& width = restore.ListColumnWidths[static_cast<std::size_t>(i)])
            lvList->setColumnWidth(i, *width);
}
