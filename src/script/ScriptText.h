#pragma once

#include "platform/Strings.h"

#include <QString>

#include <string>
#include <string_view>

// Texts cross into the script engine here and nowhere else. The program's texts are bytes in
// UTF-8; pages from sites that still use a legacy code page are not valid UTF-8, and each byte
// that does not belong to a valid sequence reaches the script as the Latin-1 character of the
// same value, so no byte is lost.
QString ToScriptText(std::string_view bytes);

// A script's text as UTF-8 bytes. A lone surrogate, which has no UTF-8 form, becomes U+FFFD.
std::string FromScriptText(const QString& text);

// Names of script-visible objects and their members are compared by AsciiLower (platform/Strings.h):
// ASCII letters lower-cased, other bytes unchanged.
