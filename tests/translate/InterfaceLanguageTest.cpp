#include "translate/InterfaceLanguage.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cstdlib>
#include <map>

namespace {

// Sets the locale variables for one case and puts the previous values back afterwards.
class LocaleVariables {
public:
    explicit LocaleVariables(const std::map<std::string, std::string>& values) {
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* old = std::getenv(name);
            if (old != nullptr)
                m_saved[name] = old;
            const auto it = values.find(name);
            if (it != values.end())
                setenv(name, it->second.c_str(), 1);
            else
                unsetenv(name);
        }
    }
    ~LocaleVariables() {
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const auto it = m_saved.find(name);
            if (it != m_saved.end())
                setenv(name, it->second.c_str(), 1);
            else
                unsetenv(name);
        }
    }

private:
    std::map<std::string, std::string> m_saved;
};

std::vector<std::string> languagesWith(const std::map<std::string, std::string>& values) {
    const LocaleVariables variables(values);
    return DesktopLanguages();
}

} // namespace

TEST(InterfaceLanguage, TheDesktopsLocaleIsReadAsGettextReadsIt) {
    using L = std::vector<std::string>;
    EXPECT_EQ(languagesWith({{"LANG", "de_DE.UTF-8"}}), (L{"de_DE"}));
    EXPECT_EQ(languagesWith({{"LANG", "en_GB.UTF-8"}, {"LC_MESSAGES", "de_AT@euro"}}), (L{"de_AT"}));
    EXPECT_EQ(languagesWith({{"LC_ALL", "fr_FR"}, {"LC_MESSAGES", "de_DE"}, {"LANGUAGE", "de:en_GB.UTF-8:"}}),
              (L{"de", "en_GB", "fr_FR"}));
    // The C locale is English, whatever LANGUAGE says; no locale at all is the same.
    EXPECT_TRUE(languagesWith({{"LANG", "C.UTF-8"}, {"LANGUAGE", "de"}}).empty());
    EXPECT_TRUE(languagesWith({{"LC_ALL", "POSIX"}}).empty());
    EXPECT_TRUE(languagesWith({}).empty());
}

TEST(InterfaceLanguage, BesideTheProgramThenTheUsersOwnThenTheShippedOneOfTheLanguage) {
    TempDir dir;
    const std::string program = dir.path() + "/program/";
    const std::string config = dir.path() + "/config/";
    QDir().mkpath(QString::fromStdString(program + "translations"));
    QDir().mkpath(QString::fromStdString(config + "tallyglass"));
    WriteFileBytes(program + "translations/Interface.DE.txt", "de");
    WriteFileBytes(program + "translations/interface.pt_BR.txt", "pt_BR");

    EXPECT_EQ(FindInterfaceFile(program, config, {"de_DE"}), program + "translations/Interface.DE.txt");
    EXPECT_EQ(FindInterfaceFile(program, config, {"pt_BR"}), program + "translations/interface.pt_BR.txt");
    EXPECT_EQ(FindInterfaceFile(program, config, {"fr_FR", "de"}), program + "translations/Interface.DE.txt");
    // English is built in: it ends the search, and a language without a translation is English.
    EXPECT_EQ(FindInterfaceFile(program, config, {"en_GB", "de"}), "");
    EXPECT_EQ(FindInterfaceFile(program, config, {"fr_FR"}), "");
    EXPECT_EQ(FindInterfaceFile(program, config, {}), "");
    EXPECT_EQ(FindInterfaceFile(program, config, {"../../etc/x"}), "");

    WriteFileBytes(config + "tallyglass/interface.txt", "own");
    EXPECT_EQ(FindInterfaceFile(program, config, {"de_DE"}), config + "tallyglass/interface.txt");
    EXPECT_EQ(FindInterfaceFile(program, config, {}), config + "tallyglass/interface.txt");
    WriteFileBytes(program + "interface.txt", "beside");
    EXPECT_EQ(FindInterfaceFile(program, config, {"de_DE"}), program + "interface.txt");
}
