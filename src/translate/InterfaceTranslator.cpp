#include "translate/InterfaceTranslator.h"

#include "platform/Strings.h"
#include "translate/Messages.h"

#include <QMetaObject>
#include <QObject>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::atomic<TInterfaceTranslator*> g_installed{nullptr};
// Mirrors "installed and active" for threads that must not touch the translator itself.
std::atomic<bool> g_installedActive{false};

} // namespace

TInterfaceTranslator::TInterfaceTranslator() : m_store(std::make_unique<TIniInterfaceStore>()) {}

TInterfaceTranslator::~TInterfaceTranslator() {
    if (g_installed.load() == this)
        SetInterfaceTranslator(nullptr);
}

void TInterfaceTranslator::SetFileName(const std::string& fileName) {
    if (fileName == m_fileName)
        return;
    m_fileName = fileName;
    if (!m_loading)
        DoWork();
}

void TInterfaceTranslator::SetActive(bool active) {
    if (!active) {
        m_active = false;
        ActiveChanged();
        return;
    }
    if (m_active)
        return;
    if (m_loading) {
        m_active = true; // Loaded reads the file
        return;
    }
    if (m_fileName.empty()) {
        m_active = false;
        ActiveChanged();
        throw ETranslatorError("Please specify output file name!");
    }
    m_active = true;
    LoadInterface();
    ActiveChanged();
    DoTranslateForms();
}

void TInterfaceTranslator::ActiveChanged() {
    if (g_installed.load() == this)
        g_installedActive.store(m_active);
}

void TInterfaceTranslator::DoWork() {
    if (m_fileName.empty())
        return;
    const bool wasActive = m_active;
    SetActive(false);
    SetActive(wasActive);
}

void TInterfaceTranslator::Loaded() {
    m_loading = false;
    DoWork();
}

void TInterfaceTranslator::LoadInterface() {
    m_store->Clear();
    m_refusedSize = 0;
    m_customIndex.clear();
    m_indexedSection.clear();
    m_sectionValues.clear();
    std::ifstream file(m_fileName, std::ios::binary);
    if (!file)
        return;
    try {
        // Read with a limit, so that neither a huge file nor an endless one (a device) is taken in.
        std::string text(static_cast<std::size_t>(kMaxFileBytes) + 1, '\0');
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(file.gcount()));
        if (text.size() > kMaxFileBytes) {
            std::error_code error;
            const auto size = std::filesystem::file_size(m_fileName, error);
            m_refusedSize = !error && size > kMaxFileBytes ? static_cast<std::uint64_t>(size) : kMaxFileBytes + 1;
            return;
        }
        std::istringstream stream(std::move(text));
        m_store->LoadFromStream(stream);
    } catch (const std::exception&) {
        // An unreadable file is no translation at all, not an error.
        m_store->Clear();
    }
    IndexCustomSection();
}

void TInterfaceTranslator::IndexCustomSection() {
    m_customIndex.clear();
    m_indexedSection = CustomSectionName;
    if (!m_store->FindSection(CustomSectionName))
        return;
    std::vector<std::string> parts;
    std::string value;
    while (m_store->NextEntry())
        if (ReadEntry(parts, value) && parts.size() >= 2)
            m_customIndex.emplace(parts[1], value); // the first entry of a part wins
}

void TInterfaceTranslator::DoTranslateForms() {
    if (m_forms == nullptr)
        return;
    for (QObject* form : m_forms->ExistingForms())
        Translate(form);
}

void TInterfaceTranslator::Translate(QObject* form) {
    if (!m_active || form == nullptr)
        return;
    AssignComponentName(form);
    if (m_forms != nullptr)
        m_forms->ApplyToForm(*this, form);
}

bool TInterfaceTranslator::ReadEntry(std::vector<std::string>& parts, std::string& value) {
    parts.clear();
    value.clear();
    TKeyPart part;
    while (m_store->ReadKeyPart(part)) {
        parts.push_back(part.Part);
        if (part.IsLast) {
            value = part.Value;
            return true;
        }
    }
    return false;
}

bool TInterfaceTranslator::FindCustomEntry(const std::string& second, std::string& value) {
    if (!AsciiEqualNoCase(m_indexedSection, CustomSectionName))
        IndexCustomSection();
    const auto entry = m_customIndex.find(second);
    if (entry == m_customIndex.end())
        return false;
    value = entry->second;
    return true;
}

std::string TInterfaceTranslator::LoadStr(unsigned id) {
    std::string value;
    if (TranslationMode == TTranslationMode::tmTranslate && FindCustomEntry(std::to_string(id), value))
        return value;
    return BuiltInMessage(id);
}

std::string TInterfaceTranslator::GetValue(const std::string& section, const std::string& key) {
    if (TranslationMode != TTranslationMode::tmTranslate)
        return {};
    // Each section is walked once; later lookups in it come from what that walk noted.
    auto [values, added] = m_sectionValues.try_emplace(AsciiLower(section));
    if (added && m_store->FindSection(section)) {
        std::vector<std::string> parts;
        std::string value;
        while (m_store->NextEntry()) {
            if (!ReadEntry(parts, value))
                continue;
            std::string joined = parts.front();
            for (std::size_t i = 1; i < parts.size(); ++i)
                joined += "." + parts[i];
            values->second.emplace(std::move(joined), value); // the first entry of a key wins
        }
    }
    const auto found = values->second.find(key);
    return found != values->second.end() ? found->second : std::string();
}

std::string TInterfaceTranslator::Translate(const std::string& text) {
    std::string value;
    if (TranslationMode == TTranslationMode::tmTranslate && FindCustomEntry(GetHash(text), value))
        return value;
    return text;
}

std::string TInterfaceTranslator::GetHash(const std::string& text) {
    if (text.empty())
        return "BAD_STR_HASH";
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes the length as uInt: feed long texts in pieces.
    const auto* bytes = reinterpret_cast<const Bytef*>(text.data());
    std::size_t left = text.size();
    while (left > 0) {
        const auto piece = static_cast<uInt>(std::min<std::size_t>(left, 1u << 30));
        crc = crc32(crc, bytes, piece);
        bytes += piece;
        left -= piece;
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08u", static_cast<unsigned>(crc & 0xFFFFFFFFu));
    return digits;
}

void TInterfaceTranslator::AddDisallowedMetaclass(const QMetaObject* metaclass) {
    if (metaclass != nullptr && !IsDisallowedClass(metaclass))
        m_disallowed.push_back(metaclass);
}

bool TInterfaceTranslator::IsDisallowedClass(const QMetaObject* metaclass) const {
    return std::find(m_disallowed.begin(), m_disallowed.end(), metaclass) != m_disallowed.end();
}

const QMetaObject* TInterfaceTranslator::GetDisallowedMetaclass(int index) const {
    if (index < 0 || index >= GetDisallowedCount())
        return nullptr;
    return m_disallowed[static_cast<std::size_t>(index)];
}

void AssignComponentName(QObject* form) {
    if (form == nullptr || !form->objectName().isEmpty() || form->parent() == nullptr)
        return;
    const QString base = QString::fromLatin1(form->metaObject()->className()).mid(1);
    const QObjectList& siblings = form->parent()->children();
    for (int number = 1;; ++number) {
        const QString name = base + QString::number(number);
        const bool taken = std::any_of(siblings.begin(), siblings.end(), [&](const QObject* other) {
            return other != form && other->objectName().compare(name, Qt::CaseInsensitive) == 0;
        });
        if (!taken) {
            form->setObjectName(name);
            return;
        }
    }
}

TInterfaceTranslator& InterfaceTranslator() {
    if (TInterfaceTranslator* installed = g_installed.load())
        return *installed;
    static TInterfaceTranslator standIn;
    return standIn;
}

void SetInterfaceTranslator(TInterfaceTranslator* translator) {
    g_installed.store(translator);
    g_installedActive.store(translator != nullptr && translator->Active());
}

bool InterfaceTranslatorActive() {
    return g_installedActive.load();
}
