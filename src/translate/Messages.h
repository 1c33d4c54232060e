#pragma once

#include "base/MessageFormat.h"

#include <string>

// Numbered messages (1000-1076, and from 2000 the program's own): every user-visible text and log
// line of the program.

// The built-in text of a message; empty for a number without one.
std::string BuiltInMessage(unsigned id);

// The text of a message as the program shows it: from the active translator (app-wide, see
// translate/InterfaceTranslator.h), else the built-in text. Safe from any thread.
std::string LoadStr(unsigned id);
