#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <set>

// Alerts, their stored state and custom alerts, against a real store file in a temporary folder.
namespace {

const char* const kRoot = "Software\\Brightmoor\\Tallyglass";
const std::string kPassword = Md5Hex("program password");

// One millisecond, in days.
constexpr TDateTime kMs = 1.0 / 86400000.0;

class AlertState : public ::testing::Test {
protected:
    TempDir m_dir;
    TRegistry m_store{m_dir.file("registry.db")};

    std::unique_ptr<TAlertItems> makeList(const std::string& listName = "Operators") {
        auto list = std::make_unique<TAlertItems>();
        list->RegistryRoot = kRoot;
        list->StateKey = kPassword;
        list->Store = &m_store;
        list->ListName = listName;
        list->list_name = listName;
        return list;
    }

    static TAlertItem* add(TAlertItems& list, const std::string& id, const std::string& group = "G") {
        auto alert = std::make_unique<TAlertItem>(&list);
        alert->Name = id + " name";
        alert->unique_id = id;
        alert->group_name = group;
        return list.AddAlert(std::move(alert));
    }

    std::unique_ptr<TRegistryKey> key(const std::string& sub, bool create = false) {
        return m_store.OpenKey(std::string(kRoot) + "\\" + sub, create);
    }

    // Writes an encrypted definition file; returns its path.
    std::string writeDefinition(const std::string& folder, const std::string& file, const std::string& text) {
        std::filesystem::create_directories(folder);
        const std::string path = folder + file;
        WriteFileBytes(path, EncryptBytes(kDefinitionPassphrase, text));
        return path;
    }

    // From now on the store refuses every change, as a read-only or full file system would (file
    // modes would not stop the tests when they run as root).
    void refuseWrites() {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(m_dir.file("registry.db").c_str(), &db), SQLITE_OK);
        for (const char* table : {"keys", "vals"}) {
            for (const char* change : {"INSERT", "UPDATE", "DELETE"}) {
                const std::string sql = std::string("CREATE TRIGGER refuse_") + change + "_" + table + " BEFORE " +
                                        change + " ON " + table + " BEGIN SELECT RAISE(ABORT, 'read-only'); END;";
                EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
            }
        }
        sqlite3_close(db);
    }

    std::unique_ptr<TAlertItems> loadFile(const std::string& path) {
        auto list = makeList(std::string());
        list->FileName = path;
        list->LoadFromFile();
        return list;
    }
};

const char* const kDefinition = "[COMMON]\n"
                                "list_name=Operators\n"
                                "\n"
                                "[Operator A]\n"
                                "unique_id=OPA\n"
                                "group_name=A\n"
                                "need_auth=no\n"
                                "page_url=https://a.example/\n"
                                "chunks=OPA_STEPS\n"
                                "\n"
                                "{OPA_STEPS}\n"
                                "chunk_begin\n"
                                "chunk_url=https://a.example/step\n"
                                "chunk_method=POST\n"
                                "chunk_end\n"
                                "\n"
                                "[Operator B]\n"
                                "unique_id=OPB\n"
                                "group_name=B\n";

} // namespace

TEST_F(AlertState, FreshAlertHasTheDefaultsAndIsDueOneHourAfterStartUp) {
    auto list = makeList();
    const TDateTime before = Now();
    auto fresh = std::make_unique<TAlertItem>(list.get());
    fresh->unique_id = "NEW";
    fresh->NeedAuth = false; // as the file set it
    TAlertItem& alert = *list->AddAlert(std::move(fresh));
    const TDateTime after = Now();

    EXPECT_FALSE(alert.Active);
    EXPECT_EQ(alert.Period, 1);
    EXPECT_EQ(alert.PeriodType, TPeriodType::hours);
    EXPECT_FALSE(alert.NeedAuth);
    EXPECT_EQ(alert.Balances(), (TBalances{NoBalance, NoBalance}));
    EXPECT_TRUE(alert.PageLogin.empty() && alert.PagePassword.empty() && alert.InfoValues.empty());
    EXPECT_GE(alert.LastCheckedTime, before);
    EXPECT_LE(alert.LastCheckedTime, after);
    EXPECT_EQ(alert.IntervalSeconds(), 3600);
    EXPECT_FALSE(alert.IsDue(alert.LastCheckedTime + 3600 * 1000 * kMs - kMs));
    EXPECT_TRUE(alert.IsDue(alert.LastCheckedTime + 3600 * 1000 * kMs));
    EXPECT_FALSE(alert.IsDue());
    EXPECT_FALSE(m_store.KeyExists(std::string(kRoot) + "\\NEW")); // loading creates nothing
}

TEST_F(AlertState, IntervalsUseTheWholeElapsedTime) {
    TAlertItem alert;
    alert.LastCheckedTime = EncodeDateTime(2024, 3, 1, 12, 0, 0, 0);
    alert.PeriodType = TPeriodType::days;
    EXPECT_FALSE(alert.IsDue(alert.LastCheckedTime + 1.0 - kMs));
    EXPECT_TRUE(alert.IsDue(alert.LastCheckedTime + 1.0));
    alert.Period = 2;
    EXPECT_FALSE(alert.IsDue(alert.LastCheckedTime + 1.5)); // the days count, not only the time of day
    EXPECT_TRUE(alert.IsDue(alert.LastCheckedTime + 2.0));
    alert.Period = 999;
    EXPECT_EQ(alert.IntervalSeconds(), 86313600);
    EXPECT_DOUBLE_EQ(alert.NextCheckTime(), alert.LastCheckedTime + 999.0);

    alert.PeriodType = TPeriodType::hours;
    alert.Period = 2;
    EXPECT_TRUE(alert.IsDue(alert.LastCheckedTime + 25.0 / 24.0)); // program started a day later
    alert.PeriodType = static_cast<TPeriodType>(7);
    EXPECT_EQ(alert.IntervalSeconds(), 120); // an unknown unit is a minute
    alert.PeriodType = TPeriodType::minutes;
    alert.Period = 5;
    EXPECT_EQ(alert.IntervalSeconds(), 300);
    // A stored time that is no time, or more than one interval ahead (the clock was set back), is due.
    alert.PeriodType = TPeriodType::hours;
    alert.Period = 2;
    const TDateTime now = alert.LastCheckedTime;
    for (const TDateTime stored : {std::nan(""), HUGE_VAL, -HUGE_VAL, now + 2.0 / 24.0 + kMs, now + 30.0}) {
        alert.LastCheckedTime = stored;
        EXPECT_TRUE(alert.IsDue(now)) << stored - now;
        EXPECT_EQ(alert.NextCheckTime(now), now) << stored - now; // the hint says "now", not NaN or a far date
    }
    alert.LastCheckedTime = now + 2.0 / 24.0; // one interval ahead: due when that time has come
    EXPECT_FALSE(alert.IsDue(now));
    EXPECT_TRUE(alert.IsDue(now + 4.0 / 24.0));
    EXPECT_DOUBLE_EQ(alert.NextCheckTime(now), now + 4.0 / 24.0);
    // A 32-bit product wraps: 100000 days is 8,640,000,000 s.
    alert.PeriodType = TPeriodType::days;
    alert.Period = 100000;
    EXPECT_EQ(alert.IntervalSeconds(), static_cast<std::int32_t>(8640000000LL - 2 * 4294967296LL));
}

TEST_F(AlertState, BalancesMoveAsAPair) {
    auto list = makeList();
    TAlertItem& alert = *add(*list, "OPA");
    alert.SetBalance(1200);
    EXPECT_EQ(alert.Balances(), (TBalances{NoBalance, 1200})); // no balance before: LastBalance kept
    EXPECT_FALSE(alert.BalanceChanged());
    alert.SetBalance(1500);
    list->SaveState(alert);

    auto reloaded = makeList();
    TAlertItem& back = *add(*reloaded, "OPA");
    EXPECT_EQ(back.LastBalance(), 1200);
    EXPECT_EQ(back.CurrentBalance(), 1500);
    EXPECT_TRUE(back.BalanceChanged());
    back.SetBalance(1500);
    EXPECT_EQ(back.Balances(), (TBalances{1500, 1500}));
    EXPECT_FALSE(back.BalanceChanged());
    back.SetBalance(NoBalance); // a failed check
    EXPECT_EQ(back.Balances(), (TBalances{1500, NoBalance}));
    EXPECT_TRUE(back.BalanceChanged());
}

TEST_F(AlertState, SaveWritesEveryValueInOrderAndLoadReadsThemBack) {
    auto list = makeList();
    TAlertItem& alert = *add(*list, "OPA");
    alert.Name = "My operator";
    alert.Active = true;
    alert.NeedAuth = false;
    alert.Period = 45;
    alert.PeriodType = TPeriodType::minutes;
    alert.LastCheckedTime = EncodeDateTime(2024, 5, 6, 7, 8, 9, 10);
    alert.PageLogin = "user@example";
    alert.PagePassword = "p\xc3\xa4ss word";
    alert.SetBalance(-507);
    list->SaveState(alert);

    const auto k = key("OPA");
    ASSERT_TRUE(k);
    EXPECT_EQ(k->ValueNames(),
              (std::vector<std::string>{"Name", "Active", "NeedAuth", "Period", "LastCheckedTime", "PeriodType",
                                        "PageLogin", "PagePassword", "LastBalance", "CurrentBalance", "WarnBelow",
                                        "WarnAbove", "FailuresBeforeNotice", "FailedInARow", "WarnedZone"}));
    const std::vector<TRegValueType> types = {TRegValueType::String, TRegValueType::DWord,  TRegValueType::DWord,
                                              TRegValueType::DWord,  TRegValueType::Binary, TRegValueType::DWord,
                                              TRegValueType::String, TRegValueType::String, TRegValueType::String,
                                              TRegValueType::String, TRegValueType::String, TRegValueType::String,
                                              TRegValueType::DWord,  TRegValueType::DWord,  TRegValueType::DWord};
    for (std::size_t i = 0; i < types.size(); ++i)
        EXPECT_EQ(k->ValueType(k->ValueNames()[i]), types[i]) << k->ValueNames()[i];
    EXPECT_EQ(k->ReadBinary("LastCheckedTime").size(), 8u);
    EXPECT_EQ(k->ReadInteger("PeriodType"), 0);
    EXPECT_EQ(list->DecryptText(k->ReadString("PageLogin")), "user@example");
    EXPECT_EQ(list->DecryptInt(k->ReadString("LastBalance")), NoBalance);
    EXPECT_EQ(list->DecryptInt(k->ReadString("CurrentBalance")), -507);

    auto reloaded = makeList();
    TAlertItem& back = *add(*reloaded, "OPA");
    EXPECT_EQ(back.Name, "My operator");
    EXPECT_TRUE(back.Active);
    EXPECT_FALSE(back.NeedAuth);
    EXPECT_EQ(back.Period, 45);
    EXPECT_EQ(back.PeriodType, TPeriodType::minutes);
    EXPECT_DOUBLE_EQ(back.LastCheckedTime, alert.LastCheckedTime);
    EXPECT_EQ(back.PageLogin, "user@example");
    EXPECT_EQ(back.PagePassword, "p\xc3\xa4ss word");
    EXPECT_EQ(back.Balances(), (TBalances{NoBalance, -507}));

    // Under another program password the texts are unreadable but nothing fails.
    auto other = makeList();
    other->StateKey = Md5Hex("another password");
    EXPECT_NE(add(*other, "OPA")->PageLogin, "user@example");
}

TEST_F(AlertState, LoginsAreStoredInWholeBlocksAndSurviveRepeatedSaving) {
    auto list = makeList();
    TAlertItem& alert = *add(*list, "OPA");
    list->SaveState(alert);
    // An empty text is the encryption of its terminating NUL: one block, 12 characters.
    EXPECT_EQ(key("OPA")->ReadString("PageLogin").size(), 12u);
    EXPECT_EQ(key("OPA")->ReadString("CurrentBalance").size(), 12u);
    EXPECT_TRUE(add(*makeList(), "OPA")->PageLogin.empty());

    alert.PageLogin = "12345678"; // 8 characters and the NUL: two blocks, 24 characters
    list->SaveState(alert);
    const std::string stored = key("OPA")->ReadString("PageLogin");
    EXPECT_EQ(stored.size(), 24u);
    for (int round = 0; round < 3; ++round) {
        auto again = makeList();
        TAlertItem& back = *add(*again, "OPA");
        EXPECT_EQ(back.PageLogin, "12345678");
        again->SaveState(back);
        EXPECT_EQ(key("OPA")->ReadString("PageLogin"), stored);
    }
}

TEST_F(AlertState, EncodedValues) {
    auto list = makeList();
    EXPECT_EQ(list->EncryptInt(1234).size(), 12u);
    EXPECT_EQ(list->EncryptInt(1234).back(), '=');
    for (std::int32_t value : {0, 1, -1, 1234, NoBalance, INT32_MAX, INT32_MIN})
        EXPECT_EQ(list->DecryptInt(list->EncryptInt(value)), value);
    // Little-endian bytes under the state key, padded to a block.
    EXPECT_EQ(DecryptBytes(kPassword, Base64Decode(list->EncryptInt(0x01020304))),
              std::string("\x04\x03\x02\x01\0\0\0\0", 8));
    // Stored balances too short to hold 4 bytes read as no balance.
    EXPECT_EQ(list->DecryptInt(""), NoBalance);
    EXPECT_EQ(list->DecryptInt(Base64Encode(std::string("abc"))), NoBalance);
    // A text without any NUL decrypts whole.
    EXPECT_EQ(list->DecryptText(Base64Encode(EncryptBytes(kPassword, "abcdefgh"))), "abcdefgh");
    EXPECT_EQ(list->DecryptText(list->EncryptText("x=y")), "x=y");
}

TEST_F(AlertState, LoadingStopsAtAValueOfTheWrongType) {
    {
        auto k = key("OPA", true);
        k->WriteString("Name", "Stored");
        k->WriteInteger("Active", 1);
        k->WriteString("Period", "45"); // wrong type: the loading ends here
        k->WriteInteger("NeedAuth", 0);
        k->Close();
    }
    auto list = makeList();
    TAlertItem& alert = *add(*list, "OPA");
    EXPECT_EQ(alert.Name, "Stored");
    EXPECT_TRUE(alert.Active);
    EXPECT_EQ(alert.Period, 1);
    EXPECT_TRUE(alert.NeedAuth);

    {
        auto k = key("OPB", true);
        k->WriteInteger("PeriodType", 0x102);                              // only the low byte counts
        k->WriteString("CurrentBalance", Base64Encode(std::string("ab"))); // too short: no balance
        k->WriteString("LastBalance", list->EncryptInt(700));
        k->Close();
    }
    TAlertItem& b = *add(*list, "OPB");
    EXPECT_EQ(b.PeriodType, TPeriodType::days);
    EXPECT_EQ(b.Balances(), (TBalances{700, NoBalance}));
}

TEST_F(AlertState, AddingAnAlertTwiceKeepsOneAndFindersTakeTheFirst) {
    auto list = makeList();
    TAlertItem* a = add(*list, "OPA", "G");
    a->chunks = "STEPS";
    TAlertItem* b = add(*list, "OPA", "G");
    b->chunks = "STEPS";
    std::unique_ptr<TAlertItem> again(a);
    EXPECT_EQ(list->AddAlert(std::move(again)), a);
    EXPECT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Groups.at("G"), (TAlertVec{a, b}));
    EXPECT_EQ(list->FindByUniqueId("OPA"), a);
    EXPECT_EQ(list->FindByUniqueId("opa"), nullptr);
    EXPECT_EQ(list->FindByChunksName("STEPS"), a);
    EXPECT_EQ(list->FindByChunksName("steps"), nullptr);
}

TEST_F(AlertState, CustomAlertsCopyTheDefinitionAndComeBackOnTheNextStart) {
    const std::string folder = m_dir.path() + "/BalanceAlerts/";
    const std::string file = writeDefinition(folder, "operators.bal", kDefinition);
    auto list = loadFile(file);
    ASSERT_EQ(list->Count(), 2);
    TAlertItem& base = *list->FindByUniqueId("OPA");
    base.PageLogin = "base login";
    base.Active = true;
    base.Period = 3;
    base.InfoValues["Plan"] = "Gold";
    base.SetBalance(100);

    TAlertItem* first = list->AddCustomAlert("Second account", base);
    TAlertItem* second = list->AddCustomAlert("Third account", base);
    ASSERT_NE(first, second);
    const std::regex guid(R"(OPA\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})");
    EXPECT_TRUE(std::regex_match(first->unique_id, guid)) << first->unique_id;
    EXPECT_TRUE(std::regex_match(second->unique_id, guid)) << second->unique_id;
    EXPECT_NE(first->unique_id, second->unique_id);
    EXPECT_EQ(list->Count(), 4);
    EXPECT_EQ(list->Groups.at("A"), (TAlertVec{&base, first, second}));

    // The definition is copied, chunks deeply; the user's settings of the base are not.
    EXPECT_EQ(first->Name, "Second account");
    EXPECT_EQ(first->page_url, "https://a.example/");
    EXPECT_FALSE(first->NeedAuth);
    EXPECT_EQ(first->Period, 3);
    EXPECT_EQ(first->InfoValues.at("Plan"), "Gold");
    ASSERT_EQ(first->ChunkCount(), 1);
    EXPECT_NE(&first->Chunk(0), &base.Chunk(0));
    EXPECT_TRUE(first->Chunk(0).IsPost);
    EXPECT_FALSE(first->Active);
    EXPECT_TRUE(first->PageLogin.empty());
    EXPECT_EQ(first->Balances(), (TBalances{NoBalance, NoBalance}));
    EXPECT_EQ(first->Owner, list.get());

    // Recorded and saved at once.
    const auto records = key("CustomAlerts\\Operators");
    ASSERT_TRUE(records);
    EXPECT_EQ(records->ValueNames(), (std::vector<std::string>{first->unique_id, second->unique_id}));
    EXPECT_EQ(records->ReadString(first->unique_id), "OPA");
    EXPECT_EQ(key("CustomAlerts\\Operators\\Names")->ReadString(second->unique_id), "Third account");
    EXPECT_EQ(key(first->unique_id)->ReadString("Name"), "Second account");

    // The user renames one later: its own key has the last word.
    first->Name = "Renamed";
    first->Active = true;
    list->SaveState(*first);
    const std::string firstId = first->unique_id;
    const std::string secondId = second->unique_id;

    auto next = loadFile(file);
    ASSERT_EQ(next->Count(), 4);
    TAlertItem* back = next->FindByUniqueId(firstId);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back, &next->Item(2)); // after the file's alerts, in recording order
    EXPECT_EQ(next->Item(3).unique_id, secondId);
    EXPECT_EQ(back->Name, "Renamed");
    EXPECT_TRUE(back->Active);
    EXPECT_EQ(back->ChunkCount(), 1);
    EXPECT_EQ(next->Item(3).Name, "Third account");
}

TEST_F(AlertState, CustomAlertOfARemovedDefinitionIsSkippedAndItsRecordStays) {
    {
        auto k = key("CustomAlerts\\Operators", true);
        k->WriteString("GONE{00000000-0000-0000-0000-000000000001}", "GONE");
        k->WriteString("OPB{00000000-0000-0000-0000-000000000002}", "OPB");
        k->Close();
    }
    const std::string file = writeDefinition(m_dir.path() + "/", "operators.bal", kDefinition);
    auto list = loadFile(file);
    ASSERT_EQ(list->Count(), 3);
    EXPECT_EQ(list->Item(2).unique_id, "OPB{00000000-0000-0000-0000-000000000002}");
    EXPECT_EQ(list->Item(2).Name, ""); // no recorded name
    EXPECT_EQ(key("CustomAlerts\\Operators")->ValueNames().size(), 2u);

    // A file that cannot be read still gets the custom alerts whose base it has (none here).
    auto missing = loadFile(m_dir.file("missing.bal"));
    EXPECT_EQ(missing->Count(), 0);
}

// Without an identity of its own an alert would read and write the program's own key (empty id),
// or reach into another key (a backslash in it); such alerts, and custom alerts made from them,
// keep no state.
TEST_F(AlertState, AlertsWithoutAKeyOfTheirOwnKeepNoState) {
    {
        auto program = m_store.OpenKey(kRoot, true);
        program->WriteBool("Active", true); // values of the program's own settings beside the alerts
        program->WriteString("Name", "not an alert");
        auto other = key("OPA\\Sub", true);
        other->WriteBool("Active", true);
    }
    const std::vector<std::string> stored = m_store.Dump();
    auto list = makeList();
    TAlertItem& nameless = *add(*list, "");
    TAlertItem& reaching = *add(*list, "OPA\\Sub");
    for (TAlertItem* alert : {&nameless, &reaching}) {
        EXPECT_FALSE(list->KeepsState(*alert));
        EXPECT_FALSE(alert->Active);
        EXPECT_EQ(alert->Name, alert->unique_id + " name");
        alert->Active = true;
        alert->PageLogin = "login";
        list->SaveState(*alert);
    }
    EXPECT_EQ(m_store.Dump(), stored);

    // A custom alert of the nameless one has an identity that looks like its own (a bare GUID), but
    // keeps no state either, also when it comes back at the next start.
    TAlertItem* copy = list->AddCustomAlert("Copy", nameless);
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(list->KeepsState(*copy));
    EXPECT_FALSE(key(copy->unique_id));
    copy->Active = true;
    list->SaveState(*copy);
    EXPECT_FALSE(key(copy->unique_id));
    key(copy->unique_id, true)->WriteBool("Active", true);
    auto next = makeList();
    add(*next, "");
    next->LoadCustomAlerts();
    ASSERT_EQ(next->Count(), 2);
    EXPECT_EQ(next->Item(1).unique_id, copy->unique_id);
    EXPECT_EQ(next->Item(1).Name, "Copy");
    EXPECT_FALSE(next->Item(1).Active);
    const TAlertItem* reachingCopy = list->AddCustomAlert("Reaching copy", reaching);
    ASSERT_NE(reachingCopy, nullptr);
    EXPECT_FALSE(list->KeepsState(*reachingCopy));
    EXPECT_TRUE(list->KeepsState(*add(*list, "OPB")));
}

// A custom alert is created only together with its record: one that could not be recorded would
// show for this run and be gone at the next start.
TEST_F(AlertState, CustomAlertThatCannotBeRecordedIsNotCreated) {
    auto list = makeList();
    TAlertItem& base = *add(*list, "OPA", "A");
    refuseWrites();
    EXPECT_EQ(list->AddCustomAlert("Second account", base), nullptr);
    EXPECT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Groups.at("A"), TAlertVec{&base});
    EXPECT_FALSE(key("CustomAlerts\\Operators"));
}

TEST_F(AlertState, DetachedListNeverTouchesTheStore) {
    TAlertItems list;
    list.Store = &m_store;
    list.StateKey = kPassword;
    list.FileName = writeDefinition(m_dir.path() + "/", "operators.bal", kDefinition);
    list.LoadFromFile();
    ASSERT_EQ(list.Count(), 2);
    list.SaveState(list.Item(0));
    list.AddCustomAlert("Copy", list.Item(0));
    EXPECT_TRUE(m_store.Dump().empty());
}

TEST_F(AlertState, FolderLoadingLogsTranslatesAndKeepsCustomAlertsUnderTheFilesName) {
    const std::string folder = m_dir.path() + "/BalanceAlerts/";
    writeDefinition(folder, "OPERATORS.BAL", kDefinition);
    writeDefinition(folder, "banks.bal", "[COMMON]\nlist_name=Banks\n\n[Bank]\nunique_id=BANK\n");
    writeDefinition(folder, "notes.txt", "[COMMON]\nlist_name=Notes\n\n[N]\n");
    std::filesystem::create_directory(folder + "dir.bal");
    WriteFileBytes(folder + ".bal", std::string()); // has the extension: an empty list
    const std::string logPath = m_dir.file("log.txt");
    TLogFile log;
    log.OpenLog(logPath);
    log.SetEnabled(true);

    std::vector<std::string> asked;
    const TTranslateFn translate = [&asked](const std::string& section, const std::string& key) {
        asked.push_back(section + "/" + key);
        if (section != "ALERTS")
            return std::string();
        if (key == "I.Operators")
            return std::string("Operateurs");
        if (key == "I.Operator A")
            return std::string("Operateur A");
        return std::string();
    };
    auto lists = LoadAlertFolder(folder, kRoot, kPassword, &log, translate, &m_store);
    ASSERT_EQ(lists.size(), 3u);
    // In name order, letter case ignored, the same on every machine.
    EXPECT_EQ(lists[0]->FileName, folder + ".bal");
    EXPECT_EQ(lists[1]->FileName, folder + "banks.bal");
    EXPECT_EQ(lists[2]->FileName, folder + "OPERATORS.BAL");
    std::map<std::string, TAlertItems*> byName;
    for (const auto& list : lists) {
        EXPECT_EQ(list->RegistryRoot, kRoot);
        EXPECT_EQ(list->StateKey, kPassword);
        byName[list->ListName] = list.get();
    }
    ASSERT_EQ(byName.count("Operateurs"), 1u);
    ASSERT_EQ(byName.count("Banks"), 1u);
    ASSERT_EQ(byName.count(""), 1u);
    TAlertItems& operators = *byName["Operateurs"];
    EXPECT_EQ(operators.FileName, folder + "OPERATORS.BAL");
    EXPECT_EQ(operators.list_name, "Operators");
    EXPECT_EQ(operators.Item(0).Name, "Operateur A");
    EXPECT_EQ(operators.Item(1).Name, "Operator B");
    EXPECT_NE(std::find(asked.begin(), asked.end(), "ALERTS/I.Bank"), asked.end());

    // Made while the translation is in effect, and found again without it.
    const std::string id = operators.AddCustomAlert("Mine", operators.Item(0))->unique_id;
    EXPECT_TRUE(key("CustomAlerts\\Operators"));
    EXPECT_FALSE(key("CustomAlerts\\Operateurs"));
    auto again = LoadAlertFolder(folder, kRoot, kPassword, &log, {}, &m_store);
    std::size_t total = 0;
    bool found = false;
    for (const auto& list : again) {
        total += list->Alerts.size();
        found = found || list->FindByUniqueId(id) != nullptr;
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(total, 4u);

    // A folder without definitions, and one that does not exist.
    std::filesystem::create_directory(m_dir.file("empty"));
    writeDefinition(m_dir.file("empty") + "/", "readme.txt", "[COMMON]\n");
    EXPECT_TRUE(LoadAlertFolder(m_dir.file("empty") + "/", kRoot, kPassword, &log, translate, &m_store).empty());
    EXPECT_TRUE(LoadAlertFolder(m_dir.file("none") + "/", kRoot, kPassword, nullptr, {}, &m_store).empty());
    log.CloseLog();

    const auto lines = SplitOnCrLf(ReadFileBytes(logPath));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_TRUE(lines[0].ends_with(": Loading balance alerts from '" + folder + "'...")) << lines[0];
    EXPECT_TRUE(lines[1].ends_with(": Loaded 3 balance alerts from 3 lists.")) << lines[1];
    EXPECT_TRUE(lines[3].ends_with(": Loaded 4 balance alerts from 3 lists.")) << lines[3];
    EXPECT_TRUE(lines[4].ends_with("empty/'...")) << lines[4];
    EXPECT_TRUE(lines[5].ends_with(": Loaded 0 balance alerts from 0 lists.")) << lines[5];
}
