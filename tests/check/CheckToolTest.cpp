#include "support/ImitationSite.h"

#include "base/Encoders.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#if defined(__SANITIZE_THREAD__)
// The tool is started while the test server's threads run. The child only executes the tool, so
// the thread checker may let a multi-threaded process fork.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
#endif

// The real tallyglass-tool binary checking a multi-step login definition against a local server.
namespace {

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the tool with `input` on standard input and `environment` added to its environment.
ToolResult runTool(const QStringList& args, const std::string& input = std::string(),
                   const QStringList& environment = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    process.start(QString::fromStdString(BinPath("tallyglass-tool")), args);
    if (!process.waitForStarted(10000))
        return {};
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

class CheckToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.server().Post("/login", [](const httplib::Request& req, httplib::Response& res) {
            if (req.get_param_value("user") == "anna" && req.get_param_value("pass") == "s3cret word")
                res.set_header("Set-Cookie", "sid=A; Path=/");
            res.set_redirect("/home");
        });
        server.server().Get("/home", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Cookie") == "sid=A" ? "<a href=/acc/55>account</a>" : "login",
                            "text/html");
        });
        server.server().Get("/acc/55", [this](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Cookie") != "sid=A") {
                res.status = 403;
                return;
            }
            res.set_content("Balance: " + amount() + " EUR", "text/html");
        });
        server.server().Get("/page", [this](const httplib::Request&, httplib::Response& res) {
            const std::string value = amount();
            if (value == "500")
                res.status = 500;
            else
                res.set_content(value == "none" ? "Nothing here" : "Balance: " + value + " EUR", "text/html");
        });
        server.start();

        const std::string definition = "[COMMON]\nlist_name=Test\n\n"
                                       "[Bank]\nunique_id=BANK\nmethod=post\n"
                                       "page_url=" +
                                       server.url("/login") +
                                       "\npost_data=user={LOGIN}&pass={PASSWORD}\n"
                                       "pattern=acc/(\\d+?)>\ninfo_script=info.js\nchunks=STEPS\n\n"
                                       "{STEPS}\nchunk_begin\nchunk_url=" +
                                       server.url("/acc/{c_1}") +
                                       "\nchunk_method=GET\n"
                                       "chunk_pattern=Balance:\\s*(-?\\d+?)(\\.)(\\d\\d)\nchunk_end\n";
        WriteFileBytes(dir.file("bank.bal"), EncryptBytes(kDefinitionPassphrase, definition));
        WriteFileBytes(dir.file("info.js"),
                       EncryptBytes(kDefinitionPassphrase, "function get_additional_info(p) {\n"
                                                           "  AlertItem.registerinfo('Page', p.length);\n}"));
    }

    std::string amount() {
        std::lock_guard lock(mutex);
        return currentAmount;
    }
    void setAmount(const std::string& value) {
        std::lock_guard lock(mutex);
        currentAmount = value;
    }

    ToolResult check(const QStringList& extra) {
        return runTool(
            QStringList{"check", q(dir.file("bank.bal")), "BANK", "--login", "anna", "--password", "s3cret word"} +
            extra);
    }

    TempDir dir;
    TestServer server;
    std::mutex mutex;
    std::string currentAmount = "12.34";
};

} // namespace

TEST_F(CheckToolTest, MultiStepLoginDefinitionAndStateBetweenRuns) {
    const std::string state = dir.file("state");
    ToolResult r = check({"--state-dir", q(state)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "{\"status\": \"OK\", \"request_ok\": true, \"balance\": \"12.34\", \"last_balance\": \"-\", "
                     "\"submatches\": [\"Balance: 12.34\", \"12\", \".\", \"34\"], \"info\": {\"Page\": \"27\"}, "
                     "\"warning\": \"\", \"failed_in_a_row\": 0}\n");
    EXPECT_NE(r.err.find(": Chunk #1 for 'Bank' alert downloaded. Result code: 200, downloaded bytes: 18. "
                         "Request succeeded ? true\r\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("anna"), std::string::npos);
    EXPECT_EQ(r.err.find("s3cret"), std::string::npos);

    // The next run in the same state folder sees the last balance and the change.
    setAmount("-7.05");
    r = check({"--state-dir", q(state)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"balance\": \"-7.05\", \"last_balance\": \"12.34\""), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(": Balance for 'Bank' changed.\r\n"), std::string::npos) << r.err;

    // Pages that came without a balance in them: the pattern does not fit, which has an exit code
    // of its own.
    setAmount("n/a");
    r = check({});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_EQ(r.out.rfind("{\"status\": \"OK\", \"request_ok\": true, \"balance\": \"-\"", 0), 0u) << r.out;

    // Without the state folder nothing carries over; a wrong password ends in ERR with exit code 1.
    r = runTool({"check", q(dir.file("bank.bal")), "BANK", "--login", "anna", "--password", "wrong"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.rfind("{\"status\": \"ERR\", \"request_ok\": true, \"balance\": \"-\", \"last_balance\": \"-\"", 0),
              0u)
        << r.out;
}

TEST_F(CheckToolTest, SavedPageAndBadArguments) {
    // The alert's own page from a file: its link leads the step to the account.
    WriteFileBytes(dir.file("home.html"), "<a href=/acc/55>");
    ToolResult r = check({"--page", q(dir.file("home.html"))});
    // The login never ran, so the account page refuses: the step's 403 is the outcome.
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Content for 'Bank' alert downloaded. Result code: 200, downloaded bytes: 16."),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("result code: 403, status message = '403 Forbidden'"), std::string::npos) << r.err;

    EXPECT_EQ(runTool({"check", q(dir.file("bank.bal"))}).exitCode, 2);
    EXPECT_EQ(runTool({"check", q(dir.file("bank.bal")), "NOPE"}).exitCode, 2);
    EXPECT_EQ(runTool({"check", q(dir.file("missing.bal")), "BANK"}).exitCode, 2);
    EXPECT_EQ(runTool({"check", q(dir.file("bank.bal")), "BANK", "--login"}).exitCode, 2);
}

// The login and password need not be on the command line: a file's first line, standard input or
// the environment serve, and an option on the command line wins over the environment.
TEST_F(CheckToolTest, LoginAndPasswordFromAFileStandardInputOrTheEnvironment) {
    const QString bal = q(dir.file("bank.bal"));
    WriteFileBytes(dir.file("password.txt"), "s3cret word\nignored\n");
    ToolResult r = runTool({"check", bal, "BANK", "--password-file", q(dir.file("password.txt"))}, "",
                           {"TALLYGLASS_LOGIN=anna", "TALLYGLASS_PASSWORD=wrong"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = runTool({"check", bal, "BANK", "--login", "anna", "--password-file", "-"}, "s3cret word\r\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = runTool({"check", bal, "BANK"}, "", {"TALLYGLASS_LOGIN=anna", "TALLYGLASS_PASSWORD=s3cret word"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = runTool({"check", bal, "BANK", "--password", "wrong"}, "",
                {"TALLYGLASS_LOGIN=anna", "TALLYGLASS_PASSWORD=s3cret word"});
    EXPECT_EQ(r.exitCode, 1) << r.err;

    EXPECT_EQ(runTool({"check", bal, "BANK", "--password", "x", "--password-file", "-"}).exitCode, 2);
    EXPECT_EQ(runTool({"check", bal, "BANK", "--login-file", "-", "--password-file", "-"}).exitCode, 2);
    EXPECT_EQ(runTool({"check", bal, "BANK", "--password-file", q(dir.file("missing.txt"))}).exitCode, 2);
    EXPECT_NE(runTool({"check", "--help"}).out.find("TALLYGLASS_PASSWORD"), std::string::npos);
}

TEST_F(CheckToolTest, EveryCheckIsRecordedInTheHistoryBesideItsStore) {
    // One account; the second file reaches it at an address where nothing listens.
    const std::string page =
        "[COMMON]\nlist_name=Test\n\n[Account]\nunique_id=ACC\npattern=Balance:\\s*(-?\\d+?)(\\.)(\\d\\d)\n";
    WriteFileBytes(dir.file("page.bal"),
                   EncryptBytes(kDefinitionPassphrase, page + "page_url=" + server.url("/page") + "\n"));
    WriteFileBytes(dir.file("gone.bal"),
                   EncryptBytes(kDefinitionPassphrase, page + "page_url=http://127.0.0.1:1/page\n"));
    const std::string state = dir.file("state");
    const auto run = [&](const std::string& file, const std::string& mode) {
        setAmount(mode);
        return runTool({"check", q(dir.file(file)), "ACC", "--state-dir", q(state)}).exitCode;
    };
    EXPECT_EQ(run("page.bal", "100.00"), 0);
    EXPECT_EQ(run("page.bal", "none"), 3);
    EXPECT_EQ(run("page.bal", "500"), 1);
    EXPECT_EQ(run("gone.bal", "-"), 1);
    EXPECT_EQ(run("page.bal", "-20.05"), 0);

    ToolResult r = runTool({"history", "ACC", "--state-dir", q(state)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = r.out.substr(start, end - start);
        // The time, second field, is checked for its form only.
        const std::size_t comma = line.find(',');
        const std::size_t next = line.find(',', comma + 1);
        if (start > 0) {
            EXPECT_EQ(next - comma - 1, 20u) << line;
            EXPECT_EQ(line[next - 1], 'Z') << line;
            line.replace(comma + 1, next - comma - 1, "T");
        }
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 6u) << r.out;
    EXPECT_EQ(lines[0], "alert,time,balance,outcome,http_status,reason");
    EXPECT_EQ(lines[1], "ACC,T,100.00,balance,,");
    EXPECT_EQ(lines[2], "ACC,T,,no_balance,,");
    EXPECT_EQ(lines[3], "ACC,T,,http_status,500,");
    EXPECT_EQ(lines[4].rfind("ACC,T,,download_failed,,", 0), 0u) << lines[4];
    EXPECT_NE(lines[4].find("connect"), std::string::npos) << lines[4];
    EXPECT_EQ(lines[5], "ACC,T,-20.05,balance,,");

    r = runTool({"history", "--state-dir", q(state), "--format", "json", "--since", "1999-01-01"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("[\n  {\"alert\": \"ACC\", \"time\": \"", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"balance\": \"100.00\", \"outcome\": \"balance\", \"http_status\": 0, \"reason\": \"\"}"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"balance\": null, \"outcome\": \"http_status\", \"http_status\": 500"), std::string::npos);
    EXPECT_EQ(runTool({"history", "--state-dir", q(state), "--since", "2999-01-01"}).out,
              "alert,time,balance,outcome,http_status,reason\n");
    EXPECT_EQ(runTool({"history", "--state-dir", q(state), "--since", "2026-02-31"}).exitCode, 1);
    // The program's own history is not read without its password.
    r = runTool({"history"}, "", {"XDG_DATA_HOME=" + q(dir.file("data"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("program password"), std::string::npos) << r.err;
}

// The alert's limits and its failures in a row, kept in the state folder, carry over between
// runs as in the program: a balance below the limit is told once per stay, the count of failed
// runs reaches its notice once, and the next good run clears it.
TEST_F(CheckToolTest, LimitsAndFailuresInARowCarryOverBetweenRuns) {
    const std::string state = dir.file("state");
    ASSERT_TRUE(QDir().mkpath(q(state)));
    {
        TRegistry store(state + "/registry.db");
        const auto key = store.OpenKey("Software\\Brightmoor\\Tallyglass\\BANK", true);
        key->WriteString("WarnBelow", "5000");
        key->WriteInteger("FailuresBeforeNotice", 2);
        key->Close();
    }
    const auto tail = [](const std::string& warning, int failed) {
        return "\"warning\": \"" + warning + "\", \"failed_in_a_row\": " + std::to_string(failed) + "}\n";
    };
    const auto endsWith = [](const std::string& text, const std::string& end) {
        return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
    };
    const std::string told = "Bank: the balance 40.00 is below your limit of 50.00.";

    setAmount("40.00");
    ToolResult r = check({"--state-dir", q(state)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(endsWith(r.out, tail("below", 0))) << r.out;
    EXPECT_NE(r.err.find(told), std::string::npos) << r.err;
    setAmount("30.00");
    r = check({"--state-dir", q(state)});
    EXPECT_TRUE(endsWith(r.out, tail("below", 0))) << r.out;
    EXPECT_EQ(r.err.find("below your limit"), std::string::npos) << r.err;

    const QStringList wrong{"check", q(dir.file("bank.bal")), "BANK",  "--login", "anna", "--password",
                            "wrong", "--state-dir",           q(state)};
    r = runTool(wrong);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(endsWith(r.out, tail("below", 1))) << r.out; // the stored balance is still 30.00
    EXPECT_EQ(r.err.find("checks in a row have failed"), std::string::npos) << r.err;
    r = runTool(wrong);
    EXPECT_TRUE(endsWith(r.out, tail("below", 2))) << r.out;
    EXPECT_NE(r.err.find("Bank: 2 checks in a row have failed. The last one: "), std::string::npos) << r.err;
    r = runTool(wrong);
    EXPECT_TRUE(endsWith(r.out, tail("below", 3))) << r.out;
    EXPECT_EQ(r.err.find("checks in a row have failed"), std::string::npos) << r.err;

    setAmount("60.00");
    r = check({"--state-dir", q(state)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(endsWith(r.out, tail("", 0))) << r.out;
    EXPECT_NE(r.err.find("Bank can be read again."), std::string::npos) << r.err;
}

// An account added from its page by the real tool against a site that logs in as banks do: the
// numbers of the account page are listed with their context; the one picked becomes a definition
// without the login in it, whose check (with the login stored in the state folder) reads the balance.
// A page without a login form and a wrong password have exit codes of their own.
TEST(NewCommand, ListsPicksWritesADefinitionThatChecks) {
    BankSite site;
    TempDir dir;
    const QStringList pages{"new", "--page", q(site.http.url("/account")), "--login-page", q(site.http.url("/login"))};
    const QStringList account = pages + QStringList{"--login", "anna"};

    ToolResult r = runTool(account, "", {"TALLYGLASS_PASSWORD=p&ss w+rd"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"login_form\": {\"action\": \"" + site.http.url("/auth/do?x=1") +
                              "\", \"method\": \"POST\", \"login_field\": \"user\", \"password_field\": \"pw\", "
                              "\"tokens\": [\"csrf\"]}, \"numbers\": [",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\"value\": \"1234.56\", \"written\": \"1.234,56\", \"context\": \"Girokonto DE12 3456 "
                         "Saldo: 1.234,56 EUR Vorgemerkt: -12,50 EUR\"}"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("w+rd"), std::string::npos);
    EXPECT_EQ(r.err.find("w+rd"), std::string::npos);

    // Picked as the page writes it, written as text; the password comes from standard input.
    const std::string plain = dir.file("giro.bal");
    const std::string state = dir.file("state");
    r = runTool(account + QStringList{"--password-file", "-", "--pick", "1.234,56", "--id", "GIRO", "--name", "Giro",
                                      "--plain", "--out", q(plain), "--state-dir", q(state)},
                "p&ss w+rd\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("The definition of 'Giro' was written to '" + plain + "'."), std::string::npos) << r.err;
    EXPECT_EQ(
        r.out.rfind("{\"list_name\": \"127.0.0.1\", \"alerts\": [{\"name\": \"Giro\", \"unique_id\": \"GIRO\"", 0), 0u)
        << r.out;
    const std::string text = ReadFileBytes(plain);
    EXPECT_NE(text.find("{PASSWORD}"), std::string::npos) << text;
    EXPECT_EQ(text.find("anna"), std::string::npos) << text;
    for (const std::string secret : {"w+rd", "w%2Brd"}) {
        EXPECT_EQ(text.find(secret), std::string::npos) << text;
        EXPECT_EQ(r.err.find(secret), std::string::npos) << r.err;
    }
    // The file is not replaced without being asked to.
    r = runTool(account + QStringList{"--password", "x", "--pick", "1.234,56", "--id", "GIRO", "--out", q(plain)});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(ReadFileBytes(plain), text);

    const std::string encrypted = dir.file("BalanceAlerts/giro.bal");
    ASSERT_TRUE(QDir().mkpath(q(dir.file("BalanceAlerts"))));
    ASSERT_EQ(runTool({"encrypt", q(plain), q(encrypted)}).exitCode, 0);
    r = runTool({"check", q(encrypted), "GIRO", "--state-dir", q(state)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"status\": \"OK\", \"request_ok\": true, \"balance\": \"1234.56\"", 0), 0u) << r.out;

    r = runTool(QStringList{"new", "--page", q(site.http.url("/account")), "--login-page",
                            q(site.http.url("/overview")), "--login", "anna", "--password", "p&ss w+rd"});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.err.find("The page has no form with a password field."), std::string::npos) << r.err;
    r = runTool(account + QStringList{"--password", "wrong", "--pick-index", "1"});
    EXPECT_EQ(r.exitCode, 5) << r.err;
    EXPECT_NE(r.err.find("The login did not succeed"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}
