#include "GuideMarkdown.h"
#include "GuideSite.h"

#include "support/TestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>

#if defined(__SANITIZE_THREAD__)
// The shell is started while the site's threads run. The child only executes the shell, so the
// thread checker may let a multi-threaded process fork.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
#endif

// Every worked example of the authors' guides, run through the real tallyglass-tool: the guide's
// file listings are the example files, and each terminal session of the guide, run by a shell in a
// copy of docs/examples/, prints what the guide shows. The live examples reach the sites of
// GuideSite through the proxy.
namespace {

const std::string kSource = TALLYGLASS_SOURCE_DIR;
const std::string kExamples = kSource + "/docs/examples";

// What the shell prints after each command: its exit status between two record separators.
constexpr char kMark = '\x1e';

class GuideExamples : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy(kExamples, work, std::filesystem::copy_options::recursive);
        std::filesystem::create_directories(home + "/.local/share");
        std::filesystem::create_directories(home + "/.config");
    }

    // The environment of the guide's sessions: the tool on the PATH, a home of the test's own, the
    // log's dates in one form, the site as the proxy of every address, no login given before.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", QString::fromStdString(std::string(TALLYGLASS_BIN_DIR) + ":") + env.value("PATH"));
        env.insert("HOME", QString::fromStdString(home));
        env.insert("XDG_DATA_HOME", QString::fromStdString(home + "/.local/share"));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(home + "/.config"));
        env.insert("LANG", "C.UTF-8");
        env.insert("LC_ALL", "C.UTF-8");
        const QString proxy = QString::fromStdString(site.ProxyAddress());
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            env.insert(name, proxy);
        for (const char* name : {"no_proxy", "NO_PROXY", "TALLYGLASS_LOGIN", "TALLYGLASS_PASSWORD"})
            env.remove(name);
        return env;
    }

    // Runs the commands of one terminal session in one shell, so that what a command sets (a
    // variable) holds for the next ones, as at a terminal, and compares each output with the guide's.
    void runSession(const std::string& guide, const GuideBlock& block) {
        std::string script = "exec 2>&1\n";
        for (const GuideCommand& command : block.commands)
            script += command.text + "\nprintf '\\036%d\\036\\n' \"$?\"\n";
        QProcess shell;
        shell.setProcessEnvironment(environment());
        shell.setWorkingDirectory(QString::fromStdString(work));
        shell.start("/bin/sh", {"-c", QString::fromStdString(script)});
        ASSERT_TRUE(shell.waitForStarted(10000)) << guide << ":" << block.line;
        shell.closeWriteChannel();
        ASSERT_TRUE(shell.waitForFinished(240000)) << guide << ":" << block.line << " does not end";
        const std::string output = shell.readAllStandardOutput().toStdString();

        std::size_t index = 0;
        for (std::size_t from = 0, mark; (mark = output.find(kMark, from)) != std::string::npos; ++index) {
            const std::string printed = output.substr(from, mark - from);
            const std::size_t close = output.find(kMark, mark + 1);
            if (close == std::string::npos || index >= block.commands.size())
                break;
            const std::string status = output.substr(mark + 1, close - mark - 1);
            from = close + 2; // and the line break
            const GuideCommand& command = block.commands[index];
            EXPECT_EQ(status, "0") << guide << ":" << command.line << ": " << command.text
                                   << "\nends with a failure; it printed\n"
                                   << printed;
            std::string why;
            EXPECT_TRUE(OutputMatches(command.expected, printed, why))
                << guide << ":" << command.line << ": " << command.text << "\n"
                << why << "\n--- it printed ---\n"
                << printed;
        }
        EXPECT_EQ(index, block.commands.size()) << guide << ":" << block.line << ": the session stopped early\n"
                                                << output;
    }

    // Checks the file listings and runs the sessions of one guide, in order, in one copy of the
    // examples. Returns how many sessions ran.
    int runGuide(const std::string& name) {
        const std::string guide = "docs/" + name;
        const std::vector<GuideBlock> blocks = ReadGuideBlocks(ReadFileBytes(kSource + "/" + guide));
        int sessions = 0;
        for (const GuideBlock& block : blocks) {
            if (block.kind == GuideBlock::Kind::File) {
                EXPECT_EQ(block.text, ReadFileBytes(kExamples + "/" + block.file))
                    << guide << ":" << block.line << " shows " << block.file << " otherwise than docs/examples/";
                continue;
            }
            runSession(guide, block);
            ++sessions;
        }
        const std::vector<std::string> unexpected = site.UnexpectedRequests();
        EXPECT_TRUE(unexpected.empty()) << guide
                                        << " made requests no example site answers, the first: " << unexpected.front();
        return sessions;
    }

    TempDir temporary;
    const std::string work = temporary.file("examples");
    const std::string home = temporary.file("home");
    GuideSite site{kExamples};
};

TEST_F(GuideExamples, DefinitionsGuideRunsAsShown) {
    EXPECT_GE(runGuide("definitions.md"), 8);
}

TEST_F(GuideExamples, ProvidersGuideRunsAsShown) {
    EXPECT_GE(runGuide("providers.md"), 3);
}

} // namespace
