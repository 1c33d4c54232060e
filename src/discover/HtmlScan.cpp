#include "discover/HtmlScan.h"

#include "platform/Strings.h"
#include "platform/Utf8.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>

namespace {

// Windows-1252 for 0x80 to 0x9F; the other bytes are Latin-1.
constexpr std::array<char16_t, 32> kWindows1252High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

char32_t Windows1252(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

bool IsWesternCharset(const std::string& charset) {
    static const char* const kNames[] = {"windows-1252", "cp1252",   "iso-8859-1", "iso8859-1", "latin1",
                                         "latin-1",      "us-ascii", "ascii",      "x-cp1252",  "l1"};
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* name) { return charset == name; });
}

const char* Attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
    return attribute != nullptr ? attribute->value : nullptr;
}

std::string CappedAttribute(const GumboElement& element, const char* name) {
    const char* value = Attribute(element, name);
    if (value == nullptr)
        return {};
    const std::string_view text(value);
    return std::string(text.substr(0, THtmlScan::kMaxValueBytes));
}

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Where elements nest deeper than `maxDepth`, by a rough count of start and end tags that leaves out
// void elements and those whose end tag is optional: the parser takes time that grows with the
// depth for each tag, and frees its tree recursively, so a page is cut before such nesting.
std::size_t DepthCut(std::string_view page, std::size_t maxDepth) {
    std::size_t depth = 0;
    std::size_t i = 0;
    while ((i = page.find('<', i)) != std::string_view::npos) {
        if (page.compare(i, 4, "<!--") == 0) {
            const std::size_t end = page.find("-->", i + 4);
            i = end == std::string_view::npos ? page.size() : end + 3;
            continue;
        }
        std::size_t j = i + 1;
        const bool closing = j < page.size() && page[j] == '/';
        if (closing)
            ++j;
        std::string name;
        while (j < page.size() && name.size() < 16 && std::isalnum(static_cast<unsigned char>(page[j])) != 0)
            name += AsciiLower(page[j++]);
        const std::size_t end = page.find('>', j);
        if (name.empty() || end == std::string_view::npos) {
            ++i;
            continue;
        }
        const std::size_t tagStart = i;
        const bool selfClosing = page[end - 1] == '/';
        const bool uncounted =
            IsOneOf(name, {"area", "base",   "br",       "col",   "embed", "hr",    "img",   "input", "link",
                           "meta", "param",  "source",   "track", "wbr",   "p",     "li",    "td",    "th",
                           "tr",   "option", "optgroup", "dt",    "dd",    "tbody", "thead", "tfoot", "colgroup",
                           "rb",   "rt",     "rp",       "html",  "head",  "body"});
        i = end + 1;
        if (!closing && IsOneOf(name, {"script", "style", "textarea", "title", "xmp", "noembed", "noframes"})) {
            // Their text is not markup: skip to their end tag.
            const std::string lower = "</" + name;
            std::size_t k = i;
            while ((k = page.find('<', k)) != std::string_view::npos &&
                   !AsciiEqualNoCase(page.substr(k, lower.size()), lower))
                ++k;
            i = k == std::string_view::npos ? page.size() : k;
            continue;
        }
        if (uncounted || selfClosing)
            continue;
        if (closing) {
            depth -= depth > 0 ? 1 : 0;
        } else if (++depth > maxDepth) {
            return tagStart;
        }
    }
    return std::string_view::npos;
}

struct TGumboDeleter {
    void operator()(GumboOutput* output) const { gumbo_destroy_output(&kGumboDefaultOptions, output); }
};

} // namespace

std::string CharsetOfContentType(std::string_view value) {
    const std::string lower = AsciiLower(value);
    const std::size_t at = lower.find("charset=");
    if (at == std::string::npos)
        return {};
    std::string name = lower.substr(at + 8);
    name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
    const std::size_t end = name.find_first_of("; \t'/>");
    return Trim(name.substr(0, end));
}

std::string DecodeCharacterReferences(std::string_view text) {
    static const std::pair<std::string_view, char32_t> kNamed[] = {
        {"nbsp", 0xA0},    {"amp", '&'},     {"lt", '<'},      {"gt", '>'},      {"quot", '"'},    {"apos", '\''},
        {"euro", 0x20AC},  {"pound", 0xA3},  {"yen", 0xA5},    {"cent", 0xA2},   {"copy", 0xA9},   {"reg", 0xAE},
        {"auml", 0xE4},    {"ouml", 0xF6},   {"uuml", 0xFC},   {"Auml", 0xC4},   {"Ouml", 0xD6},   {"Uuml", 0xDC},
        {"szlig", 0xDF},   {"eacute", 0xE9}, {"egrave", 0xE8}, {"agrave", 0xE0}, {"ccedil", 0xE7}, {"minus", 0x2212},
        {"ndash", 0x2013}, {"mdash", 0x2014}};
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t end = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
        if (end == std::string_view::npos || end - i > 12) {
            out += text[i++];
            continue;
        }
        const std::string_view name = text.substr(i + 1, end - i - 1);
        char32_t code = 0;
        if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits(name.substr(hex ? 2 : 1));
            char* stop = nullptr;
            const unsigned long value = std::strtoul(digits.c_str(), &stop, hex ? 16 : 10);
            if (!digits.empty() && stop != nullptr && *stop == '\0' && value > 0 && value <= 0x10FFFF &&
                !(value >= 0xD800 && value <= 0xDFFF))
                code = static_cast<char32_t>(value);
        } else {
            for (const auto& [entity, value] : kNamed)
                if (entity == name)
                    code = value;
        }
        if (code == 0) {
            out += text[i++];
            continue;
        }
        AppendUtf8(out, code);
        i = end + 1;
    }
    return out;
}

THtmlScan::THtmlScan(std::string page, std::string charset, TDepth depth)
    : m_page(std::move(page)), m_fullSize(m_page.size()), m_charset(AsciiLower(Trim(charset))) {
    if (m_page.size() > kMaxAnalysedBytes)
        m_page.resize(kMaxAnalysedBytes);
    if (depth == TDepth::TextOnly) {
        ReadText();
        return;
    }
    const std::size_t cut = DepthCut(m_page, kMaxDepth);
    if (cut != std::string::npos)
        m_page.resize(cut);
    Parse();
}

void THtmlScan::ReadText() {
    const std::string_view page = m_page;
    std::string metaCharset;
    const auto addText = [&](std::size_t from, std::size_t to) {
        const std::string_view text = page.substr(from, to - from);
        if (text.find_first_not_of(" \t\r\n\f") != std::string_view::npos)
            Texts.push_back({from, to - from});
    };
    std::size_t text = 0;
    std::size_t i = 0;
    while ((i = page.find('<', i)) != std::string_view::npos) {
        const std::size_t tagStart = i;
        if (page.compare(i, 4, "<!--") == 0) {
            addText(text, tagStart);
            const std::size_t end = page.find("-->", i + 4);
            i = text = end == std::string_view::npos ? page.size() : end + 3;
            continue;
        }
        std::size_t j = i + 1;
        const bool closing = j < page.size() && page[j] == '/';
        if (closing)
            ++j;
        const bool markup = j < page.size() && (page[j] == '!' || page[j] == '?');
        std::string name;
        while (j < page.size() && name.size() < 16 && std::isalnum(static_cast<unsigned char>(page[j])) != 0)
            name += AsciiLower(page[j++]);
        if (name.empty() && !markup) {
            ++i; // a '<' that opens no tag is text
            continue;
        }
        // The tag ends at the first '>' outside quoted attribute values.
        char quote = 0;
        while (j < page.size() && (quote != 0 || page[j] != '>')) {
            if (quote != 0 && page[j] == quote)
                quote = 0;
            else if (quote == 0 && (page[j] == '"' || page[j] == '\'') && page[j - 1] == '=')
                quote = page[j];
            ++j;
        }
        addText(text, tagStart);
        i = text = std::min(j + 1, page.size());
        if (closing || markup)
            continue;
        if (name == "meta" && metaCharset.empty())
            metaCharset = CharsetOfContentType(page.substr(tagStart, j - tagStart));
        if (IsOneOf(name,
                    {"script", "style", "textarea", "title", "xmp", "noembed", "noframes", "noscript", "template"})) {
            HasScript = HasScript || name == "script";
            // Their text is not shown: skip to their end tag.
            const std::string endTag = "</" + name;
            std::size_t k = i;
            while ((k = page.find('<', k)) != std::string_view::npos &&
                   !AsciiEqualNoCase(page.substr(k, endTag.size()), endTag))
                ++k;
            i = text = k == std::string_view::npos ? page.size() : k;
        }
    }
    addText(text, page.size());
    if (m_charset.empty())
        m_charset = metaCharset.empty() ? std::string("utf-8") : metaCharset;
}

void THtmlScan::Parse() {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    const std::unique_ptr<GumboOutput, TGumboDeleter> output(
        gumbo_parse_with_options(&options, m_page.data(), m_page.size()));
    if (!output)
        return;
    const char* const base = m_page.data();
    const auto offsetOf = [&](const char* at) { return static_cast<std::size_t>(at - base); };
    const auto inPage = [&](const GumboStringPiece& piece) {
        return piece.data != nullptr && piece.data >= base && piece.data + piece.length <= base + m_page.size();
    };

    std::string metaCharset;
    struct TItem {
        const GumboNode* node;
        int form;
        bool hidden;
    };
    std::vector<TItem> stack{{output->root, -1, false}};
    while (!stack.empty()) {
        const TItem item = stack.back();
        stack.pop_back();
        const GumboNode& node = *item.node;
        if (node.type == GUMBO_NODE_TEXT || node.type == GUMBO_NODE_CDATA) {
            if (!item.hidden && inPage(node.v.text.original_text))
                Texts.push_back({offsetOf(node.v.text.original_text.data), node.v.text.original_text.length});
            continue;
        }
        if (node.type != GUMBO_NODE_ELEMENT && node.type != GUMBO_NODE_TEMPLATE)
            continue;
        const GumboElement& element = node.v.element;
        int form = item.form;
        bool hidden = item.hidden;
        switch (element.tag) {
        case GUMBO_TAG_FORM:
            Forms.push_back({CappedAttribute(element, "action"),
                             AsciiLower(CappedAttribute(element, "method")),
                             AsciiLower(CappedAttribute(element, "enctype")),
                             {}});
            form = static_cast<int>(Forms.size()) - 1;
            break;
        case GUMBO_TAG_SCRIPT:
            HasScript = true;
            hidden = true;
            break;
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_TITLE:
        case GUMBO_TAG_TEXTAREA:
        case GUMBO_TAG_OPTION:
            hidden = true;
            break;
        case GUMBO_TAG_META:
            if (metaCharset.empty()) {
                metaCharset = AsciiLower(Trim(CappedAttribute(element, "charset")));
                if (metaCharset.empty() && AsciiEqualNoCase(CappedAttribute(element, "http-equiv"), "content-type"))
                    metaCharset = CharsetOfContentType(CappedAttribute(element, "content"));
            }
            break;
        default:
            break;
        }
        if (IsOneOf(gumbo_normalized_tagname(element.tag), {"input", "select", "textarea", "button"})) {
            THtmlField field;
            field.Tag = gumbo_normalized_tagname(element.tag);
            field.Type = AsciiLower(Trim(CappedAttribute(element, "type")));
            if (field.Type.empty())
                field.Type = field.Tag == "input" ? "text" : field.Tag == "button" ? "submit" : field.Tag;
            field.Name = CappedAttribute(element, "name");
            field.Value = CappedAttribute(element, "value");
            field.Checked = Attribute(element, "checked") != nullptr;
            field.Disabled = Attribute(element, "disabled") != nullptr;
            const GumboAttribute* value = gumbo_get_attribute(&element.attributes, "value");
            if (value != nullptr && inPage(element.original_tag) && inPage(value->original_value)) {
                const GumboStringPiece& raw = value->original_value;
                field.TagStart = offsetOf(element.original_tag.data);
                field.Quote = raw.length >= 2 && (raw.data[0] == '"' || raw.data[0] == '\'') ? raw.data[0] : '\0';
                field.ValueStart = offsetOf(raw.data) + (field.Quote != 0 ? 1 : 0);
                field.ValueLength = raw.length - (field.Quote != 0 ? 2 : 0);
            }
            if (field.Tag == "select" || field.Tag == "textarea") {
                // The value is the selected option (else the first) or the text.
                std::vector<const GumboNode*> inner;
                for (unsigned k = 0; k < element.children.length; ++k)
                    inner.push_back(static_cast<const GumboNode*>(element.children.data[k]));
                bool selected = false;
                for (std::size_t k = 0; k < inner.size() && k < 10000 && !selected; ++k) {
                    const GumboNode& child = *inner[k];
                    if (child.type == GUMBO_NODE_TEXT && field.Tag == "textarea") {
                        field.Value = std::string(child.v.text.text).substr(0, kMaxValueBytes);
                    } else if (child.type == GUMBO_NODE_ELEMENT && child.v.element.tag == GUMBO_TAG_OPTION) {
                        const char* optionValue = Attribute(child.v.element, "value");
                        const bool isSelected = Attribute(child.v.element, "selected") != nullptr;
                        if (optionValue != nullptr && (isSelected || field.Value.empty()))
                            field.Value = std::string(optionValue).substr(0, kMaxValueBytes);
                        selected = isSelected;
                    } else if (child.type == GUMBO_NODE_ELEMENT && child.v.element.tag == GUMBO_TAG_OPTGROUP) {
                        const GumboVector& group = child.v.element.children;
                        for (unsigned g = 0; g < group.length; ++g)
                            inner.push_back(static_cast<const GumboNode*>(group.data[g]));
                    }
                }
            }
            if (form >= 0)
                Forms[static_cast<std::size_t>(form)].Fields.push_back(std::move(field));
            else if (field.Type == "password")
                PasswordOutsideForm = true;
        }
        const GumboVector& children = element.children;
        for (unsigned k = children.length; k > 0; --k)
            stack.push_back({static_cast<const GumboNode*>(children.data[k - 1]), form, hidden});
    }
    if (m_charset.empty())
        m_charset = metaCharset.empty() ? std::string("utf-8") : metaCharset;
}

std::string THtmlScan::Decode(std::string_view raw) const {
    std::string text;
    text.reserve(raw.size());
    const bool utf8 = m_charset == "utf-8" || m_charset == "utf8";
    std::optional<QStringDecoder> decoder;
    if (!utf8 && !IsWesternCharset(m_charset)) {
        decoder.emplace(m_charset.c_str());
        if (!decoder->isValid())
            decoder.reset();
    }
    if (decoder) {
        const QString decoded = (*decoder)(QByteArray(raw.data(), static_cast<qsizetype>(raw.size())));
        text = decoded.toStdString();
    } else {
        for (std::size_t i = 0; i < raw.size();) {
            char32_t code = 0;
            const std::size_t length = utf8 ? DecodeUtf8(raw, i, code) : 0;
            if (length > 0) {
                text.append(raw.substr(i, length));
                i += length;
            } else {
                AppendUtf8(text, Windows1252(static_cast<unsigned char>(raw[i++])));
            }
        }
    }
    return DecodeCharacterReferences(text);
}
