// The main form's Currency Rates tab: the provider groups, the tree of their lists and currencies
// with the links that build a list's currencies, and the applying and undoing of its ticks.
#include "app/Messages.h"
#include "app/ui/Dialogs.h"
#include "app/ui/MainForm.h"
#include "currency/CurrencyList.h"
#include "currency/ui/CurrencyRatesWindow.h"
#include "currency/ui/EditCurrencyRates.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kObjectRole = Qt::UserRole + 1;

template <typename T>
T* ObjectOf(const QTreeWidgetItem* node) {
    return node == nullptr ? nullptr : reinterpret_cast<T*>(node->data(0, kObjectRole).value<quintptr>());
}

void SetNode(QTreeWidgetItem* node, TfmMain::TCurrencyNodeKind kind, const void* object) {
    node->setData(0, kKindRole, static_cast<int>(kind));
    node->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(object)));
}

class TFlagGuard {
public:
    explicit TFlagGuard(bool& flag) : m_flag(flag), m_old(flag) { m_flag = true; }
    ~TFlagGuard() { m_flag = m_old; }
    TFlagGuard(const TFlagGuard&) = delete;
    TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

} // namespace

// Link nodes look and act like links: underlined in the link colour with a hand cursor under the
// mouse, followed when a mouse button is released over their row.
class TfmMain::TProviderLinks : public QObject {
public:
    explicit TProviderLinks(TfmMain& form) : QObject(&form), m_form(form) {}

    QTreeWidgetItem* Hot() const { return m_hot; }
    void Forget() { m_hot = nullptr; }

    bool eventFilter(QObject* watched, QEvent* event) override {
        QTreeWidget* tree = m_form.tvProvidersList;
        if (watched != tree->viewport())
            return false;
        switch (event->type()) {
        case QEvent::MouseMove:
            setHot(linkAt(tree, static_cast<QMouseEvent*>(event)->position().toPoint()));
            break;
        case QEvent::Leave:
            setHot(nullptr);
            break;
        case QEvent::MouseButtonRelease:
            if (QTreeWidgetItem* link = linkAt(tree, static_cast<QMouseEvent*>(event)->position().toPoint())) {
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
        const bool hot = node == m_hot && TfmMain::CurrencyNodeKind(node) <= ckCancelLink;
        QFont font = node->treeWidget()->font();
        font.setUnderline(hot);
        node->setFont(0, font);
        if (hot)
            node->setForeground(0, node->treeWidget()->palette().brush(QPalette::Link));
        else
            node->setData(0, Qt::ForegroundRole, QVariant());
    }

private:
    static QTreeWidgetItem* linkAt(QTreeWidget* tree, const QPoint& pos) {
        QTreeWidgetItem* node = tree->itemAt(pos);
        const TCurrencyNodeKind kind = TfmMain::CurrencyNodeKind(node);
        return kind == ckStartLink || kind == ckCancelLink ? node : nullptr;
    }

    void setHot(QTreeWidgetItem* node) {
        if (node == m_hot)
            return;
        const TFlagGuard guard(m_form.m_updatingCurrencyTree);
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

    TfmMain& m_form;
    QTreeWidgetItem* m_hot = nullptr;
};

void TfmMain::DetachCurrencyTab() {
    if (tvProvidersList != nullptr && m_providerLinks != nullptr)
        tvProvidersList->viewport()->removeEventFilter(m_providerLinks);
}

void TfmMain::CreateCurrencyTab() {
    plCurrencyRatesContainer = new QGroupBox(QStringLiteral("Currency Rates Lists"), tsCurrencyRates);
    plCurrencyRatesContainer->setObjectName(QStringLiteral("plCurrencyRatesContainer"));
    cbCurrencyProviders = new QComboBox(plCurrencyRatesContainer);
    cbCurrencyProviders->setObjectName(QStringLiteral("cbCurrencyProviders"));
    cbCurrencyProviders->setToolTip(QStringLiteral("Groups of currency rates providers"));
    connect(cbCurrencyProviders, &QComboBox::currentIndexChanged, this, &TfmMain::cbCurrencyProvidersChange);

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
    connect(tvProvidersList, &QTreeWidget::itemExpanded, this, &TfmMain::tvProvidersListExpanding);
    connect(tvProvidersList, &QTreeWidget::itemCollapsed, this, &TfmMain::tvProvidersListCollapsed);
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
    connect(btnConfigureCurrencyList, &QPushButton::clicked, this, &TfmMain::btnConfigureCurrencyListClick);

    pmConfigureCurrencyList = new QMenu(this);
    pmConfigureCurrencyList->setObjectName(QStringLiteral("pmConfigureCurrencyList"));
    miConfigureCurrencyList = pmConfigureCurrencyList->addAction(
        QIcon::fromTheme(QStringLiteral("configure"), style()->standardIcon(QStyle::SP_FileDialogDetailedView)),
        QStringLiteral("Configure List"));
    miConfigureCurrencyList->setObjectName(QStringLiteral("miConfigureCurrencyList"));
    connect(miConfigureCurrencyList, &QAction::triggered, this, &TfmMain::btnConfigureCurrencyListClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnConfigureCurrencyList);
    buttons->addStretch(1);
    auto* groupLayout = new QVBoxLayout(plCurrencyRatesContainer);
    groupLayout->addWidget(cbCurrencyProviders);
    groupLayout->addWidget(tvProvidersList, 1);
    groupLayout->addLayout(buttons);
    auto* tabLayout = new QVBoxLayout(tsCurrencyRates);
    tabLayout->setContentsMargins(4, 4, 4, 4);
    tabLayout->addWidget(plCurrencyRatesContainer);
}

TfmMain::TCurrencyNodeKind TfmMain::CurrencyNodeKind(const QTreeWidgetItem* node) {
    return node == nullptr ? ckNone : static_cast<TCurrencyNodeKind>(node->data(0, kKindRole).toInt());
}

TCurrencyList* TfmMain::CurrencyListOfNode(const QTreeWidgetItem* node) {
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

void TfmMain::FillCurrencyProviders() {
    const TTranslateFn translate = [this](const std::string& section, const std::string& key) {
        return Translator.GetValue(section, key);
    };
    {
        const QSignalBlocker blocker(cbCurrencyProviders);
        cbCurrencyProviders->clear();
        for (const TProviderGroup& group : TCurrencySettings::ProviderGroups(m_currencyLists, translate))
            cbCurrencyProviders->addItem(QString::fromStdString(group.Text), QString::fromStdString(group.Code));
        m_lastProviderIndex = -1;
        if (cbCurrencyProviders->count() > 0)
            cbCurrencyProviders->setCurrentIndex(0);
    }
    cbCurrencyProvidersChange();
}

void TfmMain::cbCurrencyProvidersChange() {
    const int index = cbCurrencyProviders->currentIndex();
    if (index < 0 || index == m_lastProviderIndex)
        return;
    m_lastProviderIndex = index;
    const std::string code = cbCurrencyProviders->itemData(index).toString().toStdString();
    tvProvidersList->setUpdatesEnabled(false);
    ClearCurrencyTree();
    {
        const TFlagGuard guard(m_updatingCurrencyTree);
        for (const auto& list : TCurrencySettings::ListsOfGroup(m_currencyLists, code)) {
            auto* node = new QTreeWidgetItem(tvProvidersList, {QString::fromStdString(list->ListName)});
            SetNode(node, ckList, list.get());
            node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            node->setCheckState(0, list->Active ? Qt::Checked : Qt::Unchecked);
            node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        }
    }
    tvProvidersList->setUpdatesEnabled(true);
}

void TfmMain::ClearCurrencyTree() {
    const TFlagGuard guard(m_updatingCurrencyTree);
    if (m_providerLinks != nullptr)
        m_providerLinks->Forget();
    tvProvidersList->viewport()->unsetCursor();
    tvProvidersList->clear();
}

void TfmMain::tvProvidersListExpanding(QTreeWidgetItem* node) {
    TCurrencyList* list = CurrencyNodeKind(node) == ckList ? ObjectOf<TCurrencyList>(node) : nullptr;
    if (list == nullptr || node->childCount() > 0)
        return;
    const TFlagGuard guard(m_updatingCurrencyTree);
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
        const bool building = m_currencyThreads.Find(*list) != nullptr;
        auto* link = new QTreeWidgetItem(node, {QString::fromStdString(LoadStr(building ? 1070 : 1069))});
        SetNode(link, building ? ckCancelLink : ckStartLink, list);
        link->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
}

void TfmMain::tvProvidersListCollapsed(QTreeWidgetItem* node) {
    const TFlagGuard guard(m_updatingCurrencyTree);
    if (m_providerLinks != nullptr && m_providerLinks->Hot() != nullptr && m_providerLinks->Hot()->parent() == node) {
        m_providerLinks->Forget();
        tvProvidersList->viewport()->unsetCursor();
    }
    qDeleteAll(node->takeChildren());
}

void TfmMain::tvProvidersListItemChanged(QTreeWidgetItem* node) {
    if (m_updatingCurrencyTree || m_destroyed)
        return;
    const bool ticked = node->checkState(0) == Qt::Checked;
    if (CurrencyNodeKind(node) == ckList)
        m_currencySettings.SetListActive(*ObjectOf<TCurrencyList>(node), ticked);
    else if (CurrencyNodeKind(node) == ckCurrency)
        m_currencySettings.SetCurrencyActive(*ObjectOf<TCurrencyObject>(node), ticked);
}

QTreeWidgetItem* TfmMain::CurrencyListNode(const TCurrencyList& list) const {
    for (int i = 0; i < tvProvidersList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = tvProvidersList->topLevelItem(i);
        if (ObjectOf<TCurrencyList>(node) == &list)
            return node;
    }
    return nullptr;
}

void TfmMain::ResetCurrencyLink(const TCurrencyList& list) {
    QTreeWidgetItem* node = CurrencyListNode(list);
    if (node == nullptr || !node->isExpanded())
        return;
    const TFlagGuard guard(m_updatingCurrencyTree);
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

void TfmMain::FollowCurrencyLink(QTreeWidgetItem* link) {
    TCurrencyList* list = CurrencyListOfNode(link);
    if (list == nullptr)
        return;
    if (CurrencyNodeKind(link) == ckStartLink) {
        {
            const TFlagGuard guard(m_updatingCurrencyTree);
            SetNode(link, ckCancelLink, list);
            link->setText(0, QString::fromStdString(LoadStr(1070)));
        }
        StartCurrencyListBuild(*list);
    } else if (CurrencyNodeKind(link) == ckCancelLink) {
        {
            const TFlagGuard guard(m_updatingCurrencyTree);
            link->setText(0, QString::fromStdString(LoadStr(1073)));
        }
        // The wait serves events: the node may be gone afterwards, so it is looked up again.
        m_currencyThreads.Cancel(*list);
        ResetCurrencyLink(*list);
    }
}

void TfmMain::StartCurrencyListBuild(TCurrencyList& list) {
    std::shared_ptr<TCurrencyList> shared;
    for (const auto& held : m_currencyLists)
        if (held.get() == &list)
            shared = held;
    m_currencyThreads.Start(list, SharedLog.get(),
                            [this](TGetCurrencyRatesThread& thread) { CurrencyListBuilt(thread); },
                            {shared, SharedLog});
}

void TfmMain::CurrencyListBuilt(TGetCurrencyRatesThread& thread) {
    if (m_destroyed)
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
        ShowMessageBox(this, message, LoadStr(1006), QMessageBox::Information);
}

void TfmMain::pmConfigureCurrencyListPopup(const QPoint& viewportPos) {
    if (QTreeWidgetItem* node = tvProvidersList->itemAt(viewportPos)) {
        tvProvidersList->clearSelection();
        node->setSelected(true);
        tvProvidersList->setCurrentItem(node);
    }
    const bool enabled = !tvProvidersList->selectedItems().isEmpty();
    btnConfigureCurrencyList->setEnabled(enabled);
    miConfigureCurrencyList->setEnabled(enabled);
}

void TfmMain::btnConfigureCurrencyListClick() {
    const QList<QTreeWidgetItem*> selected = tvProvidersList->selectedItems();
    TCurrencyList* list = selected.isEmpty() ? nullptr : CurrencyListOfNode(selected.front());
    if (list == nullptr)
        return;
    TfmEditCurrencyRates dialog(*list, this);
    RunModal(dialog);
}

void TfmMain::CollapseCurrencyTree() {
    for (int i = 0; i < tvProvidersList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = tvProvidersList->topLevelItem(i);
        node->setExpanded(false);
        // A node the view never opened has no signal to answer.
        tvProvidersListCollapsed(node);
    }
}

void TfmMain::ShowCurrencyTicks() {
    const TFlagGuard guard(m_updatingCurrencyTree);
    for (int i = 0; i < tvProvidersList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = tvProvidersList->topLevelItem(i);
        node->setCheckState(0, ObjectOf<TCurrencyList>(node)->Active ? Qt::Checked : Qt::Unchecked);
    }
}

bool TfmMain::ApplyCurrencySettings() {
    struct TWindows : ICurrencyWindowHost {
        TfmMain& form;
        explicit TWindows(TfmMain& f) : form(f) {}
        bool HasCurrencyWindow(const TCurrencyList& list) const override {
            return form.CurrencyWindow(list) != nullptr;
        }
        void CreateCurrencyWindow(const std::shared_ptr<TCurrencyList>& list) override {
            form.CreateCurrencyWindow(list);
        }
        void RebuildCurrencyWindow(const TCurrencyList& list) override {
            if (TfmCurrencyRatesList* window = form.CurrencyWindow(list))
                window->RebuildRows();
        }
        void DestroyCurrencyWindow(const TCurrencyList& list) override { form.DestroyCurrencyWindow(list); }
    } windows(*this);
    CollapseCurrencyTree();
    const std::vector<TCurrencyList*> switchedOff = m_currencySettings.ApplyCurrencySettings(windows);
    if (switchedOff.empty())
        return true;
    ShowCurrencyTicks();
    if (ShowMessageBox(this, TCurrencySettings::IncompleteListsQuestion(), ApplicationTitle().toStdString(),
                       QMessageBox::Information, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return true;
    pcMain->setCurrentWidget(tsCurrencyRates);
    return false;
}

void TfmMain::RevertCurrencySettings() {
    CollapseCurrencyTree();
    m_currencySettings.RevertCurrencySettings();
    ShowCurrencyTicks();
}
