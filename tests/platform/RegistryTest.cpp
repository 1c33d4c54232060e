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
    Registry m_store{m_path};
};

TEST_F(RegistryTest, TypedValuesRoundTripAndPersist) {
    const std::string withNuls("a\0b\0", 4);
    const std::string notUtf8("caf\xe9 \xff\xfe");
    const std::string bytes("\0\x01\xff", 3);
    auto check = [&](RegistryKey& key) {
        EXPECT_EQ(key.readString("Text"), withNuls);
        EXPECT_EQ(key.readString("Empty"), "");
        EXPECT_EQ(key.readString("Latin1"), notUtf8);
        EXPECT_EQ(key.readString("Path"), "%HOME%/x");
        EXPECT_EQ(key.valueType("Path"), RegValueType::ExpandString);
        EXPECT_EQ(key.readBinary("Bytes"), bytes);
        EXPECT_EQ(key.readBinary("NoBytes"), "");
        EXPECT_EQ(key.readInteger("Minus"), -1);
        EXPECT_EQ(key.readInteger("Max"), 0x7fffffff);
        EXPECT_EQ(key.readInteger("Min"), INT32_MIN);
        EXPECT_TRUE(key.readBool("Yes"));
        EXPECT_FALSE(key.readBool("No"));
        EXPECT_EQ(key.readDateTime("When"), 45123.7512345);
        EXPECT_EQ(key.readDateTime("Before"), -1.5);
        // A date-time is the little-endian double, stored as binary.
        EXPECT_EQ(key.readBinary("One"), std::string("\0\0\0\0\0\0\xf0\x3f", 8));
    };
    {
        auto key = m_store.openKey("Software\\Brightmoor\\Tallyglass", true);
        ASSERT_TRUE(key);
        key->writeString("Text", withNuls);
        key->writeString("Empty", "");
        key->writeString("Latin1", notUtf8);
        key->writeExpandString("Path", "%HOME%/x");
        key->writeBinary("Bytes", bytes);
        key->writeBinary("NoBytes", "");
        key->writeInteger("Minus", -1);
        key->writeInteger("Max", 0x7fffffff);
        key->writeInteger("Min", INT32_MIN);
        key->writeBool("Yes", true);
        key->writeBool("No", false);
        key->writeDateTime("When", 45123.7512345);
        key->writeDateTime("Before", -1.5);
        key->writeDateTime("One", 1.0);
        check(*key); // pending
        key->close();
        check(*key); // committed
    }
    Registry reopened(m_path);
    auto key = reopened.openKey("Software\\Brightmoor\\Tallyglass", false);
    ASSERT_TRUE(key);
    check(*key);
    struct stat st {};
    ASSERT_EQ(stat(m_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryTest, MissingOrMistypedValuesThrow) {
    auto key = m_store.openKey("K", true);
    key->writeString("Str", "5");
    key->writeInteger("Int", 5);
    key->writeBinary("Seven", std::string(7, '\0'));
    key->close();
    EXPECT_THROW(key->readInteger("Str"), RegistryError);
    EXPECT_THROW(key->readBool("Str"), RegistryError);
    EXPECT_THROW(key->readString("Int"), RegistryError);
    EXPECT_THROW(key->readBinary("Int"), RegistryError);
    EXPECT_THROW(key->readString("Seven"), RegistryError);
    EXPECT_THROW(key->readDateTime("Seven"), RegistryError);
    EXPECT_THROW(key->readDateTime("Str"), RegistryError);
    EXPECT_THROW(key->readString("Missing"), RegistryError);
    EXPECT_EQ(key->valueType("Missing"), std::nullopt);
    // A value may change its type when overwritten.
    key->writeString("Int", "now text");
    EXPECT_THROW(key->readInteger("Int"), RegistryError);
    EXPECT_EQ(key->readString("Int"), "now text");
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith) {
    m_store.openKey("Software\\Brightmoor", true)->writeInteger("Period", 1);
    {
        auto key = m_store.openKey("SOFTWARE\\brightmoor", false);
        ASSERT_TRUE(key);
        EXPECT_EQ(key->path(), "Software\\Brightmoor");
        key->writeInteger("PERIOD", 2);
        key->writeString("Ärger", "umlaut");
        key->writeString("A\xff", "ascii-folded");
        key->writeString("\xfe", "distinct");
    }
    m_store.openKey("software\\BRIGHTMOOR\\Sub", true);
    auto key = m_store.openKey("software\\BRIGHTMOOR", false);
    EXPECT_EQ(key->valueNames(), (Names{"Period", "Ärger", "A\xff", "\xfe"}));
    EXPECT_EQ(key->readInteger("period"), 2);
    EXPECT_EQ(key->readString("äRGER"), "umlaut");
    EXPECT_EQ(key->readString("a\xff"), "ascii-folded");
    EXPECT_FALSE(key->valueExists("\xff"));
    EXPECT_EQ(m_store.openKey("software", false)->subKeyNames(), Names{"Brightmoor"});
}

TEST_F(RegistryTest, SubkeysSortByNameAndValuesKeepCreationOrder) {
    for (const char* name : {"beta", "Delta", "alpha", "Çedille", "Charlie"})
        m_store.openKey(std::string("Root\\") + name, true);
    EXPECT_EQ(m_store.openKey("Root", false)->subKeyNames(), (Names{"alpha", "beta", "Charlie", "Delta", "Çedille"}));

    auto key = m_store.openKey("Root", false);
    key->writeInteger("z", 1);
    key->writeString("A", "a");
    key->writeBinary("m", "b");
    key->close();
    key->writeString("Z", "overwritten in place"); // keeps its place (and its case)
    EXPECT_TRUE(key->deleteValue("A"));
    EXPECT_FALSE(key->deleteValue("a"));
    key->writeInteger("a", 5); // re-created: goes last
    key->writeString("new", "n");
    const Names expected{"z", "m", "a", "new"};
    EXPECT_EQ(key->valueNames(), expected);
    key->close();
    EXPECT_EQ(key->valueNames(), expected);
    EXPECT_EQ(key->readString("z"), "overwritten in place");
}

TEST_F(RegistryTest, OpenCreateAndDeleteKeys) {
    EXPECT_EQ(m_store.openKey("A\\B", false), nullptr);
    EXPECT_FALSE(m_store.keyExists("A"));
    EXPECT_EQ(m_store.openKey("\\A\\\\B\\C\\", true)->path(), "A\\B\\C");
    EXPECT_TRUE(m_store.keyExists("a\\b\\"));
    m_store.openKey("A\\B\\C", false)->writeString("v", "1");
    m_store.openKey("A\\Sibling", true)->writeString("v", "2");
    EXPECT_TRUE(m_store.openKey("A", false)->hasSubKeys());
    EXPECT_FALSE(m_store.openKey("A\\B\\C", false)->hasSubKeys());

    // The root always exists and holds values like any key.
    auto root = m_store.openKey("", false);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->subKeyNames(), Names{"A"});
    root->writeString("Top", "t");
    root->close();
    EXPECT_EQ(m_store.dump().front(), "\tTop\tREG_SZ\tt");
    EXPECT_THROW(m_store.deleteKey("\\"), RegistryError);

    EXPECT_TRUE(m_store.deleteKey("a\\B"));
    EXPECT_FALSE(m_store.keyExists("A\\B\\C"));
    EXPECT_FALSE(m_store.deleteKey("A\\B"));
    EXPECT_EQ(m_store.openKey("A", false)->subKeyNames(), Names{"Sibling"});
    // A key created again starts empty.
    EXPECT_TRUE(m_store.openKey("A\\B\\C", true)->valueNames().empty());
}

TEST_F(RegistryTest, PendingWritesStayInTheirKeyUntilClose) {
    m_store.openKey("State", true)->writeString("Old", "1");
    Registry otherConnection(m_path);
    auto writer = m_store.openKey("State", false);
    auto reader = m_store.openKey("State", false);
    writer->writeString("New", "2");
    EXPECT_TRUE(writer->deleteValue("Old"));
    EXPECT_FALSE(writer->valueExists("Old"));
    EXPECT_THROW(writer->readString("old"), RegistryError);
    EXPECT_EQ(writer->valueNames(), Names{"New"});
    EXPECT_EQ(reader->valueNames(), Names{"Old"});
    EXPECT_FALSE(otherConnection.openKey("State", false)->valueExists("New"));
    writer->close();
    EXPECT_EQ(reader->valueNames(), Names{"New"});
    EXPECT_EQ(otherConnection.openKey("State", false)->readString("New"), "2");
    // A key dropped without close() commits too.
    otherConnection.openKey("State", false)->writeInteger("Dropped", 7);
    EXPECT_EQ(reader->readInteger("Dropped"), 7);
}

// A preloaded key answers from the values it found, in any letter case, under its own writes.
// A value of a type the store does not know spoils only its own read, as without the preload.
TEST_F(RegistryTest, APreloadedKeyAnswersFromItsPictureUnderItsOwnWrites) {
    {
        auto key = m_store.openKey("State", true);
        key->writeString("Name", "n");
        key->writeInteger("Count", 3);
        key->writeString("Broken", "x");
    }
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(m_path.c_str(), &raw), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(raw, "UPDATE vals SET type = 9 WHERE CAST(name AS TEXT) = 'Broken'", nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
        sqlite3_close(raw);
    }
    auto key = m_store.openKey("State", false);
    key->preload();
    EXPECT_EQ(key->readString("NAME"), "n");
    EXPECT_EQ(key->readInteger("count"), 3);
    EXPECT_THROW(key->readString("Broken"), RegistryError);
    key->writeInteger("Count", 4);
    EXPECT_EQ(key->readInteger("Count"), 4);
    EXPECT_FALSE(key->valueExists("Missing"));
}

TEST_F(RegistryTest, CommitToAKeyDeletedMeanwhileFailsWithoutRevivingIt) {
    auto key = m_store.openKey("Alert", true);
    key->writeString("State", "x");
    EXPECT_TRUE(m_store.deleteKey("Alert"));
    EXPECT_THROW(key->close(), RegistryError);
    EXPECT_FALSE(m_store.keyExists("Alert"));
    // Also when a new key of the same name took its place.
    key = m_store.openKey("Alert", true);
    key->writeString("State", "x");
    m_store.deleteKey("Alert");
    auto replacement = m_store.openKey("ALERT", true);
    EXPECT_THROW(key->close(), RegistryError);
    EXPECT_TRUE(replacement->valueNames().empty());
}

TEST_F(RegistryTest, DumpListsTheSubtreeDepthFirst) {
    {
        auto opa = m_store.openKey("Software\\Brightmoor\\OPA", true);
        opa->writeString("Name", "Operator A");
        opa->writeInteger("Period", -1);
        opa->writeBinary("Blob", std::string("\x01\x00\xff", 3));
    }
    m_store.openKey("Software\\Brightmoor\\b", true)->writeInteger("X", 1);
    m_store.openKey("Software\\Brightmoor", false)->writeExpandString("Top", "t");
    m_store.openKey("Software\\Other", true)->writeString("Y", "y");
    EXPECT_EQ(m_store.dump("software\\BRIGHTMOOR"), (Names{
                                                        "Software\\Brightmoor\tTop\tREG_EXPAND_SZ\tt",
                                                        "Software\\Brightmoor\\b\tX\tREG_DWORD\t1",
                                                        "Software\\Brightmoor\\OPA\tName\tREG_SZ\tOperator A",
                                                        "Software\\Brightmoor\\OPA\tPeriod\tREG_DWORD\t4294967295",
                                                        "Software\\Brightmoor\\OPA\tBlob\tREG_BINARY\t0100ff",
                                                    }));
    EXPECT_EQ(m_store.dump().size(), 6u);
    EXPECT_TRUE(m_store.dump("Software\\Missing").empty());
}

TEST(RegistryFile, DamagedForeignOrUnusableFilesThrow) {
    TempDir dir;
    WriteFileBytes(dir.file("garbage.db"), std::string(8192, 'x'));
    EXPECT_THROW(Registry(dir.file("garbage.db")), RegistryError);
    EXPECT_THROW(Registry(dir.path()), RegistryError);

    const std::string path = dir.file("store.db");
    {
        Registry store(path);
        auto key = store.openKey("Big", true);
        for (int i = 0; i < 2000; ++i)
            key->writeString("value" + std::to_string(i), std::string(40, 'v'));
    }
    const std::string good = ReadFileBytes(path);
    ASSERT_GT(good.size(), 4u * 4096);
    std::string foreign = good;
    foreign[68] ^= 0x5a; // the header's application id
    WriteFileBytes(path, foreign);
    EXPECT_THROW(Registry{path}, RegistryError);
    std::string damaged = good;
    for (std::size_t i = 4096; i < 3 * 4096; ++i)
        damaged[i] = static_cast<char>(i * 7);
    WriteFileBytes(path, damaged);
    EXPECT_THROW(Registry{path}, RegistryError);
}

TEST(RegistryInstance, FollowsTheConfigFolderOrTheStoreDirectory) {
    static TempDir dir; // outlives the process-wide store
    const std::string storePath = dir.file("state/registry.db");
    if (Registry::defaultFilePath() != storePath) { // not yet moved by an earlier repetition
        setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
        EXPECT_EQ(Registry::defaultFilePath(), dir.path() + "/tallyglass/registry.db");
        unsetenv("XDG_CONFIG_HOME");
        Registry::setStoreDirectory(dir.file("state"));
    }
    EXPECT_EQ(Registry::defaultFilePath(), storePath);

    std::vector<Registry*> seen(4);
    std::vector<std::thread> threads;
    for (auto& slot : seen)
        threads.emplace_back([&slot] { slot = &Registry::instance(); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(std::set<Registry*>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(seen[0]->filePath(), storePath);
    EXPECT_THROW(Registry::setStoreDirectory(dir.file("elsewhere")), RegistryError);
    EXPECT_EQ(&Registry::instance(), seen[0]);
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

    std::optional<Registry> sharedStore;
    if (shared)
        sharedStore.emplace(path);
    std::atomic<int> failures{0};
    std::mutex errorMutex;
    std::string firstError;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            try {
                std::optional<Registry> own;
                if (!shared)
                    own.emplace(path);
                Registry& store = shared ? *sharedStore : *own;
                for (int i = 0; i < kValues; ++i) {
                    auto key = store.openKey(keyPath(t, i), true);
                    key->writeInteger(valueName(t, i), i);
                    key->close();
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

    Registry check(path);
    EXPECT_EQ(check.dump("Stress").size(), static_cast<std::size_t>(kThreads * kValues));
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kValues; ++i) {
            auto key = check.openKey(keyPath(t, i), false);
            ASSERT_TRUE(key);
            ASSERT_EQ(key->readInteger(valueName(t, i)), i);
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

        Registry store(path);
        for (const long n : reported) {
            const std::string number = std::to_string(n);
            auto key = store.openKey("Crash\\Key" + number, false);
            ASSERT_TRUE(key) << n;
            EXPECT_EQ(key->readString("Name"), "key " + number);
            EXPECT_EQ(key->readInteger("Number"), n);
            EXPECT_EQ(key->readBinary("Blob"), std::string(256, static_cast<char>(n & 0xff)));
            EXPECT_EQ(key->readDateTime("When"), static_cast<double>(n) + 0.5);
            EXPECT_EQ(key->readString("Tail"), number);
        }
        for (const std::string& name : store.openKey("Crash", false)->subKeyNames()) {
            const std::size_t values = store.openKey("Crash\\" + name, false)->valueNames().size();
            EXPECT_TRUE(values == 0 || values == 5) << name << " has " << values << " values";
        }
    }
}

} // namespace
