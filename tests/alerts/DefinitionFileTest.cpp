#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "platform/Strings.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace {

std::unique_ptr<TAlertItems> Parse(const std::string& text) {
    auto list = std::make_unique<TAlertItems>();
    list->LoadFromText(text);
    return list;
}

std::vector<std::string> names(const TAlertItems& list) {
    std::vector<std::string> result;
    for (const auto& alert : list.Alerts)
        result.push_back(alert->Name);
    return result;
}

using Names = std::vector<std::string>;

const char* const kTypical = "[COMMON]\r\n"
                             "list_name=Mobile operators\r\n"
                             "\r\n"
                             "[Operator A]\r\n"
                             "unique_id=OPA_BALANCE\r\n"
                             "group_name=Operator A\r\n"
                             "need_auth=no\r\n"
                             "method=POST\r\n"
                             "page_url=https://a.example/login\r\n"
                             "post_data=login={LOGIN}&password={PASSWORD}\r\n"
                             "pattern=Balance: ([0-9]+)\\.([0-9]+)\r\n"
                             "info_script=opa_info.js\r\n"
                             "chunks=OPA_STEPS\r\n"
                             "\r\n"
                             "{OPA_STEPS}\r\n"
                             "chunk_begin\r\n"
                             "chunk_url=https://a.example/account\r\n"
                             "chunk_method=GET\r\n"
                             "chunk_pattern=js:opa.js\r\n"
                             "chunk_end\r\n";

// The process in a Turkish locale for the object's life, one where the C library lower-cases "I"
// to something else than "i". An installed locale is used, else one is compiled into a temporary
// folder when the locale sources are there; Active() is false when neither works.
class TurkishLocale {
public:
    TurkishLocale() : m_previous(setlocale(LC_ALL, nullptr)) {
        for (const char* name : {"tr_TR.UTF-8", "tr_TR.utf8", "tr_TR.ISO-8859-9", "tr_TR"})
            if (setlocale(LC_ALL, name) != nullptr && Active())
                return;
        setlocale(LC_ALL, m_previous.c_str());
        if (access("/usr/share/i18n/locales/tr_TR", R_OK) != 0)
            return;
        const std::string command =
            "localedef -c -i tr_TR -f ISO-8859-9 '" + m_dir.file("tr_TR.ISO-8859-9") + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) == -1)
            return;
        if (const char* path = std::getenv("LOCPATH"))
            m_previousPath = path;
        setenv("LOCPATH", m_dir.path().c_str(), 1);
        if (setlocale(LC_ALL, "tr_TR.ISO-8859-9") == nullptr)
            setlocale(LC_ALL, m_previous.c_str());
    }
    ~TurkishLocale() {
        setlocale(LC_ALL, m_previous.c_str());
        if (m_previousPath)
            setenv("LOCPATH", m_previousPath->c_str(), 1);
        else
            unsetenv("LOCPATH");
    }
    TurkishLocale(const TurkishLocale&) = delete;
    TurkishLocale& operator=(const TurkishLocale&) = delete;

    bool Active() const { return std::tolower('I') != 'i'; }

private:
    TempDir m_dir;
    std::string m_previous;
    std::optional<std::string> m_previousPath;
};

} // namespace

TEST(DefinitionFile, TypicalFileGivesEveryField) {
    const auto list = Parse(kTypical);
    EXPECT_EQ(list->ListName, "Mobile operators");
    ASSERT_EQ(list->Count(), 1);
    const TAlertItem& a = list->Item(0);
    EXPECT_EQ(a.Name, "Operator A");
    EXPECT_EQ(a.unique_id, "OPA_BALANCE");
    EXPECT_EQ(a.group_name, "Operator A");
    EXPECT_FALSE(a.NeedAuth);
    EXPECT_TRUE(a.IsPost);
    EXPECT_EQ(a.page_url, "https://a.example/login");
    EXPECT_EQ(a.post_data, "login={LOGIN}&password={PASSWORD}");
    EXPECT_EQ(a.pattern, "Balance: ([0-9]+)\\.([0-9]+)");
    EXPECT_EQ(a.info_script, "opa_info.js");
    EXPECT_EQ(a.chunks, "OPA_STEPS");
    EXPECT_EQ(a.Owner, list.get());
    ASSERT_EQ(a.ChunkCount(), 1);
    EXPECT_EQ(a.Chunk(0).chunk_url, "https://a.example/account");
    EXPECT_FALSE(a.Chunk(0).IsPost);
    EXPECT_EQ(a.Chunk(0).chunk_pattern, "js:opa.js");
    EXPECT_TRUE(a.Chunk(0).Matches.empty());
    // Fields the file does not set keep the alert defaults.
    EXPECT_FALSE(a.Active);
    EXPECT_EQ(a.Period, 1);
    EXPECT_EQ(a.PeriodType, TPeriodType::hours);
    EXPECT_EQ(a.CurrentBalance(), NoBalance);
    EXPECT_EQ(a.LastBalance(), NoBalance);
    ASSERT_EQ(list->Groups.count("Operator A"), 1u);
    EXPECT_EQ(list->Groups.at("Operator A"), TAlertVec{&list->Item(0)});
}

TEST(DefinitionFile, SectionHeaders) {
    EXPECT_EQ(Parse("")->Count(), 0);
    EXPECT_EQ(Parse("")->ListName, "");
    // Only the exact upper-case header opens the common section.
    EXPECT_EQ(names(*Parse("[common]\nlist_name=x\n")), Names{"common"});
    EXPECT_EQ(Parse("[common]\nlist_name=x\n")->ListName, "");
    // An unclosed alert section is dropped when the next header starts.
    EXPECT_EQ(names(*Parse("[A]\nunique_id=a\n[B]\nunique_id=b\n")), Names{"B"});
    // The last section needs no empty line; the header loses its first and last character whatever they are.
    EXPECT_EQ(names(*Parse("[A]\n\n[B)x")), (Names{"A", "B)"}));
    EXPECT_EQ(names(*Parse("[\n\n[]\n")), (Names{"", ""}));
    // A line of blanks is not empty: it does not close the section.
    EXPECT_EQ(names(*Parse("[A]\n \n[B]\n")), Names{"B"});
    // Several common sections: the last list_name wins; common and alerts in any order.
    const auto list = Parse("[A]\n\n[COMMON]\nlist_name=one\n\n[B]\n\n[COMMON]\nlist_name=two\n");
    EXPECT_EQ(list->ListName, "two");
    EXPECT_EQ(names(*list), (Names{"A", "B"}));
    // Duplicates are all kept, in file order.
    EXPECT_EQ(names(*Parse("[A]\nunique_id=x\n\n[A]\nunique_id=x\n")), (Names{"A", "A"}));
}

TEST(DefinitionFile, KeyRules) {
    // The first alert of a one-section file, taken out of its list.
    auto value = [](const std::string& lines) { return std::move(Parse("[A]\n" + lines + "\n")->Alerts.at(0)); };
    EXPECT_TRUE(Parse("[A]\n")->Item(0).NeedAuth);
    EXPECT_TRUE(value("need_auth=YES")->NeedAuth);
    EXPECT_TRUE(value("need_auth=True")->NeedAuth);
    EXPECT_TRUE(value("need_auth=1")->NeedAuth);
    EXPECT_FALSE(value("need_auth=on")->NeedAuth);
    EXPECT_FALSE(value("need_auth= yes")->NeedAuth);
    EXPECT_TRUE(value("method=post")->IsPost);
    EXPECT_FALSE(value("method=PUT")->IsPost);
    EXPECT_FALSE(value("method=POST\nmethod=GET")->IsPost);
    EXPECT_EQ(value("pattern=a=b")->pattern, "a=b");
    EXPECT_EQ(value("Page_URL=x")->page_url, "x");
    EXPECT_EQ(value(" page_url=x")->page_url, "");
    EXPECT_EQ(value("page_url =x")->page_url, "");
    EXPECT_EQ(value("page_url= x ")->page_url, " x ");
    EXPECT_EQ(value("page_url=first\npage_url=second")->page_url, "second");
    EXPECT_EQ(value("list_name=x\nunknown=y\nno equals sign")->page_url, "");
    // Keys of other sections are ignored in an alert, and lines outside any section are ignored.
    EXPECT_EQ(value("chunk_url=x")->page_url, "");
    EXPECT_EQ(Parse("list_name=x\n[A]\n")->ListName, "");
}

TEST(DefinitionFile, LineBreaksAndNul) {
    EXPECT_EQ(names(*Parse("[A]\r\r[B]\r")), (Names{"A", "B"}));
    EXPECT_EQ(names(*Parse("[A]\r\n\r\n[B]\r\n")), (Names{"A", "B"}));
    // CR LF is one break, so "[A]" CR LF "[B]" keeps A open and drops it.
    EXPECT_EQ(names(*Parse("[A]\r\n[B]")), Names{"B"});
    // LF CR is two breaks: an empty line between.
    EXPECT_EQ(names(*Parse("[A]\n\r[B]")), (Names{"A", "B"}));
    // Text after the first NUL is not read.
    EXPECT_EQ(names(*Parse(std::string("[A]\n\0\n[B]\n", 10))), Names{"A"});
    // A byte-order mark that an editor put before the first section is not part of it.
    const auto marked = Parse("\xEF\xBB\xBF[COMMON]\nlist_name=Marked\n\n[A]\n");
    EXPECT_EQ(marked->ListName, "Marked");
    EXPECT_EQ(names(*marked), Names{"A"});
    EXPECT_EQ(names(*Parse("[A]\n\n\xEF\xBB\xBF[B]\n")), Names{"A"}); // only at the start
    EXPECT_EQ(SplitLines("a\n"), std::vector<std::string>{"a"});
    EXPECT_EQ(SplitLines("a\n\n"), (std::vector<std::string>{"a", ""}));
}

TEST(DefinitionFile, ChunkSections) {
    const std::string alert = "[A]\nchunks=S\n\n";
    const std::string fullBlock = "chunk_begin\nchunk_url=u1\nchunk_method=post\nchunk_postdata=d1\n"
                                  "chunk_pattern=p1\nchunk_info_script=i1\nchunk_end\n";
    // Two blocks in file order; a block that only sets the address keeps the previous block's other values.
    auto list = Parse(alert + "{S}\n" + fullBlock + "chunk_url=u2\nchunk_end\n");
    ASSERT_EQ(list->Item(0).ChunkCount(), 2);
    const TChunk& second = list->Item(0).Chunk(1);
    EXPECT_EQ(list->Item(0).Chunk(0).chunk_url, "u1");
    EXPECT_EQ(second.chunk_url, "u2");
    EXPECT_TRUE(second.IsPost);
    EXPECT_EQ(second.chunk_postdata, "d1");
    EXPECT_EQ(second.chunk_pattern, "p1");
    EXPECT_EQ(second.chunk_info_script, "i1");
    // chunk_begin clears the values.
    list = Parse(alert + "{S}\n" + fullBlock + "chunk_begin\nchunk_url=u2\nchunk_end\n");
    EXPECT_FALSE(list->Item(0).Chunk(1).IsPost);
    EXPECT_EQ(list->Item(0).Chunk(1).chunk_postdata, "");

    // The chunk section must follow the alert that names it, after the empty line closing it.
    EXPECT_EQ(Parse("{S}\n" + fullBlock + "\n" + alert)->Item(0).ChunkCount(), 0);
    list = Parse("[A]\nchunks=S\n{S}\n" + fullBlock);
    ASSERT_EQ(list->Count(), 1);              // the alert still being built is added at the end...
    EXPECT_EQ(list->Item(0).ChunkCount(), 0); // ...but its chunks found no target
    // Names are compared exactly; the first alert naming the section gets the chunks.
    EXPECT_EQ(Parse(alert + "{s}\n" + fullBlock)->Item(0).ChunkCount(), 0);
    list = Parse(alert + "[B]\nchunks=S\n\n{S}\n" + fullBlock);
    EXPECT_EQ(list->Item(0).ChunkCount(), 1);
    EXPECT_EQ(list->Item(1).ChunkCount(), 0);
    // chunk_begin and chunk_end are case-sensitive whole lines.
    EXPECT_EQ(Parse(alert + "{S}\nChunk_End\nchunk_end \n")->Item(0).ChunkCount(), 0);
    // Chunk keys outside a chunk section do nothing, and chunk_end outside one is just ignored.
    EXPECT_EQ(Parse("[A]\nchunks=S\nchunk_end\n\n")->Item(0).ChunkCount(), 0);
}

TEST(DefinitionFile, GroupsKeepInsertionOrderAndSortByBytes) {
    const auto list = Parse("[A]\ngroup_name=b\n\n[B]\ngroup_name=a\n\n[C]\ngroup_name=b\n\n[D]\n\n"
                            "[E]\ngroup_name=\xC3\xA9\n\n[F]\ngroup_name=B\n");
    std::vector<std::string> keys;
    for (const auto& [key, alerts] : list->Groups)
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"", "B", "a", "b", "\xC3\xA9"}));
    ASSERT_EQ(list->Groups.at("b").size(), 2u);
    EXPECT_EQ(list->Groups.at("b")[0]->Name, "A");
    EXPECT_EQ(list->Groups.at("b")[1]->Name, "C");
    EXPECT_EQ(list->FindByUniqueId(""), &list->Item(0));
    EXPECT_EQ(list->FindByUniqueId("missing"), nullptr);
}

TEST(DefinitionFile, LoadFromFileDecryptsAndSurvivesBadFiles) {
    TempDir dir;
    std::string plain = kTypical;
    WriteFileBytes(dir.file("ok.bal"), EncryptBytes(kDefinitionPassphrase, plain));
    TAlertItems list;
    list.FileName = dir.file("ok.bal");
    list.LoadFromFile();
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Item(0).Chunk(0).chunk_url, "https://a.example/account");
    // Loading again replaces the alerts instead of adding to them.
    list.LoadFromFile();
    EXPECT_EQ(list.Count(), 1);

    // A byte-order mark before the decrypted text is dropped there too.
    WriteFileBytes(dir.file("marked.bal"), EncryptBytes(kDefinitionPassphrase, "\xEF\xBB\xBF" + plain));
    TAlertItems marked;
    marked.FileName = dir.file("marked.bal");
    marked.LoadFromFile();
    EXPECT_EQ(marked.ListName, "Mobile operators");
    EXPECT_EQ(marked.Count(), 1);

    // Missing, empty, truncated, odd-length, wrong-passphrase and garbage files give no crash
    // and at most the alerts that could be read.
    const std::string cipher = EncryptBytes(kDefinitionPassphrase, plain);
    const std::vector<std::string> bad = {
        std::string(),           cipher.substr(0, cipher.size() - 8),
        cipher.substr(0, 13),    EncryptBytes("another", plain),
        std::string(4096, '\0'), std::string(1000, '\xff'),
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        WriteFileBytes(dir.file("bad.bal"), bad[i]);
        TAlertItems broken;
        broken.FileName = dir.file("bad.bal");
        broken.LoadFromFile();
        EXPECT_LE(broken.Count(), 1) << "case " << i;
    }
    TAlertItems missing;
    missing.FileName = dir.file("missing.bal");
    missing.LoadFromFile();
    EXPECT_EQ(missing.Count(), 0);
    EXPECT_EQ(missing.ListName, "");
}

// Keys and values fold ASCII letters only, whatever the locale the user runs the program in.
TEST(DefinitionFile, KeysInCapitalsLoadUnderATurkishLocale) {
    const TurkishLocale turkish;
    // Only the 52 ASCII letters fold; bytes of 128 and above (Latin-1 or Latin-5 letters, or parts
    // of UTF-8 sequences) stay as they are, as in any other locale.
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        const bool upper = byte >= 'A' && byte <= 'Z', lower = byte >= 'a' && byte <= 'z';
        EXPECT_EQ(AsciiLower(c), upper ? static_cast<char>(byte + 32) : c) << byte;
        EXPECT_EQ(AsciiUpper(c), lower ? static_cast<char>(byte - 32) : c) << byte;
        EXPECT_EQ(AsciiEqualNoCase(std::string(1, c), std::string(1, static_cast<char>(byte ^ 0x20))), upper || lower)
            << byte;
    }
    EXPECT_EQ(AsciiLower("UNIQUE_ID \xC4\xDD\xC3\x84"), "unique_id \xC4\xDD\xC3\x84");
    EXPECT_EQ(AsciiUpper("post \xE4\xFD\xC3\xA4"), "POST \xE4\xFD\xC3\xA4");
    if (!turkish.Active())
        GTEST_SKIP() << "no Turkish locale is installed, and none could be made";
    const auto list = Parse("[COMMON]\n"
                            "LIST_NAME=Operators\n"
                            "\n"
                            "[Operator I]\n"
                            "UNIQUE_ID=OPI\n"
                            "PAGE_URL=https://i.example/\n"
                            "INFO_SCRIPT=info.js\n"
                            "NEED_AUTH=No\n"
                            "Method=post\n"
                            "CHUNKS=STEPS\n"
                            "\n"
                            "{STEPS}\n"
                            "chunk_begin\n"
                            "CHUNK_INFO_SCRIPT=step.js\n"
                            "CHUNK_METHOD=post\n"
                            "chunk_end\n");
    EXPECT_EQ(list->ListName, "Operators");
    ASSERT_EQ(list->Count(), 1);
    const TAlertItem& alert = list->Item(0);
    EXPECT_EQ(alert.unique_id, "OPI");
    EXPECT_EQ(alert.page_url, "https://i.example/");
    EXPECT_EQ(alert.info_script, "info.js");
    EXPECT_FALSE(alert.NeedAuth);
    EXPECT_TRUE(alert.IsPost);
    ASSERT_EQ(alert.ChunkCount(), 1);
    EXPECT_EQ(alert.Chunk(0).chunk_info_script, "step.js");
    EXPECT_TRUE(alert.Chunk(0).IsPost);
}
