#pragma once

#include "currency/CurrencyScripts.h"
#include "translate/TranslateFn.h"

#include <QWidget>

#include <memory>

class ICurrencyWindowHost;
class QAction;
class QComboBox;
class QGroupBox;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TCurrencySettings;
class TCurrencyThreads;
class TGetCurrencyRatesThread;
class TLogFile;

// The settings window's Currency Rates tab: the provider groups, the provider tree of their lists
// and currencies with the links that build a list's currencies, and the applying and undoing of
// its ticks. The tab page itself ("tsCurrencyRates"); its controls keep the names the translation
// files know them by.
class TCurrencyRatesTab : public QWidget {
    Q_OBJECT

public:
    TCurrencyRatesTab(const TCurrencyLists& lists, TCurrencyThreads& threads, TCurrencySettings& settings,
                      std::shared_ptr<TLogFile> log, QWidget* parent = nullptr);
    ~TCurrencyRatesTab() override;

    enum TCurrencyNodeKind { ckNone = 0, ckStartLink = 1, ckCancelLink = 2, ckList = 3, ckCurrency = 4 };
    static TCurrencyNodeKind CurrencyNodeKind(const QTreeWidgetItem* node);

    // Fills the provider chooser from the lists' country codes and shows the first group.
    void FillCurrencyProviders(const TTranslateFn& translate);
    void cbCurrencyProvidersChange();
    void pmConfigureCurrencyListPopup(const QPoint& viewportPos);
    void btnConfigureCurrencyListClick();
    // OK: applies the ticks to the lists and their windows. False when the user chose to go back
    // to the tab to complete a list.
    bool ApplyCurrencySettings(ICurrencyWindowHost& windows);
    // Cancel: the ticks are undone.
    void RevertCurrencySettings();
    QTreeWidgetItem* CurrencyListNode(const TCurrencyList& list) const;
    // At shutdown: the tree and the chooser empty, and the tab ignores whatever its widgets or a
    // finishing build still report.
    void Shutdown();

    QGroupBox* plCurrencyRatesContainer = nullptr;
    QComboBox* cbCurrencyProviders = nullptr;
    QTreeWidget* tvProvidersList = nullptr;
    QPushButton* btnConfigureCurrencyList = nullptr;
    QMenu* pmConfigureCurrencyList = nullptr;
    QAction* miConfigureCurrencyList = nullptr;

private:
    class TProviderLinks;

    // The list of a node: its own for a list or link node, the parent list for a currency.
    static TCurrencyList* CurrencyListOfNode(const QTreeWidgetItem* node);
    // A link node was clicked: starts the list-building run, or cancels it.
    void FollowCurrencyLink(QTreeWidgetItem* link);
    void ClearCurrencyTree();
    void tvProvidersListExpanding(QTreeWidgetItem* node);
    void tvProvidersListCollapsed(QTreeWidgetItem* node);
    void tvProvidersListItemChanged(QTreeWidgetItem* node);
    void ResetCurrencyLink(const TCurrencyList& list);
    void StartCurrencyListBuild(TCurrencyList& list);
    void CurrencyListBuilt(TGetCurrencyRatesThread& thread);
    void CollapseCurrencyTree();
    // Every list node's check box shows its list's flag.
    void ShowCurrencyTicks();

    const TCurrencyLists& m_lists;
    TCurrencyThreads& m_threads;
    TCurrencySettings& m_settings;
    std::shared_ptr<TLogFile> m_log;
    int m_lastProviderIndex = -1;
    bool m_updatingCurrencyTree = false;
    bool m_shutDown = false;
    TProviderLinks* m_providerLinks = nullptr; // a QObject child of the tab
};
