// The main form's Balance Alerts tab: the alert lists, their tree of groups and alerts, and the
// configuring, renaming and adding of alerts.
#include "alerts/ui/EditBalanceAlert.h"
#include "app/Messages.h"
#include "app/ui/Dialogs.h"
#include "app/ui/MainForm.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "platform/Strings.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdint>

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

// Sets a flag for the lifetime of the guard.
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

void TfmMain::CreateAlertsTab() {
    gbBalanceAlerts = new QGroupBox(QStringLiteral("Balance Alerts List"), tsBalanceAlerts);
    gbBalanceAlerts->setObjectName(QStringLiteral("gbBalanceAlerts"));
    cbAlertsLists = new QComboBox(gbBalanceAlerts);
    cbAlertsLists->setObjectName(QStringLiteral("cbAlertsLists"));
    cbAlertsLists->setToolTip(QStringLiteral("List of available alerts groups"));
    connect(cbAlertsLists, &QComboBox::activated, this, &TfmMain::cbAlertsListsChange);
    connect(cbAlertsLists, &QComboBox::currentIndexChanged, this, &TfmMain::cbAlertsListsChange);

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
            &TfmMain::tvAvailableAlertsListSelectionChanged);
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
    connect(btnConfigureAlert, &QPushButton::clicked, this, &TfmMain::btnConfigureAlertClick);
    connect(btnAddCustomAlert, &QPushButton::clicked, this, &TfmMain::btnAddCustomAlertClick);

    pmConfigureAlert = new QMenu(this);
    pmConfigureAlert->setObjectName(QStringLiteral("pmConfigureAlert"));
    Configurealert1 = pmConfigureAlert->addAction(icon("configure", QStyle::SP_FileDialogDetailedView),
                                                  QStringLiteral("Configure Alert"));
    Configurealert1->setObjectName(QStringLiteral("Configurealert1"));
    miAddCustomAlert = pmConfigureAlert->addAction(icon("list-add", QStyle::SP_FileDialogNewFolder),
                                                   QStringLiteral("Add new account from item"));
    miAddCustomAlert->setObjectName(QStringLiteral("miAddCustomAlert"));
    connect(Configurealert1, &QAction::triggered, this, &TfmMain::btnConfigureAlertClick);
    connect(miAddCustomAlert, &QAction::triggered, this, &TfmMain::btnAddCustomAlertClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnConfigureAlert);
    buttons->addWidget(btnAddCustomAlert);
    buttons->addStretch(1);
    auto* groupLayout = new QVBoxLayout(gbBalanceAlerts);
    groupLayout->addWidget(cbAlertsLists);
    groupLayout->addWidget(tvAvailableAlertsList, 1);
    groupLayout->addLayout(buttons);
    auto* tabLayout = new QVBoxLayout(tsBalanceAlerts);
    tabLayout->setContentsMargins(4, 4, 4, 4);
    tabLayout->addWidget(gbBalanceAlerts);
}

void TfmMain::FillAlertGroups() {
    Log.WriteLog(LoadStr(1050));
    {
        const QSignalBlocker blocker(cbAlertsLists);
        cbAlertsLists->clear();
        // Kept in the order of their names, as the user reads them.
        for (std::size_t i = 0; i < m_alertLists.size(); ++i) {
            const std::string& name = m_alertLists[i]->ListName;
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
    Log.WriteLog(LoadStr(1051));
}

void TfmMain::ClearAlertsTree() {
    const TFlagGuard guard(m_updatingTree);
    m_lastAlertNode = nullptr;
    tvAvailableAlertsList->clear();
    UpdateButtons();
}

void TfmMain::cbAlertsListsChange() {
    const int index = cbAlertsLists->currentIndex();
    if (index < 0 || index == m_shownAlertList)
        return;
    m_shownAlertList = index;
    const auto listIndex = cbAlertsLists->itemData(index).toULongLong();
    if (listIndex >= m_alertLists.size())
        return;
    const TAlertItems& list = *m_alertLists[listIndex];
    tvAvailableAlertsList->setUpdatesEnabled(false);
    ClearAlertsTree();
    {
        const TFlagGuard guard(m_updatingTree);
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

QTreeWidgetItem* TfmMain::AddAlertNode(QTreeWidgetItem* group, TAlertItem& alert) {
    const TFlagGuard guard(m_updatingTree);
    auto* node = new QTreeWidgetItem(group);
    ShowName(node, alert.Name);
    node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    node->setData(0, kAlertRole, QVariant::fromValue(reinterpret_cast<quintptr>(&alert)));
    node->setCheckState(0, alert.Active ? Qt::Checked : Qt::Unchecked);
    return node;
}

TAlertItem* TfmMain::AlertOfNode(const QTreeWidgetItem* node) {
    if (node == nullptr)
        return nullptr;
    return reinterpret_cast<TAlertItem*>(node->data(0, kAlertRole).value<quintptr>());
}

QTreeWidgetItem* TfmMain::SelectedAlertNode() const {
    const QList<QTreeWidgetItem*> selected = tvAvailableAlertsList->selectedItems();
    return !selected.isEmpty() && AlertOfNode(selected.front()) != nullptr ? selected.front() : nullptr;
}

void TfmMain::ShowAlertActive(const TAlertItem& alert) {
    const TFlagGuard guard(m_updatingTree);
    for (int g = 0; g < tvAvailableAlertsList->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = tvAvailableAlertsList->topLevelItem(g);
        for (int a = 0; a < group->childCount(); ++a)
            if (AlertOfNode(group->child(a)) == &alert)
                group->child(a)->setCheckState(0, alert.Active ? Qt::Checked : Qt::Unchecked);
    }
}

bool TfmMain::SetAlertActive(TAlertItem& alert, bool active) {
    return m_alertSettings.SetAlertActive(alert, active);
}

void TfmMain::tvAvailableAlertsListItemChanged(QTreeWidgetItem* node) {
    if (m_updatingTree || m_destroyed)
        return;
    TAlertItem* alert = AlertOfNode(node);
    if (alert == nullptr)
        return;
    // The tree has already toggled the box: its state is the new one.
    const bool ticked = node->checkState(0) == Qt::Checked;
    if (ticked != alert->Active && !SetAlertActive(*alert, ticked))
        ShowAlertActive(*alert); // not stored: the box shows what is
    if (node->text(0) != node->data(0, kShownNameRole).toString())
        tvAvailableAlertsListEdited(node, node->text(0).toStdString());
}

void TfmMain::tvAvailableAlertsListEdited(QTreeWidgetItem* node, const std::string& text) {
    TAlertItem& alert = *AlertOfNode(node);
    if (TAlertSettings::RenameAlert(alert, text))
        RenameBalanceListRow(alert);
    // A blank name, or one the store refused, leaves the old name in place.
    const TFlagGuard guard(m_updatingTree);
    ShowName(node, alert.Name);
}

void TfmMain::tvAvailableAlertsListSelectionChanged() {
    if (!m_updatingTree) {
        // The selection moves only to an alert node: a click on a group or on no node keeps it.
        QTreeWidgetItem* selected = SelectedAlertNode();
        if (selected != nullptr) {
            m_lastAlertNode = selected;
        } else if (m_lastAlertNode != nullptr) {
            const TFlagGuard guard(m_updatingTree);
            tvAvailableAlertsList->clearSelection();
            m_lastAlertNode->setSelected(true);
        }
    }
    UpdateButtons();
}

void TfmMain::UpdateButtons() {
    const bool enabled = SelectedAlertNode() != nullptr;
    btnConfigureAlert->setEnabled(enabled);
    btnAddCustomAlert->setEnabled(enabled);
}

void TfmMain::pmConfigureAlertPopup(const QPoint& viewportPos) {
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

void TfmMain::btnConfigureAlertClick() {
    QTreeWidgetItem* node = SelectedAlertNode();
    if (node == nullptr)
        return;
    TAlertItem& alert = *AlertOfNode(node);
    const TAlertState before = alert.State();
    TfmEditBalanceAlert dialog(this, alert);
    if (RunModal(dialog) != QDialog::Accepted)
        return;
    // What the store refused is taken back; the node and the row show what was kept.
    TAlertSettings::AcceptEdit(alert, before);
    {
        const TFlagGuard guard(m_updatingTree);
        ShowName(node, alert.Name);
    }
    RenameBalanceListRow(alert);
}

void TfmMain::btnAddCustomAlertClick() {
    QTreeWidgetItem* node = SelectedAlertNode();
    if (node != nullptr)
        AddCustomAlertFrom(*AlertOfNode(node), node);
}

void TfmMain::AddCustomAlertFrom(TAlertItem& alert, QTreeWidgetItem* node) {
    std::string name = TAlertSettings::ProposedCustomName(alert);
    if (!ShowInputBox(this, LoadStr(1016), LoadStr(1016), LoadStr(1017), 0, name) || name.empty())
        return;
    TAlertItem* added = TAlertSettings::AddCustomAlert(alert, name);
    // An account that could not be recorded is not shown: it would be gone at the next start.
    if (added == nullptr || node == nullptr || node->parent() == nullptr)
        return;
    AddAlertNode(node->parent(), *added);
}

void TfmMain::RenameBalanceListRow(TAlertItem& alert) {
    if (m_fmBalanceList)
        m_fmBalanceList->RenameAlertRow(alert, alert.Name);
}

bool TfmMain::CheckIncompleteAlerts() {
    if (m_alertSettings.FirstIncompleteAlert() == nullptr)
        return false;
    if (ShowMessageBox(this, LoadStr(1007), LoadStr(1006), QMessageBox::Question, QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes)
        return false;
    pcMain->setCurrentWidget(tsBalanceAlerts);
    return true;
}

void TfmMain::CatchF2() {
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

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
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
