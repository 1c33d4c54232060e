#include "alerts/StateSaver.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

const char* const kRoot = "Software\\Brightmoor\\Tallyglass";
const std::string kStatePath = std::string(kRoot) + "\\State";

class StateSaver : public ::testing::Test {
protected:
    TempDir m_dir;
    TRegistry m_store{m_dir.file("registry.db")};
    TStateSaver m_saver;
};

} // namespace

TEST_F(StateSaver, FirstRunCentresBothWindows) {
    m_saver["stale"] = 5;
    m_saver.Load(kRoot, m_store);
    EXPECT_TRUE(m_saver.Empty());
    EXPECT_TRUE(RestoreWindowState(m_saver, {1920, 1080}).Centre);
    EXPECT_EQ(CentredPosition(1920, 500), 710);
    EXPECT_EQ(CentredPosition(1080, 301), 389);
    EXPECT_EQ(CentredPosition(800, 1001), -100); // rounded toward zero

    // A key with nothing readable is a first run too.
    m_store.OpenKey(kStatePath, true)->WriteString("Left", "100");
    m_saver.Load(kRoot, m_store);
    EXPECT_TRUE(RestoreWindowState(m_saver, {1920, 1080}).Centre);
}

TEST_F(StateSaver, StoredValuesAreTakenOnlyWhenUsable) {
    const TScreenSize screen{1920, 1080};
    m_saver["Left"] = 0;
    m_saver["Top"] = 1079;
    m_saver[kStateListLeft] = 1;
    m_saver[kStateListWidth] = -3;
    m_saver[kStateListColumnWidths[0]] = 0;
    m_saver[kStateListColumnWidths[2]] = 80;
    TWindowRestore r = RestoreWindowState(m_saver, screen);
    EXPECT_FALSE(r.Centre);
    EXPECT_FALSE(r.MainLeft);
    EXPECT_EQ(r.MainTop, 1079);
    EXPECT_EQ(r.ListLeft, 1);
    EXPECT_FALSE(r.ListTop); // missing reads as 0
    EXPECT_FALSE(r.ListWidth);
    EXPECT_FALSE(r.ListHeight);
    EXPECT_FALSE(r.ListColumnWidths[0]);
    EXPECT_FALSE(r.ListColumnWidths[1]);
    EXPECT_EQ(r.ListColumnWidths[2], 80);

    m_saver["Left"] = 1920;
    m_saver["Top"] = 1080;
    r = RestoreWindowState(m_saver, screen);
    EXPECT_FALSE(r.MainLeft);
    EXPECT_FALSE(r.MainTop);
    m_saver["Left"] = 1919;
    m_saver["Top"] = 1;
    r = RestoreWindowState(m_saver, screen);
    EXPECT_EQ(r.MainLeft, 1919);
    EXPECT_EQ(r.MainTop, 1);
}

TEST_F(StateSaver, UnknownValuesAreKeptAndUnreadableOnesLeftAlone) {
    {
        auto key = m_store.OpenKey(kStatePath, true);
        key->WriteInteger("left", 3); // written by hand in another letter case
        key->WriteInteger("Custom", -7);
        key->WriteString("Note", "text");
        key->WriteInteger("Top", 20);
        key->Close();
    }
    m_saver.Load(kRoot, m_store);
    EXPECT_EQ(m_saver.Values().size(), 3u);
    EXPECT_EQ(m_saver.Value("Left"), 3);
    EXPECT_FALSE(m_saver.Contains("Note"));
    EXPECT_EQ(m_saver.Value("missing"), 0);
    EXPECT_FALSE(m_saver.Contains("missing"));

    StoreWindowState(m_saver, 150, 250);
    EXPECT_EQ(m_saver.Values().size(), 3u);         // "Left" is the stored "left"
    EXPECT_FALSE(m_saver.Contains(kStateListLeft)); // no Balance List window: its values stay as loaded
    m_saver.Save(kRoot, m_store);

    auto key = m_store.OpenKey(kStatePath, false);
    EXPECT_EQ(key->ReadInteger("Left"), 150);
    EXPECT_EQ(key->ReadInteger("Top"), 250);
    EXPECT_EQ(key->ReadInteger("Custom"), -7);
    EXPECT_EQ(key->ReadString("Note"), "text");

    TBalanceListGeometry list{10, 20, 300, 400, {100, 60, 90}};
    StoreWindowState(m_saver, 1, 2, list);
    m_saver.Save(kRoot, m_store);
    TStateSaver again;
    again.Load(kRoot, m_store);
    const TWindowRestore r = RestoreWindowState(again, {1920, 1080});
    EXPECT_EQ(r.MainLeft, 1);
    EXPECT_EQ(r.MainTop, 2);
    EXPECT_EQ(r.ListLeft, 10);
    EXPECT_EQ(r.ListTop, 20);
    EXPECT_EQ(r.ListWidth, 300);
    EXPECT_EQ(r.ListHeight, 400);
    EXPECT_EQ(r.ListColumnWidths[0], 100);
    EXPECT_EQ(r.ListColumnWidths[1], 60);
    EXPECT_EQ(r.ListColumnWidths[2], 90);
    EXPECT_EQ(again.Value("Custom"), -7);
    EXPECT_EQ(m_store.OpenKey(kStatePath, false)->ReadInteger(kStateListColumnWidths[1]), 60);
}
