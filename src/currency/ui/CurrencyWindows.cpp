#include "currency/ui/CurrencyWindows.h"

#include "currency/ui/CurrencyRatesWindow.h"

#include <QAction>
#include <QMenu>

#include <algorithm>

TCurrencyWindows::TCurrencyWindows(QWidget* parent, QMenu* submenu, QAction* emptyItem, std::shared_ptr<TLogFile> log,
                                   TTranslateFn translate, TBalloonFn showBalloon)
    : m_parent(parent), m_submenu(submenu), m_emptyItem(emptyItem), m_log(std::move(log)),
      m_translate(std::move(translate)), m_showBalloon(std::move(showBalloon)) {}

TCurrencyWindows::~TCurrencyWindows() {
    CloseCurrencyWindows();
}

std::vector<TCurrencyWindows::TEntry>::const_iterator TCurrencyWindows::Find(const TCurrencyList& list) const {
    return std::find_if(m_entries.begin(), m_entries.end(),
                        [&list](const TEntry& entry) { return &entry.window->List() == &list; });
}

void TCurrencyWindows::OpenCurrencyWindows(const std::vector<std::shared_ptr<TCurrencyList>>& lists) {
    for (const auto& list : lists)
        if (list->Active)
            CreateCurrencyWindow(list);
}

void TCurrencyWindows::CreateCurrencyWindow(const std::shared_ptr<TCurrencyList>& list) {
    if (Find(*list) != m_entries.end())
        return;
    // The window centres itself on its parent, then takes its stored place and visibility.
    auto window = std::make_unique<TfmCurrencyRatesList>(list, *this, m_log, m_translate, m_parent);
    // An ampersand of the name is shown as such, not taken for a shortcut mark.
    QAction* item = m_submenu->addAction(QString::fromStdString(list->ListName).replace(u'&', QStringLiteral("&&")));
    item->setCheckable(true);
    item->setChecked(window->WindowVisible());
    TfmCurrencyRatesList* shown = window.get();
    // Choosing the item has already moved its check mark.
    QObject::connect(item, &QAction::triggered, shown, [shown](bool checked) { shown->ShowOrHide(checked); });
    m_entries.push_back({std::move(window), item});
    m_emptyItem->setVisible(false);
}

void TCurrencyWindows::RebuildCurrencyWindow(const TCurrencyList& list) {
    if (TfmCurrencyRatesList* window = CurrencyWindow(list))
        window->RebuildRows();
}

void TCurrencyWindows::DestroyCurrencyWindow(const TCurrencyList& list) {
    const auto it = m_entries.begin() + (Find(list) - m_entries.cbegin());
    if (it == m_entries.end())
        return;
    it->window->SavePlacement();
    // Out of the list before it goes: its going waits for its update, serving events meanwhile.
    TEntry entry = std::move(*it);
    m_entries.erase(it);
    m_submenu->removeAction(entry.item);
    entry.item->deleteLater();
    m_emptyItem->setVisible(m_entries.empty());
    entry.window.reset();
}

void TCurrencyWindows::CloseCurrencyWindows() {
    while (!m_entries.empty())
        DestroyCurrencyWindow(m_entries.front().window->List());
}

TfmCurrencyRatesList* TCurrencyWindows::CurrencyWindow(const TCurrencyList& list) const {
    const auto it = Find(list);
    return it != m_entries.end() ? it->window.get() : nullptr;
}

QAction* TCurrencyWindows::CurrencyWindowItem(const TCurrencyList& list) const {
    const auto it = Find(list);
    return it != m_entries.end() ? it->item : nullptr;
}

void TCurrencyWindows::ShowBalloon(const std::string& title, const std::string& text, int timeoutMs) {
    if (m_showBalloon)
        m_showBalloon(title, text, timeoutMs);
}

void TCurrencyWindows::CurrencyWindowShown(TCurrencyList& list, bool visible) {
    if (const auto it = Find(list); it != m_entries.end())
        it->item->setChecked(visible);
}

void TCurrencyWindows::CurrencyHidden(TCurrencyObject& currency) {
    if (OnCurrencyHidden)
        OnCurrencyHidden(currency);
}

void TCurrencyWindows::RatesUpdated(std::vector<TRateRecord> rates) {
    if (!m_history)
        return;
    // The open history windows add the new rates of their currency.
    for (const TEntry& entry : m_entries)
        entry.window->HistoryWindows().RatesAdded(rates);
    m_history->AddRates(std::move(rates));
}
