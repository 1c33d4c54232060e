#pragma once

#include <string>

// Qt's own texts (the buttons of message boxes, the context menus of text fields, key names) in the
// language of the program's translation: loads Qt's translation catalogue for `language` (a code
// such as "de" or "de_DE") from Qt's translations folder and installs it on the application,
// replacing one installed before. English, an empty or unknown language, or a missing catalogue
// leave Qt's English. True when a catalogue is installed.
bool InstallQtTranslation(const std::string& language);
