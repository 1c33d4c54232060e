#include "translate/InterfaceStore.h"

#include "platform/Strings.h"

#include <istream>
#include <iterator>
#include <ostream>

namespace {

constexpr const char* kLineBreakEscape = "{CRLF}";

bool IsSectionHeader(const std::string& line) {
    const std::string trimmed = Trim(line);
    return !trimmed.empty() && trimmed.front() == '[';
}

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, start)) {
        out.append(text, start, pos - start);
        out += to;
        start = pos + from.size();
    }
    out.append(text, start, std::string::npos);
    return out;
}

} // namespace

bool TIniInterfaceStore::IsEntryLine(const std::string& line) {
    const std::size_t equal = line.find('=');
    if (equal == std::string::npos || equal == 0 || equal + 1 == line.size())
        return false;
    const std::size_t dot = line.find('.');
    return dot != std::string::npos && dot != 0 && dot < equal && line[equal - 1] != '.';
}

std::ptrdiff_t TIniInterfaceStore::IndexOfSection(const std::string& name) const {
    const std::string header = "[" + name + "]";
    for (std::size_t i = 0; i < m_lines.size(); ++i)
        if (AsciiEqualNoCase(Trim(m_lines[i]), header))
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

void TIniInterfaceStore::ForgetEntry() {
    m_entry.clear();
    m_equalPos = -1;
    m_consumed = 0;
}

void TIniInterfaceStore::BeginSection(const std::string& name) {
    // The section is written anew at the end; earlier copies of it would shadow the new one.
    for (std::ptrdiff_t header = IndexOfSection(name); header >= 0; header = IndexOfSection(name)) {
        auto end = m_lines.begin() + header + 1;
        while (end != m_lines.end() && !IsSectionHeader(*end))
            ++end;
        m_lines.erase(m_lines.begin() + header, end);
    }
    // Line numbers of a section being walked are no longer valid.
    m_sectionIndex = -1;
    m_nextLine = -1;
    ForgetEntry();
    if (!m_lines.empty())
        m_lines.emplace_back();
    m_lines.push_back("[" + name + "]");
}

void TIniInterfaceStore::PushPathPart(const std::string& part) {
    m_path = m_path.empty() ? part : m_path + "." + part;
}

void TIniInterfaceStore::PopPathPart() {
    const std::size_t dot = m_path.rfind('.');
    m_path = dot == std::string::npos ? std::string() : m_path.substr(0, dot);
}

void TIniInterfaceStore::AddSeparator() {
    m_lines.emplace_back();
}

void TIniInterfaceStore::ClearPath() {
    m_path.clear();
    m_equalPos = -1;
    m_consumed = 0;
}

void TIniInterfaceStore::WriteValue(const std::string& name, const std::string& value) {
    const std::string key = m_path.empty() ? name : m_path + "." + name;
    m_lines.push_back(key + "=" + ConvertValue(value, TConvertDirection::cdEncode));
}

bool TIniInterfaceStore::FindSection(const std::string& name) {
    ForgetEntry();
    const std::ptrdiff_t header = IndexOfSection(name);
    if (header >= 0 && static_cast<std::size_t>(header) + 1 < m_lines.size()) {
        m_sectionIndex = header;
        m_nextLine = header + 1;
        return true;
    }
    m_sectionIndex = -1;
    m_nextLine = -1;
    return false;
}

bool TIniInterfaceStore::NextEntry() {
    // A failed call leaves no half-read entry behind for ReadKeyPart.
    ForgetEntry();
    if (m_nextLine < 0)
        return false;
    std::size_t index = static_cast<std::size_t>(m_nextLine);
    std::string line;
    for (; index < m_lines.size(); ++index) {
        line = Trim(m_lines[index]);
        if (!line.empty())
            break;
    }
    // The first line that is neither blank nor an entry ends the section, for this call and every
    // later one: the position stays where it is.
    if (index >= m_lines.size() || line.front() == '[' || !IsEntryLine(line))
        return false;
    m_entry = line;
    m_equalPos = static_cast<std::ptrdiff_t>(line.find('='));
    m_consumed = 0;
    m_nextLine = static_cast<std::ptrdiff_t>(index) + 1;
    return true;
}

bool TIniInterfaceStore::ReadKeyPart(TKeyPart& part) {
    if (m_entry.empty())
        return false;
    part = TKeyPart{};
    // Key parts hold no "=", so the first "=" of what is left is the one that ends the key.
    const std::size_t equal = m_entry.find('=');
    const std::size_t dot = m_entry.find('.');
    if (dot != std::string::npos && dot < equal) {
        part.Part = m_entry.substr(0, dot);
        m_consumed += dot + 1;
        m_entry.erase(0, dot + 1);
        return true;
    }
    part.IsLast = true;
    if (equal == std::string::npos) {
        part.Part = m_entry;
    } else {
        part.Part = m_entry.substr(0, equal);
        part.Value = ConvertValue(m_entry.substr(equal + 1), TConvertDirection::cdDecode);
    }
    ForgetEntry();
    return true;
}

void TIniInterfaceStore::SaveToStream(std::ostream& stream) {
    for (const auto& line : m_lines)
        stream << line << "\r\n";
}

void TIniInterfaceStore::LoadFromStream(std::istream& stream) {
    m_lines.clear();
    m_sectionIndex = -1;
    m_nextLine = -1;
    ForgetEntry();
    stream.clear();
    stream.seekg(0, std::ios::beg);
    std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    // A NUL byte ends the text.
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    // Editors may begin a UTF-8 file with a byte-order mark; it is no part of the first line, which
    // would otherwise not read as the header of the first section.
    std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            m_lines.push_back(text.substr(start));
            break;
        }
        m_lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
}

std::string TIniInterfaceStore::ConvertValue(const std::string& text, TConvertDirection direction) {
    if (direction == TConvertDirection::cdDecode)
        return ReplaceAll(text, kLineBreakEscape, "\r\n");
    // A lone CR or LF is a line break as well; written raw it would split the entry in two and
    // end the reading of its section.
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += kLineBreakEscape;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

void TIniInterfaceStore::Clear() {
    m_lines.clear();
    m_path.clear();
    m_sectionIndex = -1;
    m_nextLine = -1;
    ForgetEntry();
}
