#include "alerts/ui/BalanceAlertsTab.h"

#include "alerts/AlertSettings.h"
#include "alerts/ui/EditBalanceAlert.h"
#include "platform/Strings.h"
#include "translate/Messages.h"
#include "widgets/Dialogs.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kAlertRole = Qt::UserRole;
// The name the node was given: a text that differs from it is the user's edit (comparing with the
// alert's own bytes would take a name that is not valid UTF-8 for an edit).
constexpr int kShownNameRole = Qt::UserRole + 1;

void ShowName(QTreeWidgetItem* node, const std::string& name) {
    const QString text = QString::fromStdString(name);
    node->setData(0, kShownNameRole, text);
    node->setText(0, text);
}

} // namespace

TBalanceAlertsTab::TBalanceAlertsTab(const std::vector<std::shared_ptr<TAlertItems>>& lists, TAlertSettings& settings,
                                     QWidget* parent)
    : QWidget(parent), m_lists(lists), m_settings(settings) {
    setObjectName(QStringLiteral("tsBalanceAlerts"));
    gbBalanceAlerts = new QGroupBox(QStringLiteral("Balance Alerts List"), this);
    gbBalanceAlerts->setObjectName(QStringLiteral("gbBalanceAlerts"));
    cbAlertsLists = new QComboBox(gbBalanceAlerts);
    cbAlertsLists->setObjectName(QStringLiteral("cbAlertsLists"));
    cbAlertsLists->setToolTip(QStringLiteral("List of available alerts groups"));
    connect(cbAlertsLists, &QComboBox::activated, this, &TBalanceAlertsTab::cbAlertsListsChange);
    connect(cbAlertsLists, &QComboBox::currentIndexChanged, this, &TBalanceAlertsTab::cbAlertsListsChange);

    tvAvailableAlertsList = new QTreeWidget(gbBalanceAlerts);
    tvAvailableAlertsList->setObjectName(QStringLiteral("tvAvailableAlertsList"));
    tvAvailableAlertsList->setHeaderHidden(true);
    tvAvailableAlertsList->setColumnCount(1);
    // The nodes are the alerts' own names; the hidden header has nothing to translate either.
    tvAvailableAlertsList->setProperty("tag", -100);
    tvAvailableAlertsList->setSelectionMode(QAbstractItemView::SingleSelection);
    // Renaming starts with F2 only (CatchF2).
    tvAvailableAlertsList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvAvailableAlertsList->setContextMenuPolicy(Qt::CustomContextMenu);
    tvAvailableAlertsList->installEventFilter(this);
    connect(tvAvailableAlertsList, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* node, int) { tvAvailableAlertsListItemChanged(node); });
    connect(tvAvailableAlertsList->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this] { m_alertEditor = nullptr; });
    connect(tvAvailableAlertsList, &QTreeWidget::itemSelectionChanged, this,
            &TBalanceAlertsTab::tvAvailableAlertsListSelectionChanged);
    connect(tvAvailableAlertsList, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        pmConfigureAlertPopup(pos);
        pmConfigureAlert->popup(tvAvailableAlertsList->viewport()->mapToGlobal(pos));
    });

    auto icon = [this](const char* themeName, QStyle::StandardPixmap fallback) {
        return QIcon::fromTheme(QString::fromLatin1(themeName), style()->standardIcon(fallback));
    };
    btnConfigureAlert = new QPushButton(QStringLiteral("Configure"), gbBalanceAlerts);
    btnConfigureAlert->setObjectName(QStringLiteral("btnConfigureAlert"));
    btnConfigureAlert->setToolTip(QStringLiteral("Configure selected alert"));
    btnConfigureAlert->setEnabled(false);
    btnAddCustomAlert = new QPushButton(QStringLiteral("Add new account from item"), gbBalanceAlerts);
    btnAddCustomAlert->setObjectName(QStringLiteral("btnAddCustomAlert"));
    btnAddCustomAlert->setEnabled(false);
    connect(btnConfigureAlert, &QPushButton::clicked, this, &TBalanceAlertsTab::btnConfigureAlertClick);
    connect(btnAddCustomAlert, &QPushButton::clicked, this, &TBalanceAlertsTab::btnAddCustomAlertClick);
    btnAddFromPage = new QPushButton(QStringLiteral("Add account from a page..."), gbBalanceAlerts);
    btnAddFromPage->setObjectName(QStringLiteral("btnAddFromPage"));
    btnAddFromPage->setToolTip(QStringLiteral("Log into the page of an account and pick its balance"));
    connect(btnAddFromPage, &QPushButton::clicked, this, &TBalanceAlertsTab::AddFromPageRequested);

    pmConfigureAlert = new QMenu(this);
    pmConfigureAlert->setObjectName(QStringLiteral("pmConfigureAlert"));
    Configurealert1 = pmConfigureAlert->addAction(icon("configure", QStyle::SP_FileDialogDetailedView),
                                                  QStringLiteral("Configure Alert"));
    Configurealert1->setObjectName(QStringLiteral("Configurealert1"));
    miAddCustomAlert = pmConfigureAlert->addAction(icon("list-add", QStyle::SP_FileDialogNewFolder),
                                                   QStringLiteral("Add new account from item"));
    miAddCustomAlert->setObjectName(QStringLiteral("miAddCustomAlert"));
    connect(Configurealert1, &QAction::triggered, this, &TBalanceAlertsTab::btnConfigureAlertClick);
    connect(miAddCustomAlert, &QAction::triggered, this, &TBalanceAlertsTab::btnAddCustomAlertClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnConfigureAlert);
    buttons->addWidget(btnAddCustomAlert);
    buttons->addStretch(1);
    buttons->addWidget(btnAddFromPage);
    auto* groupLayout = new QVBoxLayout(gbBalanceAlerts);
    groupLayout->addWidget(cbAlertsLists);
    groupLayout->addWidget(tvAvailableAlertsList, 1);
    groupLayout->addLayout(buttons);
    auto* tabLayout = new QVBoxLayout(this);
    tabLayout->setContentsMargins(4, 4, 4, 4);
    tabLayout->addWidget(gbBalanceAlerts);
}

void TBalanceAlertsTab::FillAlertGroups() {
    {
        const QSignalBlocker blocker(cbAlertsLists);
        cbAlertsLists->clear();
        // Kept in the order of their names, as the user reads them.
        for (std::size_t i = 0; i < m_lists.size(); ++i) {
            const std::string& name = m_lists[i]->ListName;
            int at = 0;
            while (at < cbAlertsLists->count() && !AsciiLessNoCase(name, cbAlertsLists->itemText(at).toStdString()))
                ++at;
            cbAlertsLists->insertItem(at, QString::fromStdString(name), static_cast<qulonglong>(i));
        }
    }
    m_shownAlertList = -1;
    ClearAlertsTree();
    if (cbAlertsLists->count() > 0) {
        const QSignalBlocker blocker(cbAlertsLists);
        cbAlertsLists->setCurrentIndex(0);
    }
    cbAlertsListsChange();
}

void TBalanceAlertsTab::Shutdown() {
    m_shutDown = true;
    ClearAlertsTree();
}

void TBalanceAlertsTab::ShowAlertNode(const TAlertItem& alert) {
    for (int at = 0; at < cbAlertsLists->count(); ++at) {
        const auto listIndex = cbAlertsLists->itemData(at).toULongLong();
        if (listIndex >= m_lists.size() || m_lists[listIndex]->FindByUniqueId(alert.unique_id) != &alert)
            continue;
        cbAlertsLists->setCurrentIndex(at);
        cbAlertsListsChange();
        break;
    }
    for (int g = 0; g < tvAvailableAlertsList->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = tvAvailableAlertsList->topLevelItem(g);
        for (int a = 0; a < group->childCount(); ++a)
            if (AlertOfNode(group->child(a)) == &alert) {
                tvAvailableAlertsList->clearSelection();
                group->child(a)->setSelected(true);
                tvAvailableAlertsList->setCurrentItem(group->child(a));
                tvAvailableAlertsList->scrollToItem(group->child(a));
            }
    }
}

void TBalanceAlertsTab::ClearAlertsTree() {
    const QScopedValueRollback guard(m_updatingTree, true);
    m_lastAlertNode = nullptr;
    tvAvailableAlertsList->clear();
    UpdateButtons();
}

void TBalanceAlertsTab::cbAlertsListsChange() {
    const int index = cbAlertsLists->currentIndex();
    if (index < 0 || index == m_shownAlertList)
        return;
    m_shownAlertList = index;
    const auto listIndex = cbAlertsLists->itemData(index).toULongLong();
    if (listIndex >= m_lists.size())
        return;
    const TAlertItems& list = *m_lists[listIndex];
    tvAvailableAlertsList->setUpdatesEnabled(false);
    ClearAlertsTree();
    {
        const QScopedValueRollback guard(m_updatingTree, true);
        for (const auto& [group, alerts] : list.Groups) {
            auto* groupNode = new QTreeWidgetItem(tvAvailableAlertsList, {QString::fromStdString(group)});
            // A group can be opened and closed, not selected, ticked or renamed.
            groupNode->setFlags(Qt::ItemIsEnabled);
            for (TAlertItem* alert : alerts)
                AddAlertNode(groupNode, *alert);
            groupNode->setExpanded(true);
        }
    }
    tvAvailableAlertsList->setUpdatesEnabled(true);
    UpdateButtons();
}

QTreeWidgetItem* TBalanceAlertsTab::AddAlertNode(QTreeWidgetItem* group, TAlertItem& alert) {
    const QScopedValueRollback guard(m_updatingTree, true);
    auto* node = new QTreeWidgetItem(group);
    ShowName(node, alert.Name);
    node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    node->setData(0, kAlertRole, QVariant::fromValue(reinterpret_cast<quintptr>(&alert)));
    node->setCheckState(0, alert.Active ? Qt::Checked : Qt::Unchecked);
    return node;
}

TAlertItem* TBalanceAlertsTab::AlertOfNode(const QTreeWidgetItem* node) {
    if (node == nullptr)
        return nullptr;
    return reinterpret_cast<TAlertItem*>(node->data(0, kAlertRole).value<quintptr>());
}

QTreeWidgetItem* TBalanceAlertsTab::SelectedAlertNode() const {
    const QList<QTreeWidgetItem*> selected = tvAvailableAlertsList->selectedItems();
    return !selected.isEmpty() && AlertOfNode(selected.front()) != nullptr ? selected.front() : nullptr;
}

void TBalanceAlertsTab::ShowAlertActive(const TAlertItem& alert) {
    const QScopedValueRollback guard(m_updatingTree, true);
    for (int g = 0; g < tvAvailableAlertsList->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = tvAvailableAlertsList->topLevelItem(g);
        for (int a = 0; a < group->childCount(); ++a)
            if (AlertOfNode(group->child(a)) == &alert)
                group->child(a)->setCheckState(0, alert.Active ? Qt::Checked : Qt::Unchecked);
    }
}

void TBalanceAlertsTab::tvAvailableAlertsListItemChanged(QTreeWidgetItem* node) {
    if (m_updatingTree || m_shutDown)
        return;
    TAlertItem* alert = AlertOfNode(node);
    if (alert == nullptr)
        return;
    // The tree has already toggled the box: its state is the new one.
    const bool ticked = node->checkState(0) == Qt::Checked;
    if (ticked != alert->Active && !m_settings.SetAlertActive(*alert, ticked))
        ShowAlertActive(*alert); // not stored: the box shows what is
    if (node->text(0) != node->data(0, kShownNameRole).toString())
        tvAvailableAlertsListEdited(node, node->text(0).toStdString());
}

void TBalanceAlertsTab::tvAvailableAlertsListEdited(QTreeWidgetItem* node, const std::string& text) {
    TAlertItem& alert = *AlertOfNode(node);
    if (TAlertSettings::RenameAlert(alert, text))
        emit AlertRenamed(alert);
    // A blank name, or one the store refused, leaves the old name in place.
    const QScopedValueRollback guard(m_updatingTree, true);
    ShowName(node, alert.Name);
}

void TBalanceAlertsTab::tvAvailableAlertsListSelectionChanged() {
    if (!m_updatingTree) {
        // The selection moves only to an alert node: a click on a group or on no node keeps it.
        QTreeWidgetItem* selected = SelectedAlertNode();
        if (selected != nullptr) {
            m_lastAlertNode = selected;
        } else if (m_lastAlertNode != nullptr) {
            const QScopedValueRollback guard(m_updatingTree, true);
            tvAvailableAlertsList->clearSelection();
            m_lastAlertNode->setSelected(true);
        }
    }
    UpdateButtons();
}

void TBalanceAlertsTab::UpdateButtons() {
    const bool enabled = SelectedAlertNode() != nullptr;
    btnConfigureAlert->setEnabled(enabled);
    btnAddCustomAlert->setEnabled(enabled);
}

void TBalanceAlertsTab::pmConfigureAlertPopup(const QPoint& viewportPos) {
    QTreeWidgetItem* node = tvAvailableAlertsList->itemAt(viewportPos);
    if (AlertOfNode(node) != nullptr) {
        tvAvailableAlertsList->clearSelection();
        node->setSelected(true);
        tvAvailableAlertsList->setCurrentItem(node);
    }
    const bool enabled = SelectedAlertNode() != nullptr;
    Configurealert1->setEnabled(enabled);
    miAddCustomAlert->setEnabled(enabled);
    btnConfigureAlert->setEnabled(enabled);
    btnAddCustomAlert->setEnabled(enabled);
}

void TBalanceAlertsTab::btnConfigureAlertClick() {
    QTreeWidgetItem* node = SelectedAlertNode();
    if (node == nullptr)
        return;
    TAlertItem& alert = *AlertOfNode(node);
    const TAlertState before = alert.State();
    TfmEditBalanceAlert dialog(window(), alert);
    if (RunModal(dialog) != QDialog::Accepted)
        return;
    // What the store refused is taken back; the node and the row show what was kept.
    TAlertSettings::AcceptEdit(alert, before);
    {
        const QScopedValueRollback guard(m_updatingTree, true);
        ShowName(node, alert.Name);
    }
    emit AlertRenamed(alert);
}

void TBalanceAlertsTab::btnAddCustomAlertClick() {
    QTreeWidgetItem* node = SelectedAlertNode();
    if (node != nullptr)
        AddCustomAlertFrom(*AlertOfNode(node), node);
}

void TBalanceAlertsTab::AddCustomAlertFrom(TAlertItem& alert, QTreeWidgetItem* node) {
    std::string name = TAlertSettings::ProposedCustomName(alert);
    if (!ShowInputBox(window(), LoadStr(1016), LoadStr(1016), LoadStr(1017), 0, name) || name.empty())
        return;
    TAlertItem* added = TAlertSettings::AddCustomAlert(alert, name);
    // An account that could not be recorded is not shown: it would be gone at the next start.
    if (added == nullptr || node == nullptr || node->parent() == nullptr)
        return;
    AddAlertNode(node->parent(), *added);
}

void TBalanceAlertsTab::CatchF2() {
    if (m_alertEditor) {
        // Ends the edit and takes its text.
        QAbstractItemDelegate* delegate = tvAvailableAlertsList->itemDelegate();
        QWidget* editor = m_alertEditor;
        emit delegate->commitData(editor);
        emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
        m_alertEditor = nullptr;
        return;
    }
    QTreeWidgetItem* node = SelectedAlertNode();
    // Group names cannot be edited.
    if (node == nullptr)
        return;
    tvAvailableAlertsList->setCurrentItem(node);
    tvAvailableAlertsList->editItem(node, 0);
    m_alertEditor = tvAvailableAlertsList->viewport()->findChild<QLineEdit*>();
    if (m_alertEditor)
        m_alertEditor->installEventFilter(this);
}

bool TBalanceAlertsTab::eventFilter(QObject* watched, QEvent* event) {
    const bool inTree = watched == tvAvailableAlertsList || (m_alertEditor && watched == m_alertEditor);
    if (inTree && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease ||
                   event->type() == QEvent::ShortcutOverride)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F2 && key->modifiers() == Qt::NoModifier) {
            if (event->type() == QEvent::KeyRelease && !key->isAutoRepeat())
                CatchF2();
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
