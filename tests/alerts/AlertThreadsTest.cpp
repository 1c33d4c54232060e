#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

// Check threads set and save balances while the user-interface thread reads and edits the same
// alerts. Run under ThreadSanitizer as well: it reports any unguarded access.
TEST(AlertThreads, ReadersNeverSeeHalfAnUpdateAndSavesKeepTheLatestPicture) {
    constexpr int kAlerts = 4;
    constexpr int kUpdates = 2000;
    constexpr int kSaveEvery = 100;

    TempDir dir;
    TRegistry store(dir.file("registry.db"));
    TAlertItems list;
    list.RegistryRoot = "Software\\Brightmoor\\Tallyglass";
    list.StateKey = Md5Hex("password");
    list.Store = &store;
    for (int i = 0; i < kAlerts; ++i) {
        auto alert = std::make_unique<TAlertItem>(&list);
        alert->unique_id = "A" + std::to_string(i);
        list.AddAlert(std::move(alert));
    }

    std::atomic<int> writersLeft{kAlerts};
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    // One check thread per alert: balances 1, 2, 3, ... with a save now and then.
    for (int i = 0; i < kAlerts; ++i) {
        threads.emplace_back([&, i] {
            TAlertItem& alert = list.Item(i);
            for (int value = 1; value <= kUpdates; ++value) {
                alert.SetBalance(value);
                if (value % kSaveEvery == 0)
                    list.SaveState(alert);
            }
            --writersLeft;
        });
    }
    // Readers: a pair is either nothing yet, the first balance alone, or two consecutive balances;
    // and no reader ever sees a balance go back.
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            std::vector<std::int32_t> seen(kAlerts, NoBalance);
            while (writersLeft.load() > 0) {
                for (int i = 0; i < kAlerts; ++i) {
                    const TBalances b = list.Item(i).Balances();
                    const bool whole = b.CurrentBalance == NoBalance || b.CurrentBalance == 1
                                           ? b.LastBalance == NoBalance
                                           : b.LastBalance == b.CurrentBalance - 1;
                    if (!whole || (seen[i] != NoBalance && b.CurrentBalance < seen[i]))
                        ++torn;
                    seen[i] = b.CurrentBalance;
                    (void)list.Item(i).BalanceChanged();
                }
            }
        });
    }
    // The user-interface thread renames and saves while the checks run.
    threads.emplace_back([&] {
        for (int n = 0; writersLeft.load() > 0; ++n) {
            TAlertItem& alert = list.Item(n % kAlerts);
            {
                const auto lock = alert.Lock();
                alert.Name = "Alert " + std::to_string(n);
            }
            list.SaveState(alert);
        }
    });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(torn.load(), 0);

    // Whatever order the savers ran in, the store ends with each alert's latest pair.
    for (int i = 0; i < kAlerts; ++i)
        list.SaveState(list.Item(i));
    TAlertItems reloaded;
    reloaded.RegistryRoot = list.RegistryRoot;
    reloaded.StateKey = list.StateKey;
    reloaded.Store = &store;
    for (int i = 0; i < kAlerts; ++i) {
        auto alert = std::make_unique<TAlertItem>(&reloaded);
        alert->unique_id = "A" + std::to_string(i);
        TAlertItem& back = *reloaded.AddAlert(std::move(alert));
        EXPECT_EQ(back.Balances(), (TBalances{kUpdates - 1, kUpdates}));
        EXPECT_EQ(back.Name, list.Item(i).Name);
    }
}
