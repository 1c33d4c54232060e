// The main form's currency rates windows and their items in the tray menu.
#include "app/ui/MainForm.h"
#include "currency/CurrencyRatesList.h"
#include "currency/ui/CurrencyRatesWindow.h"

#include <QAction>
#include <QMenu>

#include <algorithm>

// The open windows in the order they were made, each with its tray item; and what the windows
// need of the form.
class TfmMain::TCurrencyWindows : public ICurrencyRatesOwner {
public:
    explicit TCurrencyWindows(TfmMain& form) : m_form(form) {}

    struct TEntry {
        std::unique_ptr<TfmCurrencyRatesList> Window;
        QAction* Item = nullptr;
    };
    std::vector<TEntry> Entries;

    TEntry* Find(const TCurrencyList& list) {
        const auto it = std::find_if(Entries.begin(), Entries.end(),
                                     [&list](const TEntry& entry) { return &entry.Window->List() == &list; });
        return it == Entries.end() ? nullptr : &*it;
    }

    void ShowBalloon(const std::string& title, const std::string& text, int timeoutMs) override {
        m_form.ShowBalloon(title, text, timeoutMs);
    }
    void CurrencyWindowShown(TCurrencyList& list, bool visible) override {
        if (TEntry* entry = Find(list))
            entry->Item->setChecked(visible);
    }

private:
    TfmMain& m_form;
};

void TfmMain::TCurrencyWindowsDeleter::operator()(TCurrencyWindows* windows) const {
    std::default_delete<TCurrencyWindows>()(windows);
}

void TfmMain::OpenCurrencyWindows() {
    for (const auto& list : m_currencyLists)
        if (list->Active)
            CreateCurrencyWindow(list);
}

void TfmMain::CreateCurrencyWindow(const std::shared_ptr<TCurrencyList>& list) {
    if (!m_currencyWindows)
        m_currencyWindows.reset(new TCurrencyWindows(*this));
    if (m_currencyWindows->Find(*list) != nullptr)
        return;
    const TTranslateFn translate = [this](const std::string& section, const std::string& key) {
        return Translator.GetValue(section, key);
    };
    // The window centres itself on this form, then takes its stored place and visibility.
    auto window = std::make_unique<TfmCurrencyRatesList>(list, *m_currencyWindows, SharedLog, translate, this);
    QMenu* submenu = miCurrencyRatesWindows->menu();
    // An ampersand of the name is shown as such, not taken for a shortcut mark.
    QAction* item = submenu->addAction(QString::fromStdString(list->ListName).replace(u'&', QStringLiteral("&&")));
    item->setCheckable(true);
    item->setChecked(window->WindowVisible());
    TfmCurrencyRatesList* shown = window.get();
    // Choosing the item has already moved its check mark.
    connect(item, &QAction::triggered, shown, [shown](bool checked) { shown->ShowOrHide(checked); });
    m_currencyWindows->Entries.push_back({std::move(window), item});
    miEmpty->setVisible(false);
}

void TfmMain::DestroyCurrencyWindow(const TCurrencyList& list) {
    if (!m_currencyWindows)
        return;
    auto& entries = m_currencyWindows->Entries;
    const auto it = std::find_if(entries.begin(), entries.end(), [&list](const TCurrencyWindows::TEntry& entry) {
        return &entry.Window->List() == &list;
    });
    if (it == entries.end())
        return;
    it->Window->SavePlacement();
    // Out of the list before it goes: its going waits for its update, serving events meanwhile.
    TCurrencyWindows::TEntry entry = std::move(*it);
    entries.erase(it);
    miCurrencyRatesWindows->menu()->removeAction(entry.Item);
    entry.Item->deleteLater();
    miEmpty->setVisible(entries.empty());
    entry.Window.reset();
}

void TfmMain::CloseCurrencyWindows() {
    if (!m_currencyWindows)
        return;
    while (!m_currencyWindows->Entries.empty())
        DestroyCurrencyWindow(m_currencyWindows->Entries.front().Window->List());
}

TfmCurrencyRatesList* TfmMain::CurrencyWindow(const TCurrencyList& list) const {
    TCurrencyWindows::TEntry* entry = m_currencyWindows ? m_currencyWindows->Find(list) : nullptr;
    return entry != nullptr ? entry->Window.get() : nullptr;
}

QAction* TfmMain::CurrencyWindowItem(const TCurrencyList& list) const {
    TCurrencyWindows::TEntry* entry = m_currencyWindows ? m_currencyWindows->Find(list) : nullptr;
    return entry != nullptr ? entry->Item : nullptr;
}

int TfmMain::CurrencyWindowCount() const {
    return m_currencyWindows ? static_cast<int>(m_currencyWindows->Entries.size()) : 0;
}
