#pragma once

#include "currency/CurrencyRatesList.h"
#include "history/ui/HistoryWindow.h"
#include "widgets/KeyOnRelease.h"
#include "widgets/SortArrow.h"

#include <QWidget>

#include <memory>
#include <string>

class QAction;
class QMenu;
class QTableView;
class QTimer;
class TCurrencyRatesModel;
class TLogFile;
class TPlaceSaver;

// The rates window of a switched-on currency list: an always-on-top tool window with a row per
// shown currency and a column per shown column, changed values marked in colour, and the timer that
// updates the list through its provider script. Closing it only hides it. The decisions live in
// TCurrencyRatesList (Rates()); the window shows its rows and forwards the user's actions.
class TfmCurrencyRatesList : public QWidget {
    Q_OBJECT

public:
    // `translate` looks texts up in the interface translation (section "ALERTS" for the headers
    // and the menu); `centreOn` is the window the new window is centred on before its stored
    // placement applies (the main form), or null.
    TfmCurrencyRatesList(std::shared_ptr<TCurrencyList> list, ICurrencyRatesOwner& owner, std::shared_ptr<TLogFile> log,
                         TTranslateFn translate = {}, const QWidget* centreOn = nullptr);
    // Stops the timer and a running update.
    ~TfmCurrencyRatesList() override;

    TCurrencyRatesList& Rates() { return *m_rates; }
    TCurrencyList& List() const { return m_rates->List(); }
    TCurrencyRatesModel& Model() { return *m_model; }
    // The history windows opened from the rows.
    THistoryWindows& HistoryWindows() { return m_historyWindows; }

    // Empties the rows and fills them again, the columns included.
    void RebuildRows();
    // Whether the user wants the window shown.
    bool WindowVisible() const { return m_windowVisible; }
    // Shows or hides the window and saves its placement.
    void ShowOrHide(bool visible);
    void SavePlacement() const;
    // Centres the window on `centreOn`, then applies the stored placement (a position off every
    // screen is ignored) and shows or hides the window as it was.
    void RestorePlacement(const QWidget* centreOn);

    // The currency of the selected row, or -1.
    int SelectedRow() const;

    // Event handlers.
    void pmListPopupPopup(const QPoint& globalPos);
    void miReloadListClick();
    void miDisableCurrencyClick();
    void miHistoryClick();
    void lvCurrencyListColumnClick(int column);

    QTableView* lvCurrencyList = nullptr;
    QMenu* pmListPopup = nullptr;
    QAction* miReloadList = nullptr;
    QAction* miDisableCurrency = nullptr;
    QAction* miHistory = nullptr;
    QTimer* tmCheckTimer = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateCaption();
    TRegistry& Store() const;

    ICurrencyRatesOwner& m_owner;
    std::shared_ptr<TLogFile> m_log;
    THistoryWindows m_historyWindows;
    int m_popupColumn = 0; // the column of the cell the menu was opened on
    std::unique_ptr<TCurrencyRatesList> m_rates;
    std::unique_ptr<TCurrencyRatesModel> m_model; // after m_rates: it goes first
    bool m_windowVisible = true;
    // Saves the placement shortly after the user moved or resized the window or a column.
    std::unique_ptr<TPlaceSaver> m_placeSaver;
    TSortArrow m_sortArrow;
    TKeyOnRelease m_deleteKey{Qt::Key_Delete};
};
