#pragma once

#include "alerts/AlertItems.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QGroupBox;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TAlertSettings;

// The settings window's Balance Alerts tab: the alert lists, their tree of groups and alerts, and
// the configuring, renaming and adding of alerts. The tab page itself ("tsBalanceAlerts"); its
// controls keep the names the translation files know them by.
//
// The tab changes alerts through the alert settings; what the rest of the program shows of an
// alert (its Balance List row) follows through AlertRenamed.
class TBalanceAlertsTab : public QWidget {
    Q_OBJECT

public:
    TBalanceAlertsTab(const std::vector<std::shared_ptr<TAlertItems>>& lists, TAlertSettings& settings,
                      QWidget* parent = nullptr);

    // Fills the list chooser with every alert list and shows the first.
    void FillAlertGroups();
    // Shows the chosen list's groups and alerts; the list already shown is left as it is.
    void cbAlertsListsChange();
    void btnConfigureAlertClick();
    void btnAddCustomAlertClick();
    // The context menu opens at `viewportPos` of the tree: the alert node there is selected.
    void pmConfigureAlertPopup(const QPoint& viewportPos);
    // Every node of the alert shows its check mark as the alert's flag says.
    void ShowAlertActive(const TAlertItem& alert);
    // The alert of a tree node; null for a group node.
    static TAlertItem* AlertOfNode(const QTreeWidgetItem* node);
    // The selected alert node, or null.
    QTreeWidgetItem* SelectedAlertNode() const;
    // At shutdown: the tree empties and the tab ignores whatever its widgets still report.
    void Shutdown();
    // Shows the list that holds the alert and selects the alert's node.
    void ShowAlertNode(const TAlertItem& alert);

    QGroupBox* gbBalanceAlerts = nullptr;
    QComboBox* cbAlertsLists = nullptr;
    QTreeWidget* tvAvailableAlertsList = nullptr;
    QPushButton* btnConfigureAlert = nullptr;
    QPushButton* btnAddCustomAlert = nullptr;
    QPushButton* btnAddFromPage = nullptr;
    QMenu* pmConfigureAlert = nullptr;
    QAction* Configurealert1 = nullptr;
    QAction* miAddCustomAlert = nullptr;

signals:
    // The alert's name changed (renamed in place or in its dialog): its other views follow.
    void AlertRenamed(TAlertItem& alert);
    // "Add account from a page...": the program opens the window that makes a definition.
    void AddFromPageRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Asks for a name and adds a new account made from `alert` at the end of `node`'s group.
    void AddCustomAlertFrom(TAlertItem& alert, QTreeWidgetItem* node);
    // Enables the configure and add buttons when an alert node is selected.
    void UpdateButtons();
    // Empties the tree (its nodes point at the alerts, which may be about to go).
    void ClearAlertsTree();
    QTreeWidgetItem* AddAlertNode(QTreeWidgetItem* group, TAlertItem& alert);
    void tvAvailableAlertsListItemChanged(QTreeWidgetItem* node);
    void tvAvailableAlertsListEdited(QTreeWidgetItem* node, const std::string& text);
    void tvAvailableAlertsListSelectionChanged();
    // F2 released in the tree or its editor: ends an edit, or starts one on the selected node.
    void CatchF2();

    const std::vector<std::shared_ptr<TAlertItems>>& m_lists;
    TAlertSettings& m_settings;
    int m_shownAlertList = -1;
    bool m_shutDown = false;
    // Set while the program itself changes the tree: its changes are not the user's.
    bool m_updatingTree = false;
    QTreeWidgetItem* m_lastAlertNode = nullptr; // the selection a click on a group node keeps
    QPointer<QWidget> m_alertEditor;            // the tree's in-place editor while it is open
};
