#include "alerts/AlertItems.h"

#include "alerts/Encoders.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::string asciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string asciiUpper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool parseNeedAuth(const std::string& value) {
    const std::string lower = asciiLower(value);
    return lower == "yes" || lower == "true" || lower == "1";
}

bool parseIsPost(const std::string& value) {
    return asciiUpper(value) == "POST";
}

// Splits a line into key (lower case, not trimmed) and value; false when it has no '='.
bool splitKeyLine(const std::string& line, std::string& key, std::string& value) {
    const auto eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    key = asciiLower(line.substr(0, eq));
    value = line.substr(eq + 1);
    return true;
}

void setAlertField(TAlertItem& alert, const std::string& key, const std::string& value) {
    if (key == "unique_id")
        alert.unique_id = value;
    else if (key == "page_url")
        alert.page_url = value;
    else if (key == "pattern")
        alert.pattern = value;
    else if (key == "info_script")
        alert.info_script = value;
    else if (key == "need_auth")
        alert.NeedAuth = parseNeedAuth(value);
    else if (key == "post_data")
        alert.post_data = value;
    else if (key == "chunks")
        alert.chunks = value;
    else if (key == "method")
        alert.IsPost = parseIsPost(value);
    else if (key == "group_name")
        alert.group_name = value;
}

// The five values of the chunk block being read. They survive chunk_end, so a block without
// chunk_begin starts from the previous block's values.
struct ChunkValues {
    std::string url, method, postData, pattern, infoScript;

    bool set(const std::string& key, const std::string& value) {
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

    std::unique_ptr<TChunk> make() const {
        auto chunk = std::make_unique<TChunk>();
        chunk->chunk_url = url;
        chunk->IsPost = parseIsPost(method);
        chunk->chunk_postdata = postData;
        chunk->chunk_pattern = pattern;
        chunk->chunk_info_script = infoScript;
        return chunk;
    }
};

enum class Section { none, common, alert, chunks };

// A header's name: the line without its first and its last character.
std::string headerName(const std::string& line) {
    return line.size() < 2 ? std::string() : line.substr(1, line.size() - 2);
}

} // namespace

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    const std::size_t n = text.size();
    while (start < n) {
        std::size_t end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n')
            ++end;
        lines.push_back(text.substr(start, end - start));
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

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

void TAlertItems::LoadFromFile() {
    Clear();
    try {
        std::ifstream in(FileName, std::ios::binary);
        if (in) {
            std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            if (!in.bad())
                LoadFromBytes(std::move(bytes));
        }
    } catch (const std::exception&) {
        // An unreadable or broken file keeps what was added before the failure.
    }
}

void TAlertItems::LoadFromBytes(std::string encrypted) {
    std::string plain;
    Decrypt(kDefinitionPassphrase, encrypted, plain);
    LoadFromText(plain);
}

void TAlertItems::LoadFromText(const std::string& plainText) {
    const std::string text = plainText.substr(0, plainText.find('\0'));

    Section state = Section::none;
    std::unique_ptr<TAlertItem> building;
    TAlertItem* chunkTarget = nullptr;
    ChunkValues current;

    for (const std::string& line : SplitLines(text)) {
        if (line.empty()) {
            if (state == Section::alert && building)
                AddAlert(std::move(building));
            state = Section::none;
            continue;
        }
        if (line == "[COMMON]") {
            state = Section::common;
            continue;
        }
        if (line[0] == '[') {
            // An alert whose section was not closed by an empty line is dropped here.
            building = std::make_unique<TAlertItem>(this);
            building->Name = headerName(line);
            state = Section::alert;
            continue;
        }
        if (line[0] == '{') {
            chunkTarget = FindByChunksName(headerName(line));
            state = Section::chunks;
            continue;
        }

        std::string key, value;
        switch (state) {
        case Section::none:
            break;
        case Section::common:
            if (splitKeyLine(line, key, value) && key == "list_name")
                ListName = value;
            break;
        case Section::alert:
            if (building && splitKeyLine(line, key, value))
                setAlertField(*building, key, value);
            break;
        case Section::chunks:
            if (line == "chunk_begin") {
                current = ChunkValues();
            } else if (line == "chunk_end") {
                if (chunkTarget != nullptr)
                    chunkTarget->ChunkList.push_back(current.make());
            } else if (splitKeyLine(line, key, value)) {
                current.set(key, value);
            }
            break;
        }
    }
    if (building)
        AddAlert(std::move(building));
}

std::vector<std::unique_ptr<TAlertItems>> LoadAlertFolder(const std::string& folder, const std::string& registryRoot,
                                                          const std::string& stateKey) {
    namespace fs = std::filesystem;
    std::vector<std::unique_ptr<TAlertItems>> lists;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error)
        return lists;
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error)
            break;
        std::error_code statError;
        if (it->is_directory(statError))
            continue;
        const std::string name = it->path().filename().string();
        if (name.size() < 4 || asciiLower(name.substr(name.size() - 4)) != ".bal")
            continue;
        auto list = std::make_unique<TAlertItems>();
        list->FileName = folder + name;
        list->RegistryRoot = registryRoot;
        list->StateKey = stateKey;
        list->LoadFromFile();
        lists.push_back(std::move(list));
    }
    return lists;
}
