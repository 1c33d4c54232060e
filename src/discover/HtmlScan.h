#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A field of a form as the page writes it.
struct THtmlField {
    std::string Tag;  // "input", "select", "textarea" or "button"
    std::string Type; // lower case; an input without one is "text", a button "submit"
    std::string Name;
    std::string Value; // with character references decoded; at most THtmlScan::kMaxValueBytes
    bool Checked = false;
    bool Disabled = false;
    // Where the value attribute's text lies in the page: the start of the field's tag, the start and
    // length of the value between its quotes, and the quote (0 for none). TagStart is npos when the
    // field has no value attribute.
    std::size_t TagStart = std::string::npos;
    std::size_t ValueStart = 0;
    std::size_t ValueLength = 0;
    char Quote = 0;
};

struct THtmlForm {
    std::string Action;  // as written, references decoded
    std::string Method;  // lower case; empty when not given
    std::string Enctype; // lower case
    std::vector<THtmlField> Fields;
};

// A run of the page's text outside scripts and styles: its bytes in the page as written.
struct TTextRun {
    std::size_t Start = 0;
    std::size_t Length = 0;
};

// A page parsed for what adding an account needs: its forms with their fields, whether a password
// field stands outside any form, and the runs of its text. The parser (gumbo) reads HTML as a
// browser does but was not written for hostile input, so the page is cut before it reaches it: at
// kMaxAnalysedBytes, and where elements nest deeper than kMaxDepth. Nothing here recurses.
class THtmlScan {
public:
    static constexpr std::size_t kMaxAnalysedBytes = std::size_t{4} << 20;
    static constexpr std::size_t kMaxDepth = 512;
    static constexpr std::size_t kMaxValueBytes = 16384;

    enum class TDepth {
        Everything, // forms and text, through the parser
        TextOnly,   // the runs of text and the charset, by a quick pass over the tags
    };

    // `charset` is what the server's Content-Type named, if anything; the page's own meta element
    // is read otherwise. An account page needs only its text, which TextOnly reads in a fraction of
    // the parser's time; Forms stay empty then.
    explicit THtmlScan(std::string page, std::string charset = std::string(), TDepth depth = TDepth::Everything);

    // The bytes analysed: the page, or its beginning when it was cut.
    const std::string& Page() const { return m_page; }
    std::size_t FullSize() const { return m_fullSize; }
    bool Cut() const { return m_page.size() < m_fullSize; }
    // Lower case; "utf-8" unless the server or the page named another.
    const std::string& Charset() const { return m_charset; }

    std::vector<THtmlForm> Forms;
    std::vector<TTextRun> Texts;
    bool PasswordOutsideForm = false;
    bool HasScript = false;

    // Bytes of the page as text: decoded from the page's charset (bytes that are not valid UTF-8 in
    // a UTF-8 page are read as Windows-1252), character references decoded, UTF-8.
    std::string Decode(std::string_view raw) const;

private:
    void Parse();
    void ReadText();

    std::string m_page;
    std::size_t m_fullSize = 0;
    std::string m_charset;
};

// The charset named in a Content-Type value ("text/html; charset=windows-1252"), lower case; empty
// when it names none.
std::string CharsetOfContentType(std::string_view value);

// Decodes the character references of HTML text ("&amp;", "&#160;", "&euro;"); unknown ones stay.
std::string DecodeCharacterReferences(std::string_view text);
