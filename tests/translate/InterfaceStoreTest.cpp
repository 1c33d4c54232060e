#include "translate/InterfaceStore.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

TIniInterfaceStore LoadText(const std::string& text) {
    TIniInterfaceStore store;
    std::istringstream stream(text);
    store.LoadFromStream(stream);
    return store;
}

// The current entry as "part|part|last=value".
std::string ReadWholeEntry(IInterfaceStore& store) {
    std::string out;
    TKeyPart part;
    while (store.ReadKeyPart(part)) {
        out += part.Part;
        if (part.IsLast)
            return out + "=" + part.Value;
        out += "|";
    }
    return out + "<unfinished>";
}

// Every entry the walk of a section yields, in order.
std::vector<std::string> WalkSection(IInterfaceStore& store, const std::string& section) {
    std::vector<std::string> entries;
    if (!store.FindSection(section))
        return entries;
    while (store.NextEntry())
        entries.push_back(ReadWholeEntry(store));
    return entries;
}

std::string Saved(IInterfaceStore& store) {
    std::ostringstream stream;
    store.SaveToStream(stream);
    return stream.str();
}

} // namespace

TEST(IniInterfaceStore, WritesPathsAndEscapedLineBreaks) {
    TIniInterfaceStore store;
    store.BeginSection("fmMain");
    store.PushPathPart("fmMain");
    store.WriteValue("Caption", "first\r\nsecond");
    store.PushPathPart("btnOK");
    store.WriteValue("Hint", "a\nb\rc");
    store.PopPathPart();
    store.PopPathPart();
    EXPECT_EQ(store.Path(), "");
    store.PopPathPart(); // popping an empty path keeps it empty
    store.WriteValue("RES.1048", "x");
    store.AddSeparator();
    EXPECT_EQ(Saved(store), "[fmMain]\r\nfmMain.Caption=first{CRLF}second\r\n"
                            "fmMain.btnOK.Hint=a{CRLF}b{CRLF}c\r\nRES.1048=x\r\n\r\n");
    store.ClearPath();
    store.PushPathPart("a");
    store.PushPathPart("b");
    store.ClearPath();
    EXPECT_EQ(store.Path(), "");
}

TEST(IniInterfaceStore, BeginSectionReplacesAnExistingSectionAtTheEnd) {
    TIniInterfaceStore store =
        LoadText("[fmA]\r\nfmA.x.Caption=1\r\n\r\n[FMB]\r\nfmB.y.Caption=2\r\n[fmC]\r\nfmC.z.Caption=3");
    store.BeginSection("fmB");
    store.WriteValue("fmB.y.Caption", "new");
    const std::vector<std::string> expected = {"[fmA]", "fmA.x.Caption=1",  "", "[fmC]", "fmC.z.Caption=3", "",
                                               "[fmB]", "fmB.y.Caption=new"};
    EXPECT_EQ(store.Lines(), expected);
    EXPECT_EQ(WalkSection(store, "fmb"), (std::vector<std::string>{"fmB|y|Caption=new"}));

    TIniInterfaceStore empty;
    empty.BeginSection("fmMain");
    EXPECT_EQ(empty.Lines(), std::vector<std::string>{"[fmMain]"});
}

TEST(IniInterfaceStore, FindSection) {
    TIniInterfaceStore store = LoadText("[Custom]\nRES.1=a\n  [ALERTS]  \nI.x=y\n[Last]");
    EXPECT_TRUE(store.FindSection("CUSTOM"));
    EXPECT_TRUE(store.FindSection("alerts"));
    // A header on the file's last line has nothing to read.
    EXPECT_FALSE(store.FindSection("Last"));
    EXPECT_FALSE(store.NextEntry());
    EXPECT_FALSE(store.FindSection("Missing"));
    EXPECT_FALSE(store.NextEntry());
}

TEST(IniInterfaceStore, KeyPartsAndValues) {
    TIniInterfaceStore store = LoadText("[s]\n"
                                        "k1.k2.k3=x=y\n"
                                        "\n"
                                        "   \t\n"
                                        "  fmX.btnOK.Caption=Save   \n"
                                        "fmX.lbl.Caption=a.b {CRLF}c{crlf}\n"
                                        "a..b=v\n");
    EXPECT_EQ(WalkSection(store, "s"), (std::vector<std::string>{"k1|k2|k3=x=y", "fmX|btnOK|Caption=Save",
                                                                 "fmX|lbl|Caption=a.b \r\nc{crlf}", "a||b=v"}));
    // Nothing more to read once an entry is used up or before the first one.
    EXPECT_TRUE(store.FindSection("s"));
    TKeyPart part;
    EXPECT_FALSE(store.ReadKeyPart(part));
    ASSERT_TRUE(store.NextEntry());
    ASSERT_TRUE(store.ReadKeyPart(part));
    EXPECT_EQ(part.Part, "k1");
    EXPECT_FALSE(part.IsLast);
    EXPECT_EQ(part.Value, "");
}

TEST(IniInterfaceStore, TheFirstLineThatIsNoEntryEndsTheSection) {
    for (const char* stopper : {"ab=v", "k1.=v", ".k1=v", "=v", "a.b=", "a.b", "; comment", "# note", "[next]"}) {
        TIniInterfaceStore store = LoadText(std::string("[s]\nfirst.Caption=1\n\n") + stopper + "\nlater.Caption=2\n");
        EXPECT_EQ(WalkSection(store, "s"), std::vector<std::string>{"first|Caption=1"}) << stopper;
        // Every further call stays false.
        EXPECT_FALSE(store.NextEntry()) << stopper;
    }
    EXPECT_TRUE(TIniInterfaceStore::IsEntryLine("a.b=c"));
    EXPECT_FALSE(TIniInterfaceStore::IsEntryLine("a=b.c"));
}

TEST(IniInterfaceStore, ReadsAnyLineBreakAndStopsAtNul) {
    EXPECT_EQ(LoadText("a\rb\nc\r\nd\n\re").Lines(), (std::vector<std::string>{"a", "b", "c", "d", "", "e"}));
    EXPECT_EQ(LoadText("a\r\n").Lines(), std::vector<std::string>{"a"});
    EXPECT_EQ(LoadText("a\r\n\r\n").Lines(), (std::vector<std::string>{"a", ""}));
    EXPECT_TRUE(LoadText("").Lines().empty());
    EXPECT_EQ(LoadText(std::string("[s]\rx.y=1\0x.z=2\r\n", 17)).Lines(), (std::vector<std::string>{"[s]", "x.y=1"}));

    // Reading starts at the stream's beginning and replaces what was there.
    TIniInterfaceStore store = LoadText("old.line=1");
    std::istringstream stream("[s]\rx.y=1\r");
    std::string skipped;
    stream >> skipped;
    store.LoadFromStream(stream);
    EXPECT_EQ(store.Lines(), (std::vector<std::string>{"[s]", "x.y=1"}));
    EXPECT_EQ(Saved(store), "[s]\r\nx.y=1\r\n");
    EXPECT_EQ(LoadText(Saved(store)).Lines(), store.Lines());
}

TEST(IniInterfaceStore, ConvertValueAndClear) {
    TIniInterfaceStore store;
    EXPECT_EQ(store.ConvertValue("a{CRLF}{CRLF}b{Crlf}", TConvertDirection::cdDecode), "a\r\n\r\nb{Crlf}");
    EXPECT_EQ(store.ConvertValue("a\r\n\r\nb", TConvertDirection::cdEncode), "a{CRLF}{CRLF}b");
    store = LoadText("[s]\nx.y=1");
    store.PushPathPart("p");
    ASSERT_TRUE(store.FindSection("s"));
    store.Clear();
    EXPECT_TRUE(store.Lines().empty());
    EXPECT_EQ(store.Path(), "");
    EXPECT_FALSE(store.NextEntry());
}
