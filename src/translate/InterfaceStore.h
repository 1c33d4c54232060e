#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

// One key part of the current entry, as ReadKeyPart hands it out. Value is set only together
// with the last part.
struct TKeyPart {
    bool IsLast = false;
    std::string Part;
    std::string Value;
};

enum class TConvertDirection { cdDecode, cdEncode };

// The storage of a translation: sections of entries whose keys are parts joined by ".". The
// translator sees only this interface, so another storage could take the place of the text file.
class IInterfaceStore {
public:
    virtual ~IInterfaceStore() = default;

    // Writing: a section, the path of the entries written next, and the entries themselves.
    virtual void BeginSection(const std::string& name) = 0;
    virtual void PushPathPart(const std::string& part) = 0;
    virtual void PopPathPart() = 0;
    virtual void AddSeparator() = 0;
    virtual void ClearPath() = 0;
    virtual void WriteValue(const std::string& name, const std::string& value) = 0;

    // Reading: find a section, step through its entries, read each entry part by part.
    virtual bool FindSection(const std::string& name) = 0;
    virtual bool NextEntry() = 0;
    virtual bool ReadKeyPart(TKeyPart& part) = 0;

    virtual void SaveToStream(std::ostream& stream) = 0;
    virtual void LoadFromStream(std::istream& stream) = 0;
    // Decoding turns the escaped line breaks of a stored value into real ones; encoding the reverse.
    virtual std::string ConvertValue(const std::string& text, TConvertDirection direction) = 0;
    virtual void Clear() = 0;
};

// The translation file kept in memory as its lines: "[section]" headers, "key.parts=value" entries
// and blank lines, with "{CRLF}" standing for a line break inside a value.
class TIniInterfaceStore final : public IInterfaceStore {
public:
    void BeginSection(const std::string& name) override;
    void PushPathPart(const std::string& part) override;
    void PopPathPart() override;
    void AddSeparator() override;
    void ClearPath() override;
    void WriteValue(const std::string& name, const std::string& value) override;

    bool FindSection(const std::string& name) override;
    bool NextEntry() override;
    bool ReadKeyPart(TKeyPart& part) override;

    void SaveToStream(std::ostream& stream) override;
    void LoadFromStream(std::istream& stream) override;
    std::string ConvertValue(const std::string& text, TConvertDirection direction) override;
    void Clear() override;

    const std::vector<std::string>& Lines() const { return m_lines; }
    const std::string& Path() const { return m_path; }

    // Whether a line, blanks trimmed, is an entry: a key of two or more parts joined by "." (not
    // starting with "." and not ending in it), then "=", then a value that is not empty.
    static bool IsEntryLine(const std::string& trimmedLine);

private:
    void ForgetEntry();
    // Index of the header line of a section (letter case ignored), or -1.
    std::ptrdiff_t IndexOfSection(const std::string& name) const;

    std::vector<std::string> m_lines;
    std::string m_path;
    std::ptrdiff_t m_sectionIndex = -1;
    std::ptrdiff_t m_nextLine = -1;
    std::string m_entry;
    std::ptrdiff_t m_equalPos = -1;
    std::size_t m_consumed = 0;
};
