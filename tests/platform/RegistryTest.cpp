#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QProcess>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace {

using Names = std::vector<std::string>;

class RegistryTest : public ::testing::Test {
protected:
    TempDir m_dir;
    std::string m_path = m_dir.file("nested/folder/registry.db");
    TRegistry m_store{m_path};
};

TEST_F(RegistryTest, TypedValuesRoundTripAndPersist) {
    const std::string withNuls("a\0b\0", 4);
    const std::string notUtf8("caf\xe9 \xff\xfe");
    const std::string bytes("\0\x01\xff", 3);
    auto check = [&](TRegistryKey& key) {
        EXPECT_EQ(key.ReadString("Text"), withNuls);
        EXPECT_EQ(key.ReadString("Empty"), "");
        EXPECT_EQ(key.ReadString("Latin1"), notUtf8);
        EXPECT_EQ(key.ReadString("Path"), "%HOME%/x");
        EXPECT_EQ(key.ValueType("Path"), TRegValueType::ExpandString);
        EXPECT_EQ(key.ReadBinary("Bytes"), bytes);
        EXPECT_EQ(key.ReadBinary("NoBytes"), "");
        EXPECT_EQ(key.ReadInteger("Minus"), -1);
        EXPECT_EQ(key.ReadInteger("Max"), 0x7fffffff);
        EXPECT_EQ(key.ReadInteger("Min"), INT32_MIN);
        EXPECT_TRUE(key.ReadBool("Yes"));
        EXPECT_FALSE(key.ReadBool("No"));
        EXPECT_EQ(key.ReadDateTime("When"), 45123.7512345);
        EXPECT_EQ(key.ReadDateTime("Before"), -1.5);
        // A date-time is the little-endian double, stored as binary.
        EXPECT_EQ(key.ReadBinary("One"), std::string("\0\0\0\0\0\0\xf0\x3f", 8));
    };
    {
        auto key = m_store.OpenKey("Software\\Brightmoor\\Tallyglass", true);
        ASSERT_TRUE(key);
        key->WriteString("Text", withNuls);
        key->WriteString("Empty", "");
        key->WriteString("Latin1", notUtf8);
        key->WriteExpandString("Path", "%HOME%/x");
        key->WriteBinary("Bytes", bytes);
        key->WriteBinary("NoBytes", "");
        key->WriteInteger("Minus", -1);
        key->WriteInteger("Max", 0x7fffffff);
        key->WriteInteger("Min", INT32_MIN);
        key->WriteBool("Yes", true);
        key->WriteBool("No", false);
        key->WriteDateTime("When", 45123.7512345);
        key->WriteDateTime("Before", -1.5);
        key->WriteDateTime("One", 1.0);
        check(*key); // pending
        key->Close();
        check(*key); // committed
    }
    TRegistry reopened(m_path);
    auto key = reopened.OpenKey("Software\\Brightmoor\\Tallyglass", false);
    ASSERT_TRUE(key);
    check(*key);
    struct stat st {};
    ASSERT_EQ(stat(m_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryTest, MissingOrMistypedValuesThrow) {
    auto key = m_store.OpenKey("K", true);
    key->WriteString("Str", "5");
    key->WriteInteger("Int", 5);
    key->WriteBinary("Seven", std::string(7, '\0'));
    key->Close();
    EXPECT_THROW(key->ReadInteger("Str"), ERegistryError);
    EXPECT_THROW(key->ReadBool("Str"), ERegistryError);
    EXPECT_THROW(key->ReadString("Int"), ERegistryError);
    EXPECT_THROW(key->ReadBinary("Int"), ERegistryError);
    EXPECT_THROW(key->ReadString("Seven"), ERegistryError);
    EXPECT_THROW(key->ReadDateTime("Seven"), ERegistryError);
    EXPECT_THROW(key->ReadDateTime("Str"), ERegistryError);
    EXPECT_THROW(key->ReadString("Missing"), ERegistryError);
    EXPECT_EQ(key->ValueType("Missing"), std::nullopt);
    // A value may change its type when overwritten.
    key->WriteString("Int", "now text");
    EXPECT_THROW(key->ReadInteger("Int"), ERegistryError);
    EXPECT_EQ(key->ReadString("Int"), "now text");
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith) {
    m_store.OpenKey("Software\\Brightmoor", true)->WriteInteger("Period", 1);
    {
        auto key = m_store.OpenKey("SOFTWARE\\brightmoor", false);
        ASSERT_TRUE(key);
        EXPECT_EQ(key->Path(), "Software\\Brightmoor");
        key->WriteInteger("PERIOD", 2);
        key->WriteString("Ärger", "umlaut");
        key->WriteString("A\xff", "ascii-folded");
        key->WriteString("\xfe", "distinct");
    }
    m_store.OpenKey("software\\BRIGHTMOOR\\Sub", true);
    auto key = m_store.OpenKey("software\\BRIGHTMOOR", false);
    EXPECT_EQ(key->ValueNames(), (Names{"Period", "Ärger", "A\xff", "\xfe"}));
    EXPECT_EQ(key->ReadInteger("period"), 2);
    EXPECT_EQ(key->ReadString("äRGER"), "umlaut");
    EXPECT_EQ(key->ReadString("a\xff"), "ascii-folded");
    EXPECT_FALSE(key->ValueExists("\xff"));
    EXPECT_EQ(m_store.OpenKey("software", false)->SubKeyNames(), Names{"Brightmoor"});
}

TEST_F(RegistryTest, SubkeysSortByNameAndValuesKeepCreationOrder) {
    for (const char* name : {"beta", "Delta", "alpha", "Çedille", "Charlie"})
        m_store.OpenKey(std::string("Root\\") + name, true);
    EXPECT_EQ(m_store.OpenKey("Root", false)->SubKeyNames(), (Names{"alpha", "beta", "Charlie", "Delta", "Çedille"}));

    auto key = m_store.OpenKey("Root", false);
    key->WriteInteger("z", 1);
    key->WriteString("A", "a");
    key->WriteBinary("m", "b");
    key->Close();
    key->WriteString("Z", "overwritten in place"); // keeps its place (and its case)
    EXPECT_TRUE(key->DeleteValue("A"));
    EXPECT_FALSE(key->DeleteValue("a"));
    key->WriteInteger("a", 5); // re-created: goes last
    key->WriteString("new", "n");
    const Names expected{"z", "m", "a", "new"};
    EXPECT_EQ(key->ValueNames(), expected);
    key->Close();
    EXPECT_EQ(key->ValueNames(), expected);
    EXPECT_EQ(key->ReadString("z"), "overwritten in place");
}

TEST_F(RegistryTest, OpenCreateAndDeleteKeys) {
    EXPECT_EQ(m_store.OpenKey("A\\B", false), nullptr);
    EXPECT_FALSE(m_store.KeyExists("A"));
    EXPECT_EQ(m_store.OpenKey("\\A\\\\B\\C\\", true)->Path(), "A\\B\\C");
    EXPECT_TRUE(m_store.KeyExists("a\\b\\"));
    m_store.OpenKey("A\\B\\C", false)->WriteString("v", "1");
    m_store.OpenKey("A\\Sibling", true)->WriteString("v", "2");
    EXPECT_TRUE(m_store.OpenKey("A", false)->HasSubKeys());
    EXPECT_FALSE(m_store.OpenKey("A\\B\\C", false)->HasSubKeys());

    // The root always exists and holds values like any key.
    auto root = m_store.OpenKey("", false);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->SubKeyNames(), Names{"A"});
    root->WriteString("Top", "t");
    root->Close();
    EXPECT_EQ(m_store.Dump().front(), "\tTop\tREG_SZ\tt");
    EXPECT_THROW(m_store.DeleteKey("\\"), ERegistryError);

    EXPECT_TRUE(m_store.DeleteKey("a\\B"));
    EXPECT_FALSE(m_store.KeyExists("A\\B\\C"));
    EXPECT_FALSE(m_store.DeleteKey("A\\B"));
    EXPECT_EQ(m_store.OpenKey("A", false)->SubKeyNames(), Names{"Sibling"});
    // A key created again starts empty.
    EXPECT_TRUE(m_store.OpenKey("A\\B\\C", true)->ValueNames().empty());
}

TEST_F(RegistryTest, PendingWritesStayInTheirKeyUntilClose) {
    m_store.OpenKey("State", true)->WriteString("Old", "1");
    TRegistry otherConnection(m_path);
    auto writer = m_store.OpenKey("State", false);
    auto reader = m_store.OpenKey("State", false);
    writer->WriteString("New", "2");
    EXPECT_TRUE(writer->DeleteValue("Old"));
    EXPECT_FALSE(writer->ValueExists("Old"));
    EXPECT_THROW(writer->ReadString("old"), ERegistryError);
    EXPECT_EQ(writer->ValueNames(), Names{"New"});
    EXPECT_EQ(reader->ValueNames(), Names{"Old"});
    EXPECT_FALSE(otherConnection.OpenKey("State", false)->ValueExists("New"));
    writer->Close();
    EXPECT_EQ(reader->ValueNames(), Names{"New"});
    EXPECT_EQ(otherConnection.OpenKey("State", false)->ReadString("New"), "2");
    // A key dropped without Close() commits too.
    otherConnection.OpenKey("State", false)->WriteInteger("Dropped", 7);
    EXPECT_EQ(reader->ReadInteger("Dropped"), 7);
}

// A preloaded key answers from the values it found, in any letter case, under its own writes.
// A value of a type the store does not know spoils only its own read, as without the preload.
TEST_F(RegistryTest, APreloadedKeyAnswersFromItsPictureUnderItsOwnWrites) {
    {
        auto key = m_store.OpenKey("State", true);
        key->WriteString("Name", "n");
        key->WriteInteger("Count", 3);
        key->WriteString("Broken", "x");
    }
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(m_path.c_str(), &raw), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(raw, "UPDATE vals SET type = 9 WHERE CAST(name AS TEXT) = 'Broken'", nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
        sqlite3_close(raw);
    }
    auto key = m_store.OpenKey("State", false);
    key->Preload();
    EXPECT_EQ(key->ReadString("NAME"), "n");
    EXPECT_EQ(key->ReadInteger("count"), 3);
    EXPECT_THROW(key->ReadString("Broken"), ERegistryError);
    key->WriteInteger("Count", 4);
    EXPECT_EQ(key->ReadInteger("Count"), 4);
    EXPECT_FALSE(key->ValueExists("Missing"));
}

TEST_F(RegistryTest, CommitToAKeyDeletedMeanwhileFailsWithoutRevivingIt) {
    auto key = m_store.OpenKey("Alert", true);
    key->WriteString("State", "x");
    EXPECT_TRUE(m_store.DeleteKey("Alert"));
    EXPECT_THROW(key->Close(), ERegistryError);
    EXPECT_FALSE(m_store.KeyExists("Alert"));
    // Also when a new key of the same name took its place.
    key = m_store.OpenKey("Alert", true);
    key->WriteString("State", "x");
    m_store.DeleteKey("Alert");
    auto replacement = m_store.OpenKey("ALERT", true);
    EXPECT_THROW(key->Close(), ERegistryError);
    EXPECT_TRUE(replacement->ValueNames().empty());
}

TEST_F(RegistryTest, DumpListsTheSubtreeDepthFirst) {
    {
        auto opa = m_store.OpenKey("Software\\Brightmoor\\OPA", true);
        opa->WriteString("Name", "Operator A");
        opa->WriteInteger("Period", -1);
        opa->WriteBinary("Blob", std::string("\x01\x00\xff", 3));
    }
    m_store.OpenKey("Software\\Brightmoor\\b", true)->WriteInteger("X", 1);
    m_store.OpenKey("Software\\Brightmoor", false)->WriteExpandString("Top", "t");
    m_store.OpenKey("Software\\Other", true)->WriteString("Y", "y");
    EXPECT_EQ(m_store.Dump("software\\BRIGHTMOOR"), (Names{
                                                        "Software\\Brightmoor\tTop\tREG_EXPAND_SZ\tt",
                                                        "Software\\Brightmoor\\b\tX\tREG_DWORD\t1",
                                                        "Software\\Brightmoor\\OPA\tName\tREG_SZ\tOperator A",
                                                        "Software\\Brightmoor\\OPA\tPeriod\tREG_DWORD\t4294967295",
                                                        "Software\\Brightmoor\\OPA\tBlob\tREG_BINARY\t0100ff",
                                                    }));
    EXPECT_EQ(m_store.Dump().size(), 6u);
    EXPECT_TRUE(m_store.Dump("Software\\Missing").empty());
}

// A damaged store whose keys run in a circle (the root made a child of its grandchild) passes SQLite's
// own checks. Every walk of the tree stops with an error instead of running on, and the store no
// longer opens.
TEST_F(RegistryTest, KeysFormingACircleStopEveryWalkOfTheTree) {
    m_store.OpenKey("A\\B", true)->WriteString("V", "v");
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(m_path.c_str(), &raw), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(raw,
                               "UPDATE keys SET parent = (SELECT id FROM keys WHERE CAST(name AS TEXT) = 'B') "
                               "WHERE id = 1",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(raw);
    }
    EXPECT_THROW(m_store.Dump(), ERegistryError);
    EXPECT_THROW(m_store.Dump("a"), ERegistryError);
    EXPECT_THROW(m_store.DeleteKey("A"), ERegistryError);
    EXPECT_EQ(m_store.OpenKey("A\\B", false)->ReadString("V"), "v");
    EXPECT_THROW(TRegistry{m_path}, ERegistryError);

    // A sound tree never gets that deep: keys nest at most 512 levels.
    std::string deep = "k";
    for (int level = 1; level < 513; ++level)
        deep += "\\k";
    EXPECT_THROW(m_store.OpenKey(deep, true), ERegistryError);
    deep.resize(deep.size() - 2);
    EXPECT_NO_THROW(m_store.OpenKey(deep, true));
}

TEST(RegistryFile, DamagedForeignOrUnusableFilesThrow) {
    TempDir dir;
    WriteFileBytes(dir.file("garbage.db"), std::string(8192, 'x'));
    EXPECT_THROW(TRegistry(dir.file("garbage.db")), ERegistryError);
    EXPECT_THROW(TRegistry(dir.path()), ERegistryError);

    const std::string path = dir.file("store.db");
    {
        TRegistry store(path);
        auto key = store.OpenKey("Big", true);
        for (int i = 0; i < 2000; ++i)
            key->WriteString("value" + std::to_string(i), std::string(40, 'v'));
    }
    const std::string good = ReadFileBytes(path);
    ASSERT_GT(good.size(), 4u * 4096);
    std::string foreign = good;
    foreign[68] ^= 0x5a; // the header's application id
    WriteFileBytes(path, foreign);
    EXPECT_THROW(TRegistry{path}, ERegistryError);
    std::string damaged = good;
    for (std::size_t i = 4096; i < 3 * 4096; ++i)
        damaged[i] = static_cast<char>(i * 7);
    WriteFileBytes(path, damaged);
    EXPECT_THROW(TRegistry{path}, ERegistryError);
}

TEST(RegistryInstance, FollowsTheConfigFolderOrTheStoreDirectory) {
    static TempDir dir; // outlives the process-wide store
    const std::string storePath = dir.file("state/registry.db");
    if (TRegistry::DefaultFilePath() != storePath) { // not yet moved by an earlier repetition
        setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
        EXPECT_EQ(TRegistry::DefaultFilePath(), dir.path() + "/tallyglass/registry.db");
        unsetenv("XDG_CONFIG_HOME");
        TRegistry::SetStoreDirectory(dir.file("state"));
    }
    EXPECT_EQ(TRegistry::DefaultFilePath(), storePath);

    std::vector<TRegistry*> seen(4);
    std::vector<std::thread> threads;
    for (auto& slot : seen)
        threads.emplace_back([&slot] { slot = &TRegistry::Instance(); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(std::set<TRegistry*>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(seen[0]->FilePath(), storePath);
    EXPECT_THROW(TRegistry::SetStoreDirectory(dir.file("elsewhere")), ERegistryError);
    EXPECT_EQ(&TRegistry::Instance(), seen[0]);
}

// 8 threads write 1,000 values each, every value through its own opened key; half the writes go to
// keys all threads share. With `shared`, the threads share one Registry, else each opens its own
// connection and they contend through SQLite's locks.
void writeFromThreads(const std::string& path, bool shared) {
    constexpr int kThreads = 8;
    constexpr int kValues = 1000;
    auto keyPath = [](int thread, int i) {
        return i % 2 == 0 ? "Stress\\Shared" + std::to_string(i % 6) : "Stress\\Thread" + std::to_string(thread);
    };
    auto valueName = [](int thread, int i) { return "t" + std::to_string(thread) + "v" + std::to_string(i); };

    std::optional<TRegistry> sharedStore;
    if (shared)
        sharedStore.emplace(path);
    std::atomic<int> failures{0};
    std::mutex errorMutex;
    std::string firstError;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            try {
                std::optional<TRegistry> own;
                if (!shared)
                    own.emplace(path);
                TRegistry& store = shared ? *sharedStore : *own;
                for (int i = 0; i < kValues; ++i) {
                    auto key = store.OpenKey(keyPath(t, i), true);
                    key->WriteInteger(valueName(t, i), i);
                    key->Close();
                }
            } catch (const std::exception& e) {
                ++failures;
                std::lock_guard lock(errorMutex);
                firstError = e.what();
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    ASSERT_EQ(failures.load(), 0) << firstError;

    TRegistry check(path);
    EXPECT_EQ(check.Dump("Stress").size(), static_cast<std::size_t>(kThreads * kValues));
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kValues; ++i) {
            auto key = check.OpenKey(keyPath(t, i), false);
            ASSERT_TRUE(key);
            ASSERT_EQ(key->ReadInteger(valueName(t, i)), i);
        }
    }
}

TEST(RegistryStress, ThreadsSharingOneStoreLoseNoWrite) {
    TempDir dir;
    writeFromThreads(dir.file("registry.db"), true);
}

TEST(RegistryStress, ThreadsWithTheirOwnConnectionsLoseNoWrite) {
    TempDir dir;
    writeFromThreads(dir.file("registry.db"), false);
}

// The child commits keys of five values each and reports every committed one; it is killed at some
// point of its work. Each round checks that all reported keys are whole and no key is half written.
TEST(RegistryStress, KilledWriterLeavesOnlyWholeRecords) {
    TempDir dir;
    const std::string path = dir.file("registry.db");
    std::set<long> reported;
    std::mt19937 random{std::random_device{}()};
    for (int round = 0; round < 6; ++round) {
        QProcess child;
        const long first = reported.empty() ? 0 : *reported.rbegin() + 1;
        child.start(QString::fromStdString(BinPath("registry_crash_child")),
                    {QString::fromStdString(path), QString::number(first)});
        ASSERT_TRUE(child.waitForStarted());
        auto takeLines = [&] {
            while (child.canReadLine())
                reported.insert(child.readLine().trimmed().toLong());
        };
        const std::size_t target = reported.size() + 100 + 30 * round;
        while (reported.size() < target && child.waitForReadyRead(20000))
            takeLines();
        ASSERT_GE(reported.size(), target) << child.readAllStandardError().toStdString();
        // The child is just past a report here; a random pause lets the kill land anywhere in a record.
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution(0, 3000)(random)));
        child.kill();
        child.waitForFinished();
        EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
        takeLines();

        TRegistry store(path);
        for (const long n : reported) {
            const std::string number = std::to_string(n);
            auto key = store.OpenKey("Crash\\Key" + number, false);
            ASSERT_TRUE(key) << n;
            EXPECT_EQ(key->ReadString("Name"), "key " + number);
            EXPECT_EQ(key->ReadInteger("Number"), n);
            EXPECT_EQ(key->ReadBinary("Blob"), std::string(256, static_cast<char>(n & 0xff)));
            EXPECT_EQ(key->ReadDateTime("When"), static_cast<double>(n) + 0.5);
            EXPECT_EQ(key->ReadString("Tail"), number);
        }
        for (const std::string& name : store.OpenKey("Crash", false)->SubKeyNames()) {
            const std::size_t values = store.OpenKey("Crash\\" + name, false)->ValueNames().size();
            EXPECT_TRUE(values == 0 || values == 5) << name << " has " << values << " values";
        }
    }
}

} // namespace
