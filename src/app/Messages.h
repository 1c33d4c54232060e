#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

// Numbered messages (1000-1076): every user-visible text and log line of the program.

// The built-in text of a message; empty for a number without one.
std::string BuiltInMessage(unsigned id);

// The text of a message as the program shows it: from the active translator (app-wide, see
// translate/InterfaceTranslator.h), else the built-in text. Safe from any thread.
std::string LoadStr(unsigned id);

// One argument of a message: text, signed or unsigned number.
using MsgArg = std::variant<std::string, std::int64_t, std::uint64_t>;

// Fills "%s", "%d" and "%u" in order with the arguments ("%%" is a percent sign). The format may
// come from a translation file, so it is never trusted: a placeholder without an argument gives
// nothing, an argument of another kind is converted, and any other '%' sequence is copied.
std::string FormatMsg(const std::string& format, std::initializer_list<MsgArg> args);
