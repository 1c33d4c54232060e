#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

// One argument of a message: text, signed or unsigned number.
using TMsgArg = std::variant<std::string, std::int64_t, std::uint64_t>;

// Fills "%s", "%d" and "%u" in order with the arguments ("%%" is a percent sign). The format may
// come from a translation file, so it is never trusted: a placeholder without an argument gives
// nothing, an argument of another kind is converted, and any other '%' sequence is copied.
std::string FormatMsg(const std::string& format, std::initializer_list<TMsgArg> args);
