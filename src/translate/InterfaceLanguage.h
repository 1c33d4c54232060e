#pragma once

#include <string>
#include <vector>

// Which translation the program starts with.

// The desktop's languages in order of preference, as gettext reads them: the locale of messages
// comes from LC_ALL, else LC_MESSAGES, else LANG; the "C" and "POSIX" locales (or none at all) give
// an empty list, and otherwise the colon-separated LANGUAGE list, when set, comes before that
// locale. Each entry loses its codeset and modifier ("de_DE.UTF-8@euro" gives "de_DE").
std::vector<std::string> DesktopLanguages();

// The translation file to use: "interface.txt" beside the program (exePath); else the user's own,
// configFolder + "tallyglass/interface.txt"; else the shipped translation of the first language
// that has one, exePath + "translations/interface.<language>.txt" with the language tried whole
// ("de_DE") and then without its territory ("de"), file names found without regard to letter
// case. English is built in: a language "en" ends the search. Empty when there is none. Both
// folders end with a separator.
std::string FindInterfaceFile(const std::string& exePath, const std::string& configFolder,
                              const std::vector<std::string>& languages);
