#include "discover/LoginForm.h"

#include "check/RequestText.h"

#include <QString>
#include <QUrl>

#include <algorithm>

namespace {

bool IsOneOf(const std::string& value, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return value == name; });
}

// Fields whose typed text a browser sends: what a login may be typed into.
bool IsTextField(const THtmlField& field) {
    return field.Tag == "input" && IsOneOf(field.Type, {"text", "email", "tel", "number", "search", "url"});
}

} // namespace

std::vector<TLoginForm> FindLoginForms(const THtmlScan& scan, const std::string& pageUrl) {
    std::vector<TLoginForm> found;
    const QUrl base(QString::fromStdString(pageUrl));
    for (std::size_t f = 0; f < scan.Forms.size(); ++f) {
        const THtmlForm& form = scan.Forms[f];
        const auto password = std::find_if(form.Fields.begin(), form.Fields.end(), [](const THtmlField& field) {
            return field.Tag == "input" && field.Type == "password";
        });
        if (password == form.Fields.end())
            continue;
        TLoginForm login;
        login.Form = f;
        login.Action =
            base.resolved(QUrl(QString::fromStdString(form.Action))).toString(QUrl::FullyEncoded).toStdString();
        login.Post = form.Method == "post";
        login.Enctype = form.Enctype;
        login.PasswordField = password->Name;
        const auto before = std::find_if(std::make_reverse_iterator(password), form.Fields.rend(),
                                         [](const THtmlField& field) { return IsTextField(field) && !field.Disabled; });
        if (before != form.Fields.rend())
            login.LoginField = before->Name;
        bool submitChosen = false;
        for (std::size_t k = 0; k < form.Fields.size(); ++k) {
            const THtmlField& field = form.Fields[k];
            if (field.Disabled || field.Name.empty())
                continue;
            TFormEntry entry{field.Name, field.Value, TFormEntry::rOther, k};
            if (field.Type == "password") {
                entry.Role = TFormEntry::rPassword;
                entry.Value.clear();
            } else if (before != form.Fields.rend() && &field == &*before) {
                entry.Role = TFormEntry::rLogin;
                entry.Value.clear();
            } else if (field.Type == "submit") {
                // A browser sends the button that was pressed: the first one.
                if (submitChosen)
                    continue;
                submitChosen = true;
                entry.Role = TFormEntry::rSubmit;
                if (field.Tag == "input" && entry.Value.empty())
                    entry.Value = "Submit";
            } else if (field.Type == "checkbox" || field.Type == "radio") {
                if (!field.Checked)
                    continue;
                if (entry.Value.empty())
                    entry.Value = "on";
            } else if (IsOneOf(field.Type, {"button", "reset", "image", "file"})) {
                continue;
            }
            login.Entries.push_back(std::move(entry));
        }
        found.push_back(std::move(login));
    }
    return found;
}

std::string FormBody(const TLoginForm& form, const std::function<std::string(const TFormEntry&)>& valueOf) {
    std::string body;
    for (const TFormEntry& entry : form.Entries) {
        if (!body.empty())
            body += '&';
        body += UrlEncode(entry.Name) + "=" + valueOf(entry);
    }
    return body;
}
