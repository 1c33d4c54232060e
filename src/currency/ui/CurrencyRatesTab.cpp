#include "currency/ui/CurrencyRatesTab.h"

#include "currency/CurrencyList.h"
#include "currency/CurrencySettings.h"
#include "currency/CurrencyThreads.h"
#include "currency/ui/EditCurrencyRates.h"
#include "translate/Messages.h"
#include "widgets/Dialogs.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kObjectRole = Qt::UserRole + 1;

template <typename T>
T* ObjectOf(const QTreeWidgetItem* node) {
    return node == nullptr ? nullptr : reinterpret_cast<T*>(node->data(0, kObjectRole).value<quintptr>());
}

void SetNode(QTreeWidgetItem* node, TCurrencyRatesTab::TCurrencyNodeKind kind, const void* object) {
    node->setData(0, kKindRole, static_cast<int>(kind));
    node->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(object)));
}

} // namespace

// Link nodes look and act like links: underlined in the link colour with a hand cursor under the
// mouse, followed when a mouse button is released over their row.
class TCurrencyRatesTab::TProviderLinks : public QObject {
public:
    explicit TProviderLinks(TCurrencyRatesTab& form) : QObject(&form), m_form(form) {}

    QTreeWidgetItem* Hot() const { return m_hot; }
    void Forget() { m_hot = nullptr; }

    bool eventFilter(QObject* watched, QEvent* event) override {
        QTreeWidget* tree = m_form.tvProvidersList;
        if (watched != tree->viewport())
            return false;
        switch (event->type()) {
        case QEvent::MouseMove:
            SetHot(LinkAt(tree, static_cast<QMouseEvent*>(event)->position().toPoint()));
            break;
        case QEvent::Leave:
            SetHot(nullptr);
            break;
        case QEvent::MouseButtonRelease:
            if (QTreeWidgetItem* link = LinkAt(tree, static_cast<QMouseEvent*>(event)->position().toPoint())) {
                m_form.FollowCurrencyLink(link);
                return true;
            }
            break;
        default:
            break;
        }
        return false;
    }

    // The look of a node: a link under the mouse is hot.
    void Style(QTreeWidgetItem* node) const {
        const bool hot = node == m_hot && TCurrencyRatesTab::CurrencyNodeKind(node) <= ckCancelLink;
        QFont font = node->treeWidget()->font();
        font.setUnderline(hot);
        node->setFont(0, font);
        if (hot)
            node->setForeground(0, node->treeWidget()->palette().brush(QPalette::Link));
        else
            node->setData(0, Qt::ForegroundRole, QVariant());
    }

private:
    static QTreeWidgetItem* LinkAt(QTreeWidget* tree, const QPoint& pos) {
        QTreeWidgetItem* node = tree->itemAt(pos);
        const TCurrencyNodeKind kind = TCurrencyRatesTab::CurrencyNodeKind(node);
        return kind == ckStartLink || kind == ckCancelLink ? node : nullptr;
    }

    void SetHot(QTreeWidgetItem* node) {
        if (node == m_hot)
            return;
        const QScopedValueRollback guard(m_form.m_updatingCurrencyTree, true);
        QTreeWidgetItem* old = m_hot;
        m_hot = node;
        if (old != nullptr)
            Style(old);
        if (node != nullptr) {
            Style(node);
            m_form.tvProvidersList->viewport()->setCursor(Qt::PointingHandCursor);
        } else {
            m_form.tvProvidersList->viewport()->unsetCursor();
        }
    }

    TCurrencyRatesTab& m_form;
    QTreeWidgetItem* m_hot = nullptr;
};

TCurrencyRatesTab::~TCurrencyRatesTab() {
    // The widgets outlive this part of the tab while the base class tears them down: the link
    // handling, which reaches into the tab, must not see their last events.
    if (tvProvidersList != nullptr && m_providerLinks != nullptr)
        tvProvidersList->viewport()->removeEventFilter(m_providerLinks);
}

TCurrencyRatesTab::TCurrencyRatesTab(const TCurrencyLists& lists, TCurrencyThreads& threads,
                                     TCurrencySettings& settings, std::shared_ptr<TLogFile> log, QWidget* parent)
    : QWidget(parent), m_lists(lists), m_threads(threads), m_settings(settings), m_log(std::move(log)) {
    setObjectName(QStringLiteral("tsCurrencyRates"));
    plCurrencyRatesContainer = new QGroupBox(QStringLiteral("Currency Rates Lists"), this);
    plCurrencyRatesContainer->setObjectName(QStringLiteral("plCurrencyRatesContainer"));
    cbCurrencyProviders = new QComboBox(plCurrencyRatesContainer);
    cbCurrencyProviders->setObjectName(QStringLiteral("cbCurrencyProviders"));
    cbCurrencyProviders->setToolTip(QStringLiteral("Groups of currency rates providers"));
    connect(cbCurrencyProviders, &QComboBox::currentIndexChanged, this, &TCurrencyRatesTab::cbCurrencyProvidersChange);

    tvProvidersList = new QTreeWidget(plCurrencyRatesContainer);
    tvProvidersList->setObjectName(QStringLiteral("tvProvidersList"));
    tvProvidersList->setHeaderHidden(true);
    tvProvidersList->setColumnCount(1);
    // The nodes are the providers' own names and the program's messages.
    tvProvidersList->setProperty("tag", -100);
    tvProvidersList->setSelectionMode(QAbstractItemView::SingleSelection);
    tvProvidersList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvProvidersList->setContextMenuPolicy(Qt::CustomContextMenu);
    tvProvidersList->setMouseTracking(true);
    m_providerLinks = new TProviderLinks(*this);
    tvProvidersList->viewport()->installEventFilter(m_providerLinks);
    // A tick is noticed once the tree has toggled the box.
    connect(tvProvidersList, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* node, int) { tvProvidersListItemChanged(node); });
    connect(tvProvidersList, &QTreeWidget::itemExpanded, this, &TCurrencyRatesTab::tvProvidersListExpanding);
    connect(tvProvidersList, &QTreeWidget::itemCollapsed, this, &TCurrencyRatesTab::tvProvidersListCollapsed);
    connect(tvProvidersList, &QTreeWidget::itemSelectionChanged, this,
            [this] { btnConfigureCurrencyList->setEnabled(!tvProvidersList->selectedItems().isEmpty()); });
    connect(tvProvidersList, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        pmConfigureCurrencyListPopup(pos);
        pmConfigureCurrencyList->popup(tvProvidersList->viewport()->mapToGlobal(pos));
    });

    btnConfigureCurrencyList = new QPushButton(QStringLiteral("Configure"), plCurrencyRatesContainer);
    btnConfigureCurrencyList->setObjectName(QStringLiteral("btnConfigureCurrencyList"));
    btnConfigureCurrencyList->setToolTip(QStringLiteral("Configure selected currency rates list"));
    btnConfigureCurrencyList->setEnabled(false);
    connect(btnConfigureCurrencyList, &QPushButton::clicked, this, &TCurrencyRatesTab::btnConfigureCurrencyListClick);

    pmConfigureCurrencyList = new QMenu(this);
    pmConfigureCurrencyList->setObjectName(QStringLiteral("pmConfigureCurrencyList"));
    miConfigureCurrencyList = pmConfigureCurrencyList->addAction(
        QIcon::fromTheme(QStringLiteral("configure"), style()->standardIcon(QStyle::SP_FileDialogDetailedView)),
        QStringLiteral("Configure List"));
    miConfigureCurrencyList->setObjectName(QStringLiteral("miConfigureCurrencyList"));
    connect(miConfigureCurrencyList, &QAction::triggered, this, &TCurrencyRatesTab::btnConfigureCurrencyListClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnConfigureCurrencyList);
    buttons->addStretch(1);
    auto* groupLayout = new QVBoxLayout(plCurrencyRatesContainer);
    groupLayout->addWidget(cbCurrencyProviders);
    groupLayout->addWidget(tvProvidersList, 1);
    groupLayout->addLayout(buttons);
    auto* tabLayout = new QVBoxLayout(this);
    tabLayout->setContentsMargins(4, 4, 4, 4);
    tabLayout->addWidget(plCurrencyRatesContainer);
}

TCurrencyRatesTab::TCurrencyNodeKind TCurrencyRatesTab::CurrencyNodeKind(const QTreeWidgetItem* node) {
    return node == nullptr ? ckNone : static_cast<TCurrencyNodeKind>(node->data(0, kKindRole).toInt());
}

TCurrencyList* TCurrencyRatesTab::CurrencyListOfNode(const QTreeWidgetItem* node) {
    switch (CurrencyNodeKind(node)) {
    case ckStartLink:
    case ckCancelLink:
    case ckList:
        return ObjectOf<TCurrencyList>(node);
    case ckCurrency:
        return &ObjectOf<TCurrencyObject>(node)->Owner();
    case ckNone:
        break;
    }
    return nullptr;
}

void TCurrencyRatesTab::FillCurrencyProviders(const TTranslateFn& translate) {
    {
        const QSignalBlocker blocker(cbCurrencyProviders);
        cbCurrencyProviders->clear();
        for (const TProviderGroup& group : TCurrencySettings::ProviderGroups(m_lists, translate))
            cbCurrencyProviders->addItem(QString::fromStdString(group.Text), QString::fromStdString(group.Code));
        m_lastProviderIndex = -1;
        if (cbCurrencyProviders->count() > 0)
            cbCurrencyProviders->setCurrentIndex(0);
    }
    cbCurrencyProvidersChange();
}

void TCurrencyRatesTab::cbCurrencyProvidersChange() {
    const int index = cbCurrencyProviders->currentIndex();
    if (index < 0 || index == m_lastProviderIndex)
        return;
    m_lastProviderIndex = index;
    const std::string code = cbCurrencyProviders->itemData(index).toString().toStdString();
    tvProvidersList->setUpdatesEnabled(false);
    ClearCurrencyTree();
    {
        const QScopedValueRollback guard(m_updatingCurrencyTree, true);
        for (const auto& list : TCurrencySettings::ListsOfGroup(m_lists, code)) {
            auto* node = new QTreeWidgetItem(tvProvidersList, {QString::fromStdString(list->ListName)});
            SetNode(node, ckList, list.get());
            node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            node->setCheckState(0, list->Active ? Qt::Checked : Qt::Unchecked);
            node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        }
    }
    tvProvidersList->setUpdatesEnabled(true);
}

void TCurrencyRatesTab::ClearCurrencyTree() {
    const QScopedValueRollback guard(m_updatingCurrencyTree, true);
    if (m_providerLinks != nullptr)
        m_providerLinks->Forget();
    tvProvidersList->viewport()->unsetCursor();
    tvProvidersList->clear();
}

void TCurrencyRatesTab::tvProvidersListExpanding(QTreeWidgetItem* node) {
    TCurrencyList* list = CurrencyNodeKind(node) == ckList ? ObjectOf<TCurrencyList>(node) : nullptr;
    if (list == nullptr || node->childCount() > 0)
        return;
    const QScopedValueRollback guard(m_updatingCurrencyTree, true);
    const TCurrencyList::TLock lock = list->Lock();
    for (int i = 0; i < list->CurrencyCount(); ++i) {
        TCurrencyObject& currency = list->Currency(i);
        auto* child = new QTreeWidgetItem(node, {QString::fromStdString(currency.CurrencyName)});
        SetNode(child, ckCurrency, &currency);
        child->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        child->setCheckState(0, currency.Active ? Qt::Checked : Qt::Unchecked);
    }
    if (list->CurrencyCount() == 0) {
        // A run of the list may be going on from an earlier click: the link offers its cancel.
        const bool building = m_threads.Find(*list) != nullptr;
        auto* link = new QTreeWidgetItem(node, {QString::fromStdString(LoadStr(building ? 1070 : 1069))});
        SetNode(link, building ? ckCancelLink : ckStartLink, list);
        link->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
}

void TCurrencyRatesTab::tvProvidersListCollapsed(QTreeWidgetItem* node) {
    const QScopedValueRollback guard(m_updatingCurrencyTree, true);
    if (m_providerLinks != nullptr && m_providerLinks->Hot() != nullptr && m_providerLinks->Hot()->parent() == node) {
        m_providerLinks->Forget();
        tvProvidersList->viewport()->unsetCursor();
    }
    qDeleteAll(node->takeChildren());
}

void TCurrencyRatesTab::tvProvidersListItemChanged(QTreeWidgetItem* node) {
    if (m_updatingCurrencyTree || m_shutDown)
        return;
    const bool ticked = node->checkState(0) == Qt::Checked;
    if (CurrencyNodeKind(node) == ckList)
        m_settings.SetListActive(*ObjectOf<TCurrencyList>(node), ticked);
    else if (CurrencyNodeKind(node) == ckCurrency)
        m_settings.SetCurrencyActive(*ObjectOf<TCurrencyObject>(node), ticked);
}

QTreeWidgetItem* TCurrencyRatesTab::CurrencyListNode(const TCurrencyList& list) const {
    for (int i = 0; i < tvProvidersList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = tvProvidersList->topLevelItem(i);
        if (ObjectOf<TCurrencyList>(node) == &list)
            return node;
    }
    return nullptr;
}

void TCurrencyRatesTab::ResetCurrencyLink(const TCurrencyList& list) {
    QTreeWidgetItem* node = CurrencyListNode(list);
    if (node == nullptr || !node->isExpanded())
        return;
    const QScopedValueRollback guard(m_updatingCurrencyTree, true);
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        const TCurrencyNodeKind kind = CurrencyNodeKind(child);
        if (kind == ckStartLink || kind == ckCancelLink) {
            SetNode(child, ckStartLink, &list);
            child->setText(0, QString::fromStdString(LoadStr(1069)));
            return;
        }
    }
}

void TCurrencyRatesTab::FollowCurrencyLink(QTreeWidgetItem* link) {
    TCurrencyList* list = CurrencyListOfNode(link);
    if (list == nullptr)
        return;
    if (CurrencyNodeKind(link) == ckStartLink) {
        {
            const QScopedValueRollback guard(m_updatingCurrencyTree, true);
            SetNode(link, ckCancelLink, list);
            link->setText(0, QString::fromStdString(LoadStr(1070)));
        }
        StartCurrencyListBuild(*list);
    } else if (CurrencyNodeKind(link) == ckCancelLink) {
        {
            const QScopedValueRollback guard(m_updatingCurrencyTree, true);
            link->setText(0, QString::fromStdString(LoadStr(1073)));
        }
        // The wait serves events: the node may be gone afterwards, so it is looked up again.
        m_threads.Cancel(*list);
        ResetCurrencyLink(*list);
    }
}

void TCurrencyRatesTab::StartCurrencyListBuild(TCurrencyList& list) {
    std::shared_ptr<TCurrencyList> shared;
    for (const auto& held : m_lists)
        if (held.get() == &list)
            shared = held;
    m_threads.Start(list, m_log.get(), [this](TGetCurrencyRatesThread& thread) { CurrencyListBuilt(thread); },
                    {shared, m_log});
}

void TCurrencyRatesTab::CurrencyListBuilt(TGetCurrencyRatesThread& thread) {
    if (m_shutDown)
        return;
    TCurrencyList& list = thread.List();
    const TCurrencySettings::TBuildOutcome outcome = TCurrencySettings::ListBuilt(list, thread.Failed(), Now());
    const std::string message = TCurrencySettings::BuildOutcomeMessage(outcome, list);
    if (outcome == TCurrencySettings::TBuildOutcome::Failed) {
        ResetCurrencyLink(list);
    } else {
        QTreeWidgetItem* node = CurrencyListNode(list);
        // Collapsed meanwhile: the list is saved, nothing is shown.
        if (node == nullptr || !node->isExpanded())
            return;
        tvProvidersListCollapsed(node);
        if (outcome == TCurrencySettings::TBuildOutcome::Listed)
            tvProvidersListExpanding(node);
        else
            node->setExpanded(false);
    }
    if (!message.empty())
        ShowMessageBox(window(), message, LoadStr(1006), QMessageBox::Information);
}

void TCurrencyRatesTab::pmConfigureCurrencyListPopup(const QPoint& viewportPos) {
    if (QTreeWidgetItem* node = tvProvidersList->itemAt(viewportPos)) {
        tvProvidersList->clearSelection();
        node->setSelected(true);
        tvProvidersList->setCurrentItem(node);
    }
    const bool enabled = !tvProvidersList->selectedItems().isEmpty();
    btnConfigureCurrencyList->setEnabled(enabled);
    miConfigureCurrencyList->setEnabled(enabled);
}

void TCurrencyRatesTab::btnConfigureCurrencyListClick() {
    const QList<QTreeWidgetItem*> selected = tvProvidersList->selectedItems();
    TCurrencyList* list = selected.isEmpty() ? nullptr : CurrencyListOfNode(selected.front());
    if (list == nullptr)
        return;
    TfmEditCurrencyRates dialog(*list, window());
    RunModal(dialog);
}

void TCurrencyRatesTab::CollapseCurrencyTree() {
    for (int i = 0; i < tvProvidersList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = tvProvidersList->topLevelItem(i);
        node->setExpanded(false);
        // A node the view never opened has no signal to answer.
        tvProvidersListCollapsed(node);
    }
}

void TCurrencyRatesTab::ShowCurrencyTicks() {
    const QScopedValueRollback guard(m_updatingCurrencyTree, true);
    for (int i = 0; i < tvProvidersList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = tvProvidersList->topLevelItem(i);
        node->setCheckState(0, ObjectOf<TCurrencyList>(node)->Active ? Qt::Checked : Qt::Unchecked);
    }
}

bool TCurrencyRatesTab::ApplyCurrencySettings(ICurrencyWindowHost& windows) {
    CollapseCurrencyTree();
    const std::vector<TCurrencyList*> switchedOff = m_settings.ApplyCurrencySettings(windows);
    if (switchedOff.empty())
        return true;
    ShowCurrencyTicks();
    return ShowMessageBox(window(), TCurrencySettings::IncompleteListsQuestion(), ApplicationTitle().toStdString(),
                          QMessageBox::Information, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes;
}

void TCurrencyRatesTab::Shutdown() {
    m_shutDown = true;
    ClearCurrencyTree();
    cbCurrencyProviders->clear();
}

void TCurrencyRatesTab::RevertCurrencySettings() {
    CollapseCurrencyTree();
    m_settings.RevertCurrencySettings();
    ShowCurrencyTicks();
}
