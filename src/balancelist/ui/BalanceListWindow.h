#pragma once

#include "alerts/StateSaver.h"
#include "balancelist/BalanceList.h"
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
class TBalanceListModel;
class TLogFile;

// The Balance List window: an always-on-top tool window with one row per active alert, its
// trend, balance and status, and the timer that schedules the checks. Closing it only hides it.
// The decisions live in TBalanceList (BalanceList()); the window shows its rows and forwards the
// user's actions.
class TfmBalanceList : public QWidget {
    Q_OBJECT

public:
    TfmBalanceList(IBalanceListOwner& owner, std::shared_ptr<TLogFile> log, std::string exePath,
                   QWidget* parent = nullptr);
    ~TfmBalanceList() override;

    TBalanceList& BalanceList() { return *m_list; }
    TBalanceListModel& Model() { return *m_model; }
    // The history windows opened from the list.
    THistoryWindows& HistoryWindows() { return m_historyWindows; }

    void AddAlertRow(TAlertItem& alert) { m_list->AddAlertRow(alert); }
    void RemoveAlertRow(TAlertItem& alert) { m_list->RemoveAlertRow(alert); }
    void RenameAlertRow(TAlertItem& alert, const std::string& caption) { m_list->RenameAlertRow(alert, caption); }
    void ClearRows() { m_list->ClearRows(); }

    // The alert of the selected row, or null.
    TAlertItem* SelectedAlert() const;

    // Position, size and column widths, for the state saver.
    TBalanceListGeometry Geometry() const;
    // Applies what start-up restores; a stored position that would put the window off every
    // screen is ignored.
    void ApplyGeometry(const TWindowRestore& restore);

    // Event handlers.
    void pmListPopup(const QPoint& globalPos);
    void miCheckBalanceNowClick();
    void miDisableClick();
    void miHistoryClick();
    void lvListColumnClick(int column);
    void lvListMouseMove(const QPoint& pos);

    QTableView* lvList = nullptr;
    QMenu* pmList = nullptr;
    QAction* miCheckBalanceNow = nullptr;
    QAction* miDisable = nullptr;
    QAction* miHistory = nullptr;
    QTimer* tmCheckTimer = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ClearHint();
    // The Delete key, released: switches the selected row's alert off.
    void lvListKeyUp();

    IBalanceListOwner& m_owner;
    std::shared_ptr<TLogFile> m_log;
    THistoryWindows m_historyWindows; // before m_list: the windows go after the list's checks
    std::unique_ptr<TBalanceList> m_list;
    std::unique_ptr<TBalanceListModel> m_model; // after m_list: it goes first
    TSortArrow m_sortArrow;
    TKeyOnRelease m_deleteKey{Qt::Key_Delete};
};
