#pragma once

#include "currency/CurrencyList.h"
#include "translate/TranslateFn.h"

#include <memory>
#include <string>
#include <vector>

class TRegistry;
class TLogFile;

// Shared: a run of a list's script keeps the list alive until its worker has ended.
using TCurrencyLists = std::vector<std::shared_ptr<TCurrencyList>>;

// Provider scripts: one encrypted ".js" file per rate list in the program's CurrencyRates/ folder.
// A script defines get_page_url, get_country_code and get_list_name, asked once at loading in an
// engine without program objects, and get_currency_list and execute, run later by
// TGetCurrencyRatesThread with CurrencyList and Request present.

// Makes the list of a script from its decrypted text: loads it into a fresh host (a script that
// does not parse gives nullptr and "[ERR] Unable to parse script '<file>'!" in the log), asks the
// three loading functions for the page address, the country code and the list name (the name
// replaced by its translation "I.<name>" of section "ALERTS" when there is one), and reads the
// list's stored state. `fileName` is the script's file name without folder.
std::unique_ptr<TCurrencyList> LoadCurrencyScriptText(const std::string& fileName, const std::string& text,
                                                      TLogFile* log = nullptr, const TTranslateFn& translate = {},
                                                      TRegistry* store = nullptr);

// The same from a file: reads it and decrypts it, unless `plain`; the text ends at its first zero
// byte, and a UTF-8 byte-order mark at its start is dropped. Any failure, an unreadable file
// included, gives nullptr and "[ERR] Exception in parsing script '<file>'!" in the log.
std::unique_ptr<TCurrencyList> LoadCurrencyScript(const std::string& path, TLogFile* log = nullptr,
                                                  const TTranslateFn& translate = {}, TRegistry* store = nullptr,
                                                  bool plain = false);

// Every ".js" file (extension in any letter case, directories skipped) of the folder, in name order
// (FileNameLess); scripts that fail to load are left out. A file whose name differs only in letter
// case from that of a list already loaded would share its stored state: it is skipped, with
// "[ERR] Script '<file>' skipped: ..." in the log. Files whose names match one of `replaced`
// (letter case ignored) are skipped without a word. The folder path ends with a separator.
TCurrencyLists LoadCurrencyScripts(const std::string& folder, TLogFile* log = nullptr,
                                   const TTranslateFn& translate = {}, TRegistry* store = nullptr,
                                   const std::vector<std::string>& replaced = {});

// The providers at program start: when a script engine is available, the lists of the program's
// CurrencyRates/ folder and of the user's own (userPath + "CurrencyRates/"), in name order; a user
// script that loads replaces the shipped one of the same name, letter case ignored, and keeps its
// stored state. Without an engine there are none, message 1076 goes to the log, and the currency
// features stay hidden for the run. Both paths end with a separator; userPath may be empty.
struct TCurrencyProviders {
    bool Available = false;
    TCurrencyLists Lists;
};
TCurrencyProviders LoadCurrencyProviders(const std::string& exePath, const std::string& userPath,
                                         TLogFile* log = nullptr, const TTranslateFn& translate = {},
                                         TRegistry* store = nullptr);
