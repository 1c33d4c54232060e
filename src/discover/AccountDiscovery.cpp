#include "discover/AccountDiscovery.h"

#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "base/HTTPRequest.h"
#include "check/MatchPattern.h"
#include "check/RequestText.h"
#include "discover/BalancePattern.h"
#include "platform/Events.h"
#include "platform/Strings.h"
#include "translate/Messages.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <cctype>

namespace {

// Stands in the login page's place as the alert's pattern when there is no token to cut: the page
// is downloaded for the cookies it sets.
constexpr const char* kPasswordFieldPattern = R"(type\s*=\s*["']?password)";

TDiscoverResult Problem(unsigned id, std::initializer_list<TMsgArg> args = {}) {
    return {id, FormatMsg(LoadStr(id), args)};
}

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// The address as a request sends it: percent-encoded, so that no "{" can read as a placeholder.
std::string NormalUrl(const std::string& url) {
    return QUrl(QString::fromStdString(Trim(url))).toString(QUrl::FullyEncoded).toStdString();
}

bool AsksForPassword(const THtmlScan& scan, const std::string& url) {
    return !FindLoginForms(scan, url).empty() || scan.PasswordOutsideForm;
}

} // namespace

std::unique_ptr<THtmlScan> TAccountDiscovery::Scan(std::string page, const std::string& contentType,
                                                   THtmlScan::TDepth depth) {
    // The server's charset comes before the page's own meta element, as in browsers.
    auto scan = std::make_unique<THtmlScan>(std::move(page), CharsetOfContentType(contentType), depth);
    if (scan->Cut())
        Notes.push_back(FormatMsg(LoadStr(2140), {static_cast<std::uint64_t>(scan->FullSize()),
                                                  static_cast<std::uint64_t>(scan->Page().size())}));
    return scan;
}

TDiscoverResult TAccountDiscovery::Download(CHTTPRequest& request, const std::string& url, std::string& page) const {
    request.Url = url;
    request.Method = CHTTPRequest::mGet;
    request.PostData.clear();
    request.CancelEvent = CancelEvent;
    const bool ok = request.Perform();
    if (CancelEvent != nullptr && CancelEvent->IsSet())
        return Problem(2159);
    if (!ok)
        return Problem(2146, {url, request.ErrorText});
    if (request.StatusCode != 200)
        return Problem(2147, {url, std::int64_t{request.StatusCode}});
    page = std::move(request.Data);
    request.Referrer = url;
    return {};
}

TDiscoverResult TAccountDiscovery::FindLoginForm(std::optional<std::size_t> choice) {
    Forms.clear();
    Tokens.clear();
    m_tokenPattern.clear();
    m_loginUrl.clear();
    const std::string url = NormalUrl(LoginPageUrl.empty() ? PageUrl : LoginPageUrl);
    std::string page;
    CHTTPRequest first;
    if (TDiscoverResult result = Download(first, url, page); !result.Ok())
        return result;
    const std::unique_ptr<THtmlScan> scan = Scan(std::move(page), first.ContentType, THtmlScan::TDepth::Everything);
    Forms = FindLoginForms(*scan, url);
    if (Forms.empty()) {
        if (scan->PasswordOutsideForm || (scan->Forms.empty() && scan->HasScript && !LoginPageUrl.empty()))
            return Problem(2143);
        // An account page that asks for nothing is read as it is.
        return LoginPageUrl.empty() ? TDiscoverResult{} : Problem(2141);
    }
    if (Forms.size() > 1 && !choice)
        return Problem(2142, {static_cast<std::uint64_t>(Forms.size())});
    FormIndex = choice.value_or(0);
    if (FormIndex >= Forms.size())
        return Problem(2142, {static_cast<std::uint64_t>(Forms.size())});
    const TLoginForm& form = Forms[FormIndex];
    if (form.Multipart())
        return Problem(2144);

    // A second session tells the tokens: hidden fields whose values are not the same.
    CHTTPRequest second;
    if (TDiscoverResult result = Download(second, url, page); !result.Ok())
        return result;
    const THtmlScan again(std::move(page));
    const std::vector<TLoginForm> formsAgain = FindLoginForms(again, url);
    if (FormIndex >= formsAgain.size())
        return Problem(2141);
    const THtmlForm& fields = scan->Forms[form.Form];
    const THtmlForm& fieldsAgain = again.Forms[formsAgain[FormIndex].Form];
    std::vector<std::string> expected, expectedAgain;
    for (const TFormEntry& entry : form.Entries) {
        const THtmlField& field = fields.Fields[entry.Field];
        if (entry.Role != TFormEntry::rOther || field.Type != "hidden")
            continue;
        const auto other = std::find_if(fieldsAgain.Fields.begin(), fieldsAgain.Fields.end(),
                                        [&](const THtmlField& candidate) { return candidate.Name == field.Name; });
        if (other == fieldsAgain.Fields.end() || other->Value == field.Value)
            continue;
        const std::string raw = scan->Page().substr(field.ValueStart, field.ValueLength);
        // The check sends what the page writes; character references would be sent undecoded.
        if (raw != field.Value)
            return Problem(2156, {field.Name});
        const std::string pattern = FieldValuePattern(scan->Page(), field);
        if (pattern.empty())
            return Problem(2160, {field.Name});
        m_tokenPattern += (m_tokenPattern.empty() ? "" : ".*") + pattern;
        Tokens.push_back(field.Name);
        expected.push_back(raw);
        expectedAgain.push_back(again.Page().substr(other->ValueStart, other->ValueLength));
    }
    // The pattern must cut the tokens of both sessions, as the check will at each of its own.
    std::vector<std::string> list;
    for (const auto& [subject, values] :
         {std::pair{&scan->Page(), &expected}, std::pair{&again.Page(), &expectedAgain}}) {
        if (Tokens.empty())
            break;
        if (MatchPattern(m_tokenPattern, *subject, list) != mrMatched || list.size() != values->size() + 1 ||
            !std::equal(values->begin(), values->end(), list.begin() + 1))
            return Problem(2160, {Tokens.front()});
    }
    m_loginUrl = url;
    return {};
}

std::string TAccountDiscovery::FormAddress(const TLoginForm& form, const std::string& body) const {
    if (form.Post)
        return form.Action;
    // A form sent with GET replaces the query of its action with its fields.
    QUrl action(QString::fromStdString(form.Action));
    action.setQuery(QString());
    action.setFragment(QString());
    return action.toString(QUrl::FullyEncoded).toStdString() + "?" + body;
}

TDiscoverResult TAccountDiscovery::Session(CHTTPRequest& request, std::string& accountPage) const {
    const std::string pageUrl = NormalUrl(PageUrl);
    if (!NeedsLogin())
        return Download(request, pageUrl, accountPage);
    request.Login = Login;
    request.Password = Password;
    std::string page;
    if (TDiscoverResult result = Download(request, m_loginUrl, page); !result.Ok())
        return result;
    const THtmlScan loginScan(std::move(page));
    const std::vector<TLoginForm> forms = FindLoginForms(loginScan, m_loginUrl);
    if (FormIndex >= forms.size())
        return Problem(2141);
    const TLoginForm& form = forms[FormIndex];
    const std::string body = FormBody(form, [&](const TFormEntry& entry) {
        switch (entry.Role) {
        case TFormEntry::rLogin:
            return UrlEncode(Login);
        case TFormEntry::rPassword:
            return UrlEncode(Password);
        default:
            return UrlEncode(entry.Value);
        }
    });
    request.Url = FormAddress(form, body);
    request.Method = form.Post ? CHTTPRequest::mPost : CHTTPRequest::mGet;
    request.PostData = form.Post ? body : std::string();
    const bool ok = request.Perform();
    if (CancelEvent != nullptr && CancelEvent->IsSet())
        return Problem(2159);
    if (!ok)
        return Problem(2146, {form.Action, request.ErrorText});
    if (request.StatusCode != 200)
        return Problem(2147, {form.Action, std::int64_t{request.StatusCode}});
    // A login that failed answers with its form again, or the account page asks for the password.
    if (AsksForPassword(THtmlScan(std::move(request.Data)), form.Action))
        return Problem(2145);
    request.Referrer = request.Url;
    if (TDiscoverResult result = Download(request, pageUrl, accountPage); !result.Ok())
        return result;
    if (AsksForPassword(THtmlScan(accountPage), pageUrl))
        return Problem(2145);
    return {};
}

TDiscoverResult TAccountDiscovery::ReadAccountPage() {
    Numbers.clear();
    m_account.reset();
    std::string page;
    CHTTPRequest request;
    if (TDiscoverResult result = Session(request, page); !result.Ok())
        return result;
    m_account = Scan(std::move(page), request.ContentType, THtmlScan::TDepth::TextOnly);
    Numbers = ListNumbers(*m_account);
    if (Numbers.empty())
        return Problem(2148);
    return {};
}

TDiscoverResult TAccountDiscovery::PickWritten(const std::string& written) {
    const std::string wanted = Trim(written);
    const auto found = std::find_if(Numbers.begin(), Numbers.end(),
                                    [&](const TPageNumber& number) { return number.Written == wanted; });
    if (found == Numbers.end())
        return Problem(2149, {wanted});
    return Pick(found->Index);
}

TDiscoverResult TAccountDiscovery::Pick(std::size_t index) {
    Pattern.clear();
    if (!m_account || index == 0 || index > Numbers.size())
        return Problem(2149, {std::to_string(index)});
    const TPageNumber& number = Numbers[index - 1];
    const TBalancePattern built = BuildBalancePattern(*m_account, number);
    if (built.Problem != 0)
        return Problem(built.Problem, {number.Written});
    // A second download, in a session of its own: a number that changes on every load is no balance.
    std::string page;
    CHTTPRequest request;
    if (TDiscoverResult result = Session(request, page); !result.Ok())
        return result;
    const std::optional<std::int32_t> again = ReadBalance(built.Pattern, page);
    if (!again)
        return Problem(2157, {number.Written});
    if (*again != number.Hundredths)
        return Problem(2151, {number.Written, FormatHundredths(*again)});
    Pattern = built.Pattern;
    Picked = number;
    return {};
}

std::string TAccountDiscovery::TemplateBody() const {
    const TLoginForm& form = Forms[FormIndex];
    return FormBody(form, [&](const TFormEntry& entry) -> std::string {
        switch (entry.Role) {
        case TFormEntry::rLogin:
            return "{LOGIN}";
        case TFormEntry::rPassword:
            return "{PASSWORD}";
        default: {
            const auto token = std::find(Tokens.begin(), Tokens.end(), entry.Name);
            if (token != Tokens.end())
                return "{c_" + std::to_string(token - Tokens.begin() + 1) + "}";
            return UrlEncode(entry.Value);
        }
        }
    });
}

std::string TAccountDiscovery::DefinitionText(const TNames& names) const {
    if (Pattern.empty())
        return {};
    const std::string name = OneLine(names.Name);
    const std::string id = OneLine(names.UniqueId);
    std::string text = "Added from the account page " + OneLine(NormalUrl(PageUrl)) + ".\n\n";
    text += "[COMMON]\nlist_name=" + OneLine(names.ListName) + "\n\n";
    text += "[" + name + "]\nunique_id=" + id + "\ngroup_name=" + OneLine(names.GroupName) + "\n";
    if (!NeedsLogin()) {
        text += "need_auth=no\npage_url=" + NormalUrl(PageUrl) + "\npattern=" + Pattern + "\n";
        return text;
    }
    const TLoginForm& form = Forms[FormIndex];
    const std::string steps = id + "_STEPS";
    text += "need_auth=yes\npage_url=" + m_loginUrl +
            "\nmethod=GET\npattern=" + (m_tokenPattern.empty() ? std::string(kPasswordFieldPattern) : m_tokenPattern) +
            "\nchunks=" + steps + "\n\n";
    const std::string body = TemplateBody();
    text += "{" + steps + "}\nchunk_begin\nchunk_url=" + FormAddress(form, body) + "\n";
    text += form.Post ? "chunk_method=POST\nchunk_postdata=" + body + "\n" : std::string("chunk_method=GET\n");
    text += "chunk_end\nchunk_begin\nchunk_url=" + NormalUrl(PageUrl) + "\nchunk_method=GET\nchunk_pattern=" + Pattern +
            "\nchunk_end\n";
    return text;
}

TDiscoverResult ValidUniqueId(const std::string& id) {
    if (!StorableUniqueId(id) || id.find_first_of("\r\n") != std::string::npos)
        return Problem(2158, {id});
    return {};
}

std::string DefinitionPath(const std::string& folder, const std::string& uniqueId) {
    std::string file = uniqueId;
    for (char& c : file)
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 || static_cast<unsigned char>(c) >= 0x80)
            if (c != '-' && c != '_' && c != '.')
                c = '_';
    std::string path = folder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + file + ".bal";
}

TDiscoverResult WriteDefinition(const std::string& path, const std::string& text, bool plain) {
    const QString file = QString::fromStdString(path);
    QDir().mkpath(QFileInfo(file).absolutePath());
    const std::string bytes = plain ? text : EncryptBytes(kDefinitionPassphrase, text);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
        !out.commit())
        return Problem(2154, {path, out.errorString().toStdString()});
    return {};
}
