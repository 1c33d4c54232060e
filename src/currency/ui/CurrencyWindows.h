#pragma once

#include "currency/CurrencyRatesList.h"
#include "currency/CurrencySettings.h"
#include "translate/TranslateFn.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QWidget;
class TLogFile;
class TfmCurrencyRatesList;

// The currency rates windows, one per switched-on list, in the order they were made, each with its
// item in the tray's "Currency Rates Windows" submenu; the submenu's "(empty)" item shows while
// there is none.
class TCurrencyWindows final : public ICurrencyRatesOwner, public ICurrencyWindowHost {
public:
    using TBalloonFn = std::function<void(const std::string& title, const std::string& text, int timeoutMs)>;

    // The windows centre themselves on `parent`; `submenu` and `emptyItem` belong to the tray menu.
    TCurrencyWindows(QWidget* parent, QMenu* submenu, QAction* emptyItem, std::shared_ptr<TLogFile> log,
                     TTranslateFn translate, TBalloonFn showBalloon);
    ~TCurrencyWindows() override;
    TCurrencyWindows(const TCurrencyWindows&) = delete;
    TCurrencyWindows& operator=(const TCurrencyWindows&) = delete;

    // A window for every active list.
    void OpenCurrencyWindows(const std::vector<std::shared_ptr<TCurrencyList>>& lists);
    // At exit: every window saves its placement and goes.
    void CloseCurrencyWindows();

    TfmCurrencyRatesList* CurrencyWindow(const TCurrencyList& list) const;
    QAction* CurrencyWindowItem(const TCurrencyList& list) const;
    int CurrencyWindowCount() const { return static_cast<int>(m_entries.size()); }

    // ICurrencyWindowHost: what applying the Currency Rates tab does to the windows.
    bool HasCurrencyWindow(const TCurrencyList& list) const override { return CurrencyWindow(list) != nullptr; }
    void CreateCurrencyWindow(const std::shared_ptr<TCurrencyList>& list) override;
    void RebuildCurrencyWindow(const TCurrencyList& list) override;
    void DestroyCurrencyWindow(const TCurrencyList& list) override;

    // ICurrencyRatesOwner: what the windows need of the program.
    void ShowBalloon(const std::string& title, const std::string& text, int timeoutMs) override;
    void CurrencyWindowShown(TCurrencyList& list, bool visible) override;
    void CurrencyHidden(TCurrencyObject& currency) override;
    void RatesUpdated(std::vector<TRateRecord> rates) override;
    // Where completed updates are recorded; nullptr records nothing.
    void SetHistory(std::shared_ptr<THistory> history) { m_history = std::move(history); }
    std::shared_ptr<THistory> History() const override { return m_history; }
    // Told of every currency a window hid.
    std::function<void(TCurrencyObject&)> OnCurrencyHidden;

private:
    struct TEntry {
        std::unique_ptr<TfmCurrencyRatesList> window;
        QAction* item = nullptr;
    };
    // The list's entry, or m_entries.end().
    std::vector<TEntry>::const_iterator Find(const TCurrencyList& list) const;

    QWidget* m_parent;
    QMenu* m_submenu;
    QAction* m_emptyItem;
    std::shared_ptr<TLogFile> m_log;
    TTranslateFn m_translate;
    TBalloonFn m_showBalloon;
    std::vector<TEntry> m_entries;
    std::shared_ptr<THistory> m_history;
};
