#pragma once

#include "desktop/BalanceEntry.h"

#include <string>
#include <string_view>

// What a status bar shows of the Balance List (tallyglass-tool status).
enum class TStatusFormat { Text, Json, Waybar, I3blocks };

// "text", "json", "waybar", "i3blocks"; false for anything else.
bool ParseStatusFormat(std::string_view name, TStatusFormat& format);

// The template of one row when none is given.
inline constexpr const char* kDefaultStatusTemplate = "{name} {balance}";

// The state as one word: "stopped" (no rows: the program does not run), "failed" (a row's last
// check failed), "warning" (a balance lies beyond a limit), "changed" (a balance moved at its last
// check) or "ok", the first that applies.
std::string StatusClass(const TBalanceEntries* entries);

// Each row through `rowTemplate`, joined by " · ". The template's {id}, {name}, {balance}, {trend},
// {status}, {warning} and {failed} stand for the row's fields; other text stays as it is.
std::string StatusText(const TBalanceEntries& entries, const std::string& rowTemplate);

// What the format prints for the rows (null: the program does not run), without the final line
// break. i3blocks gives full_text, short_text and, for a state worth a colour, the colour, one a
// line; followed, it gives the full text alone, as i3blocks' persistent blocks read it.
std::string StatusOutput(TStatusFormat format, const TBalanceEntries* entries, const std::string& rowTemplate,
                         bool follow);
