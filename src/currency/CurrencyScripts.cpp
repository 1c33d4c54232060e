#include "currency/CurrencyScripts.h"

#include "platform/Paths.h"

#include "base/Encoders.h"
#include "base/LogFile.h"
#include "platform/Strings.h"
#include "script/ActiveScriptEngine.h"
#include "translate/Messages.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

// The loader's own log lines, numbered messages like every other line of the log.
constexpr unsigned kUnableToParse = 2032;
constexpr unsigned kExceptionInParsing = 2033;
constexpr unsigned kSameNameSkipped = 2034;

void WriteLog(TLogFile* log, unsigned message, const std::string& fileName) {
    if (log != nullptr)
        log->WriteLog(LoadStr(message), {fileName});
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

} // namespace

std::unique_ptr<TCurrencyList> LoadCurrencyScriptText(const std::string& fileName, const std::string& text,
                                                      TLogFile* log, const TTranslateFn& translate, TRegistry* store) {
    // No program objects and no event handlers: the loading functions can reach neither
    // CurrencyList nor Request, and what they report is not logged.
    TActiveScriptEngine host;
    if (!host.LoadScript(text)) {
        WriteLog(log, kUnableToParse, fileName);
        return nullptr;
    }
    auto list = std::make_unique<TCurrencyList>();
    list->ScriptText = text;
    list->ScriptFileName = fileName;
    list->Store = store;
    if (host.CallFunction("get_page_url"))
        list->PageUrl = host.Result().Text();
    if (host.CallFunction("get_country_code"))
        list->CountryCode = host.Result().Text();
    if (host.CallFunction("get_list_name")) {
        list->ListName = host.Result().Text();
        if (translate) {
            if (std::string translated = translate("ALERTS", "I." + list->ListName); !translated.empty())
                list->ListName = std::move(translated);
        }
    }
    list->LoadFromRegistry(list->ListKey());
    return list;
}

std::unique_ptr<TCurrencyList> LoadCurrencyScript(const std::string& path, TLogFile* log, const TTranslateFn& translate,
                                                  TRegistry* store, bool plain) {
    const std::string fileName = std::filesystem::path(path).filename().string();
    try {
        std::string text = ReadFile(path);
        if (!plain)
            text = DecryptBytes(kDefinitionPassphrase, text);
        return LoadCurrencyScriptText(fileName, DefinitionText(text), log, translate, store);
    } catch (const std::exception&) {
        WriteLog(log, kExceptionInParsing, fileName);
        return nullptr;
    }
}

TCurrencyLists LoadCurrencyScripts(const std::string& folder, TLogFile* log, const TTranslateFn& translate,
                                   TRegistry* store, const std::vector<std::string>& replaced) {
    TCurrencyLists lists;
    for (const std::string& name : FilesWithExtension(folder, ".js")) {
        if (std::any_of(replaced.begin(), replaced.end(),
                        [&name](const std::string& other) { return AsciiEqualNoCase(name, other); }))
            continue;
        // A list keeps its state under its file name, and the registry ignores the letter case of
        // key names: of two files whose names differ only in case, the first in name order is
        // loaded, and the other would share its stored state.
        const std::string fold = FoldCurrencyName(name);
        const auto same = std::find_if(lists.begin(), lists.end(), [&fold](const auto& list) {
            return FoldCurrencyName(list->ScriptFileName) == fold;
        });
        if (same != lists.end()) {
            if (log != nullptr)
                log->WriteLog(LoadStr(kSameNameSkipped), {name, (*same)->ScriptFileName});
            continue;
        }
        if (auto list = LoadCurrencyScript(folder + name, log, translate, store))
            lists.push_back(std::move(list));
    }
    return lists;
}

TCurrencyProviders LoadCurrencyProviders(const std::string& exePath, const std::string& userPath, TLogFile* log,
                                         const TTranslateFn& translate, TRegistry* store) {
    TCurrencyProviders providers;
    providers.Available = ScriptEngineAvailable();
    if (!providers.Available) {
        if (log != nullptr)
            log->WriteLog(LoadStr(1076));
        return providers;
    }
    TCurrencyLists own;
    if (!userPath.empty())
        own = LoadCurrencyScripts(userPath + "CurrencyRates/", log, translate, store);
    std::vector<std::string> replaced;
    for (const auto& list : own)
        replaced.push_back(list->ScriptFileName);
    providers.Lists = LoadCurrencyScripts(exePath + "CurrencyRates/", log, translate, store, replaced);
    for (auto& list : own)
        providers.Lists.push_back(std::move(list));
    std::stable_sort(providers.Lists.begin(), providers.Lists.end(),
                     [](const auto& a, const auto& b) { return FileNameLess(a->ScriptFileName, b->ScriptFileName); });
    return providers;
}
