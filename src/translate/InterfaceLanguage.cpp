#include "translate/InterfaceLanguage.h"

#include "platform/Paths.h"
#include "platform/Strings.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// "de_DE.UTF-8@euro" -> "de_DE".
std::string BareLanguage(const std::string& locale) {
    return locale.substr(0, locale.find_first_of(".@"));
}

bool IsFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

std::vector<std::string> DesktopLanguages() {
    std::string locale = Environment("LC_ALL");
    if (locale.empty())
        locale = Environment("LC_MESSAGES");
    if (locale.empty())
        locale = Environment("LANG");
    const std::string bare = BareLanguage(locale);
    if (bare.empty() || bare == "C" || bare == "POSIX")
        return {};
    std::vector<std::string> languages;
    std::istringstream list(Environment("LANGUAGE"));
    for (std::string entry; std::getline(list, entry, ':');)
        if (entry = BareLanguage(entry); !entry.empty())
            languages.push_back(std::move(entry));
    languages.push_back(bare);
    return languages;
}

std::string FindInterfaceFile(const std::string& exePath, const std::string& configFolder,
                              const std::vector<std::string>& languages) {
    if (const std::string beside = exePath + "interface.txt"; IsFile(beside))
        return beside;
    if (const std::string own = configFolder + "tallyglass/interface.txt"; IsFile(own))
        return own;
    const std::string shipped = exePath + "translations/";
    for (const std::string& language : languages) {
        const std::string base = language.substr(0, language.find('_'));
        if (AsciiEqualNoCase(base, "en"))
            return std::string();
        // A name with a folder part would reach outside the translations.
        if (language.find('/') != std::string::npos)
            continue;
        for (const std::string& candidate : {language, base}) {
            if (std::string found = FindFileIgnoringCase(shipped, "interface." + candidate + ".txt"); !found.empty())
                return found;
        }
    }
    return std::string();
}
