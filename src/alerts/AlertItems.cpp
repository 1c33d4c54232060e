#include "alerts/AlertItems.h"

#include "base/Encoders.h"
#include "base/LogFile.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/Strings.h"
#include "translate/Messages.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

bool ParseNeedAuth(const std::string& value) {
    const std::string lower = AsciiLower(value);
    return lower == "yes" || lower == "true" || lower == "1";
}

bool ParseIsPost(const std::string& value) {
    return AsciiUpper(value) == "POST";
}

// Splits a line into key (lower case, not trimmed) and value; false when it has no '='.
bool SplitKeyLine(const std::string& line, std::string& key, std::string& value) {
    const auto eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    key = AsciiLower(std::string_view(line).substr(0, eq));
    value = line.substr(eq + 1);
    return true;
}

void SetAlertField(TAlertItem& alert, const std::string& key, const std::string& value) {
    if (key == "unique_id")
        alert.unique_id = value;
    else if (key == "page_url")
        alert.page_url = value;
    else if (key == "pattern")
        alert.pattern = value;
    else if (key == "info_script")
        alert.info_script = value;
    else if (key == "need_auth")
        alert.NeedAuth = ParseNeedAuth(value);
    else if (key == "post_data")
        alert.post_data = value;
    else if (key == "chunks")
        alert.chunks = value;
    else if (key == "method")
        alert.IsPost = ParseIsPost(value);
    else if (key == "group_name")
        alert.group_name = value;
}

// The five values of the chunk block being read. They survive chunk_end, so a block without
// chunk_begin starts from the previous block's values.
struct TChunkValues {
    std::string url, method, postData, pattern, infoScript;

    bool Set(const std::string& key, const std::string& value) {
        if (key == "chunk_url")
            url = value;
        else if (key == "chunk_method")
            method = value;
        else if (key == "chunk_postdata")
            postData = value;
        else if (key == "chunk_pattern")
            pattern = value;
        else if (key == "chunk_info_script")
            infoScript = value;
        else
            return false;
        return true;
    }

    std::unique_ptr<TChunk> Make() const {
        auto chunk = std::make_unique<TChunk>();
        chunk->chunk_url = url;
        chunk->IsPost = ParseIsPost(method);
        chunk->chunk_postdata = postData;
        chunk->chunk_pattern = pattern;
        chunk->chunk_info_script = infoScript;
        return chunk;
    }
};

enum class TSection { none, common, alert, chunks };

// A header's name: the line without its first and its last character.
std::string HeaderName(const std::string& line) {
    return line.size() < 2 ? std::string() : line.substr(1, line.size() - 2);
}

} // namespace

void TAlertItems::Clear() {
    Groups.clear();
    Alerts.clear();
}

TAlertItem* TAlertItems::AddAlert(std::unique_ptr<TAlertItem> alert) {
    TAlertItem* raw = alert.get();
    if (raw == nullptr)
        return nullptr;
    const bool held = std::any_of(Alerts.begin(), Alerts.end(), [raw](const auto& a) { return a.get() == raw; });
    if (held) {
        (void)alert.release(); // already owned by Alerts
        return raw;
    }
    raw->Owner = this;
    Groups[raw->group_name].push_back(raw);
    Alerts.push_back(std::move(alert));
    LoadState(*raw);
    return raw;
}

TAlertItem* TAlertItems::FindByUniqueId(const std::string& id) const {
    for (const auto& alert : Alerts)
        if (alert->unique_id == id)
            return alert.get();
    return nullptr;
}

TAlertItem* TAlertItems::FindByChunksName(const std::string& name) const {
    for (const auto& alert : Alerts)
        if (alert->chunks == name)
            return alert.get();
    return nullptr;
}

bool TAlertItems::LoadFromFile() {
    Clear();
    bool read = false;
    try {
        std::ifstream in(FileName, std::ios::binary);
        if (in) {
            std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            read = !in.bad();
            if (read)
                LoadFromBytes(std::move(bytes));
        }
    } catch (const std::exception&) {
        // An unreadable or broken file keeps what was added before the failure.
    }
    LoadCustomAlerts();
    return read;
}

void TAlertItems::LoadFromBytes(std::string encrypted) {
    std::string plain;
    Decrypt(kDefinitionPassphrase, encrypted, plain);
    LoadFromText(plain);
}

void TAlertItems::LoadFromText(const std::string& plainText) {
    const std::string text = DefinitionText(plainText);

    TSection state = TSection::none;
    std::unique_ptr<TAlertItem> building;
    TAlertItem* chunkTarget = nullptr;
    TChunkValues current;

    for (const std::string& line : SplitLines(text)) {
        if (line.empty()) {
            if (state == TSection::alert && building)
                AddAlert(std::move(building));
            state = TSection::none;
            continue;
        }
        if (line == "[COMMON]") {
            state = TSection::common;
            continue;
        }
        if (line[0] == '[') {
            // An alert whose section was not closed by an empty line is dropped here.
            building = std::make_unique<TAlertItem>(this);
            building->Name = HeaderName(line);
            state = TSection::alert;
            continue;
        }
        if (line[0] == '{') {
            chunkTarget = FindByChunksName(HeaderName(line));
            state = TSection::chunks;
            continue;
        }

        std::string key, value;
        switch (state) {
        case TSection::none:
            break;
        case TSection::common:
            if (SplitKeyLine(line, key, value) && key == "list_name") {
                ListName = value;
                list_name = value;
            }
            break;
        case TSection::alert:
            if (building && SplitKeyLine(line, key, value))
                SetAlertField(*building, key, value);
            break;
        case TSection::chunks:
            if (line == "chunk_begin") {
                current = TChunkValues();
            } else if (line == "chunk_end") {
                if (chunkTarget != nullptr)
                    chunkTarget->ChunkList.push_back(current.Make());
            } else if (SplitKeyLine(line, key, value)) {
                current.Set(key, value);
            }
            break;
        }
    }
    if (building)
        AddAlert(std::move(building));
}

namespace {

// A definition file that cannot be read is logged and left out.
constexpr unsigned kUnreadableDefinition = 2035;

bool FolderExists(const std::string& folder) {
    std::error_code error;
    return std::filesystem::is_directory(folder, error);
}

} // namespace

std::vector<std::unique_ptr<TAlertItems>> LoadAlertFolders(const std::vector<std::string>& folders,
                                                           const std::string& registryRoot, const std::string& stateKey,
                                                           TLogFile* log, const TTranslateFn& translate,
                                                           TRegistry* store) {
    auto translated = [&translate](const std::string& name) {
        return translate ? translate("ALERTS", "I." + name) : std::string();
    };
    // Only lists of later folders are looked at: two files of one folder whose names differ only in
    // letter case are both loaded, as before.
    using Lists = std::vector<std::unique_ptr<TAlertItems>>;
    auto claimed = [](const Lists& lists, std::size_t laterLists, const std::string& name) {
        for (std::size_t i = 0; i < laterLists; ++i) {
            const std::string& file = lists[i]->FileName;
            if (AsciiEqualNoCase(std::string_view(file).substr(file.rfind('/') + 1), name))
                return static_cast<std::ptrdiff_t>(i);
        }
        return std::ptrdiff_t{-1};
    };

    Lists loaded;
    for (std::size_t f = folders.size(); f-- > 0;) {
        const std::string& folder = folders[f];
        if (f != 0 && !FolderExists(folder))
            continue;
        if (log != nullptr)
            log->WriteLog(LoadStr(1048), {folder});
        std::uint64_t total = 0;
        std::uint64_t count = 0;
        std::size_t laterLists = loaded.size();
        for (const std::string& name : FilesWithExtension(folder, ".bal")) {
            const std::ptrdiff_t same = claimed(loaded, laterLists, name);
            // A later folder's file that holds alerts has taken this name; one that holds none gives way.
            if (same >= 0 && !loaded[static_cast<std::size_t>(same)]->Alerts.empty())
                continue;
            auto list = std::make_unique<TAlertItems>();
            list->FileName = folder + name;
            list->RegistryRoot = registryRoot;
            list->StateKey = stateKey;
            list->Store = store;
            if (!list->LoadFromFile()) {
                if (log != nullptr)
                    log->WriteLog(LoadStr(kUnreadableDefinition), {list->FileName});
                continue;
            }
            if (same >= 0) {
                // A later folder's file that held nothing gives way to this one.
                loaded.erase(loaded.begin() + same);
                --laterLists;
            }
            // Only the shown names change; custom alerts stay recorded under the file's list_name.
            if (std::string listName = translated(list->ListName); !listName.empty())
                list->ListName = std::move(listName);
            total += list->Alerts.size();
            ++count;
            for (const auto& alert : list->Alerts) {
                std::string alertName = translated(alert->Name);
                if (!alertName.empty()) {
                    const auto lock = alert->Lock();
                    alert->Name = std::move(alertName);
                }
            }
            loaded.push_back(std::move(list));
        }
        if (log != nullptr)
            log->WriteLog(LoadStr(1049), {total, count});
    }
    return loaded;
}

std::vector<std::unique_ptr<TAlertItems>> LoadAlertFolder(const std::string& folder, const std::string& registryRoot,
                                                          const std::string& stateKey, TLogFile* log,
                                                          const TTranslateFn& translate, TRegistry* store) {
    return LoadAlertFolders({folder}, registryRoot, stateKey, log, translate, store);
}

std::string DefinitionFolder(const TAlertItems& list) {
    const std::size_t slash = list.FileName.rfind('/');
    return slash == std::string::npos ? std::string() : list.FileName.substr(0, slash + 1);
}
