#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

// Runs the real tallyglass-tool binary.
namespace {

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ToolResult runTool(const QStringList& args, const std::string& input = std::string()) {
    QProcess process;
    process.start(QString::fromStdString(BinPath("tallyglass-tool")), args);
    if (!process.waitForStarted(10000))
        return {};
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TEST(Tool, HelpForItselfAndEveryCommand) {
    const ToolResult top = runTool({"--help"});
    EXPECT_EQ(top.exitCode, 0);
    EXPECT_NE(top.out.find("Usage: tallyglass-tool"), std::string::npos);
    for (const char* command : {"encrypt", "decrypt", "dump", "reg", "script", "check"}) {
        const ToolResult r = runTool({command, "--help"});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_NE(r.out.find(std::string("tallyglass-tool ") + command), std::string::npos) << command;
    }
    EXPECT_EQ(runTool({}).exitCode, 1);
    EXPECT_EQ(runTool({"frobnicate"}).exitCode, 1);
    EXPECT_EQ(runTool({"encrypt", "only-one"}).exitCode, 1);
}

TEST(Tool, EncryptAndDecryptFilesAndPipes) {
    TempDir dir;
    const std::string plain = "[COMMON]\nlist_name=x\n";
    WriteFileBytes(dir.file("plain.txt"), plain);
    ASSERT_EQ(runTool({"encrypt", q(dir.file("plain.txt")), q(dir.file("x.bal"))}).exitCode, 0);
    const std::string cipher = ReadFileBytes(dir.file("x.bal"));
    EXPECT_EQ(cipher, EncryptBytes(kDefinitionPassphrase, plain));
    // Through standard input and output, with another passphrase.
    const ToolResult piped = runTool({"encrypt", "--passphrase", "other", "-", "-"}, plain);
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.out, EncryptBytes("other", plain));
    const ToolResult back = runTool({"decrypt", "--passphrase=other", "-", "-"}, piped.out);
    EXPECT_EQ(back.out.substr(0, plain.size()), plain);
    EXPECT_EQ(back.out.size(), 24u); // zero padding stays
    EXPECT_EQ(runTool({"decrypt", q(dir.file("missing")), "-"}).exitCode, 2);
    EXPECT_EQ(runTool({"encrypt", "--passphrase", "", "-", "-"}, plain).exitCode, 1);
}

TEST(Tool, DumpPrintsTheParsedDefinitionAsJson) {
    TempDir dir;
    const std::string plain = "[COMMON]\nlist_name=Caf\xC3\xA9 \xFF\n\n"
                              "[A \"quoted\"]\nunique_id=A1\nmethod=post\nneed_auth=no\npattern=a\\d\tb\nchunks=S\n"
                              "group_name=G\n\n"
                              "{S}\nchunk_begin\nchunk_url=u\nchunk_method=POST\nchunk_end\n";
    WriteFileBytes(dir.file("a.bal"), EncryptBytes(kDefinitionPassphrase, plain));
    const ToolResult r = runTool({"dump", q(dir.file("a.bal"))});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "{\"list_name\": \"Caf\xC3\xA9 \\u00ff\", \"alerts\": [{\"name\": \"A \\\"quoted\\\"\", "
                     "\"unique_id\": \"A1\", \"page_url\": \"\", \"pattern\": \"a\\\\d\\tb\", \"info_script\": \"\", "
                     "\"need_auth\": false, \"post_data\": \"\", \"chunks\": \"S\", \"is_post\": true, "
                     "\"group_name\": \"G\", \"chunk_list\": [{\"chunk_url\": \"u\", \"is_post\": true, "
                     "\"chunk_postdata\": \"\", \"chunk_pattern\": \"\", \"chunk_info_script\": \"\"}]}]}\n");

    const ToolResult missing = runTool({"dump", q(dir.file("missing.bal"))});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);
    EXPECT_TRUE(missing.out.empty());
    // Garbage decrypts to nothing readable: an empty list, not a failure, with a warning. So does
    // a definition that was never encrypted; an encrypted one gets no warning.
    WriteFileBytes(dir.file("garbage.bal"), std::string(37, '\x5a'));
    const ToolResult garbage = runTool({"dump", q(dir.file("garbage.bal"))});
    EXPECT_EQ(garbage.exitCode, 0);
    EXPECT_EQ(garbage.out, "{\"list_name\": \"\", \"alerts\": []}\n");
    const std::string warning = "decrypts to no text; was it encrypted with 'tallyglass-tool encrypt'?";
    EXPECT_NE(garbage.err.find(warning), std::string::npos) << garbage.err;
    WriteFileBytes(dir.file("plain.bal"), "[COMMON]\r\nlist_name=Plain\r\n\r\n[Bank]\r\nunique_id=B\r\n"
                                          "page_url=https://bank.example/\r\npattern=([0-9]+)(.)([0-9]{2})\r\n");
    const ToolResult unencrypted = runTool({"dump", q(dir.file("plain.bal"))});
    EXPECT_EQ(unencrypted.exitCode, 0);
    EXPECT_NE(unencrypted.err.find(warning), std::string::npos) << unencrypted.err;
    EXPECT_EQ(r.err.find(warning), std::string::npos) << r.err;
}

TEST(Tool, RegDumpShowsEveryValueWithItsType) {
    TempDir dir;
    {
        TRegistry store(dir.file("registry.db"));
        auto key = store.OpenKey("Software\\Brightmoor\\Tallyglass\\OPA", true);
        key->WriteString("Name", "Operator A");
        key->WriteInteger("Period", 5);
        key->WriteBinary("LastCheckedTime", std::string("\x01\x00\xff", 3));
        key->Close();
        store.OpenKey("Other", true)->WriteInteger("X", -1);
    }
    const ToolResult all = runTool({"reg", "dump", "--state-dir", q(dir.path())});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    EXPECT_NE(all.out.find("Software\\Brightmoor\\Tallyglass\\OPA\tName\tREG_SZ\tOperator A\n"), std::string::npos);
    EXPECT_NE(all.out.find("\tPeriod\tREG_DWORD\t5\n"), std::string::npos);
    EXPECT_NE(all.out.find("\tLastCheckedTime\tREG_BINARY\t0100ff\n"), std::string::npos);
    EXPECT_NE(all.out.find("Other\tX\tREG_DWORD\t4294967295\n"), std::string::npos);
    const ToolResult sub = runTool({"reg", "dump", "software\\brightmoor", "--state-dir", q(dir.path())});
    EXPECT_EQ(sub.exitCode, 0);
    EXPECT_EQ(std::count(sub.out.begin(), sub.out.end(), '\n'), 3);
    // An empty state folder has no store: nothing to print, and none is created.
    TempDir empty;
    const ToolResult none = runTool({"reg", "dump", "--state-dir", q(empty.path())});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_TRUE(none.out.empty());
    EXPECT_FALSE(QFile::exists(q(empty.file("registry.db"))));
    EXPECT_EQ(runTool({"reg", "dump", "--state-dir"}).exitCode, 1);

    // A store whose keys run in a circle (the root a child of its own child) is damaged: said so, no crash.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(dir.file("registry.db").c_str(), &raw), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(raw,
                           "UPDATE keys SET parent = (SELECT id FROM keys WHERE CAST(name AS TEXT) = 'Other')"
                           " WHERE id = 1",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
    const ToolResult circle = runTool({"reg", "dump", "--state-dir", q(dir.path())});
    EXPECT_EQ(circle.exitCode, 2);
    EXPECT_NE(circle.err.find("the store is damaged"), std::string::npos) << circle.err;
}

TEST(Tool, RegDumpShowsASavedAlertsKeyWithEveryValueAndType) {
    TempDir dir;
    std::string checked;
    std::vector<std::string> encrypted;
    {
        TRegistry store(dir.file("registry.db"));
        TAlertItems list;
        list.RegistryRoot = "Software\\Brightmoor\\Tallyglass";
        list.StateKey = Md5Hex("password");
        list.Store = &store;
        auto alert = std::make_unique<TAlertItem>(&list);
        alert->unique_id = "OPA";
        TAlertItem& a = *list.AddAlert(std::move(alert));
        a.Name = "Operator A";
        a.Active = true;
        a.Period = 45;
        a.PeriodType = TPeriodType::minutes;
        a.LastCheckedTime = 45000.5;
        a.PageLogin = "login";
        a.SetBalance(1234);
        list.SaveState(a);
        std::uint64_t bits = 0;
        std::memcpy(&bits, &a.LastCheckedTime, sizeof bits);
        for (int i = 0; i < 8; ++i) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned>((bits >> (8 * i)) & 0xFF));
            checked += hex;
        }
        encrypted = {list.EncryptText("login"), list.EncryptText(""), list.EncryptInt(NoBalance),
                     list.EncryptInt(1234)};
    }
    const ToolResult r =
        runTool({"reg", "dump", "Software\\Brightmoor\\Tallyglass\\OPA", "--state-dir", q(dir.path())});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string k = "Software\\Brightmoor\\Tallyglass\\OPA\t";
    EXPECT_EQ(r.out, k + "Name\tREG_SZ\tOperator A\n" + k + "Active\tREG_DWORD\t1\n" + k + "NeedAuth\tREG_DWORD\t1\n" +
                         k + "Period\tREG_DWORD\t45\n" + k + "LastCheckedTime\tREG_BINARY\t" + checked + "\n" + k +
                         "PeriodType\tREG_DWORD\t0\n" + k + "PageLogin\tREG_SZ\t" + encrypted[0] + "\n" + k +
                         "PagePassword\tREG_SZ\t" + encrypted[1] + "\n" + k + "LastBalance\tREG_SZ\t" + encrypted[2] +
                         "\n" + k + "CurrentBalance\tREG_SZ\t" + encrypted[3] + "\n" + k + "WarnBelow\tREG_SZ\t\n" + k +
                         "WarnAbove\tREG_SZ\t\n" + k + "FailuresBeforeNotice\tREG_DWORD\t3\n" + k +
                         "FailedInARow\tREG_DWORD\t0\n" + k + "WarnedZone\tREG_DWORD\t0\n");
}

TEST(Tool, ScriptRunsLikeACheckAndReportsAsTheLogDoes) {
    TempDir dir;
    const std::string script = "function get_balance(page) {\n"
                               "  alert('got ' + page.length);\n"
                               "  AlertItem.registerinfo('b', 2.5);\n"
                               "  AlertItem.RegisterInfo('a', page.substr(0, 3));\n"
                               "  return 'x\\n12\\n\\n50';\n"
                               "}\n";
    WriteFileBytes(dir.file("bal.js"), EncryptBytes(kDefinitionPassphrase, script));
    WriteFileBytes(dir.file("page.html"), "Caf\xC3\xA9\xFF");
    const ToolResult r =
        runTool({"script", q(dir.file("bal.js")), "get_balance", "--arg-file", q(dir.file("page.html"))});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "{\"loaded\": true, \"called\": true, \"result\": \"x\\n12\\n\\n50\", "
                     "\"info\": {\"a\": \"Caf\", \"b\": \"2.5\"}}\n");
    const auto lines = SplitOnCrLf(r.err);
    ASSERT_EQ(lines.size(), 1u) << r.err;
    const std::string tail = ": Alert from script 'bal.js': got 5";
    ASSERT_GT(lines[0].size(), tail.size());
    EXPECT_EQ(lines[0].substr(lines[0].size() - tail.size()), tail);

    // A plain script with a syntax error: the engine's error line, nothing loaded, exit code 3.
    WriteFileBytes(dir.file("bad.js"), "var a = 1;\nvar b = (;\n");
    const ToolResult bad = runTool({"script", "--plain", q(dir.file("bad.js")), "get_balance"});
    EXPECT_EQ(bad.exitCode, 3);
    EXPECT_EQ(bad.out, "{\"loaded\": false, \"called\": false, \"result\": \"\", \"info\": {}}\n");
    EXPECT_NE(bad.err.find(": Error occured in script 'bad.js': "), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("\tLine number: 2\tChar pos: 10\tSource: var b = (;\r\n"), std::string::npos) << bad.err;

    // A function that is not there fails without an error line.
    WriteFileBytes(dir.file("none.js"), "var a = 1;");
    const ToolResult none = runTool({"script", q(dir.file("none.js")), "f", "--plain"});
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_EQ(none.out, "{\"loaded\": true, \"called\": false, \"result\": \"\", \"info\": {}}\n");
    EXPECT_TRUE(none.err.empty());

    EXPECT_EQ(runTool({"script", q(dir.file("missing.js")), "f"}).exitCode, 2);
    EXPECT_EQ(runTool({"script", q(dir.file("none.js")), "f", "--arg-file", q(dir.file("missing"))}).exitCode, 2);
    EXPECT_EQ(runTool({"script", q(dir.file("none.js"))}).exitCode, 1);
}
