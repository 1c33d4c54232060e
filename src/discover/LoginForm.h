#pragma once

#include "discover/HtmlScan.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// A field that a login form sends, in the order a browser sends them.
struct TFormEntry {
    enum TRole { rOther, rLogin, rPassword, rSubmit };
    std::string Name;
    std::string Value; // as the page gives it; empty for the login and the password
    TRole Role = rOther;
    std::size_t Field = 0; // index in the form's Fields
};

// A form with a password field, read as a browser would submit it.
struct TLoginForm {
    std::size_t Form = 0;   // index in THtmlScan::Forms
    std::string Action;     // absolute address the form is sent to
    bool Post = false;      // the method; GET otherwise
    std::string Enctype;    // lower case, as given
    std::string LoginField; // the nearest text or e-mail field before the password; empty if none
    std::string PasswordField;
    std::vector<TFormEntry> Entries;

    bool Multipart() const { return Enctype.rfind("multipart/form-data", 0) == 0; }
};

// The forms of the page that have a password field, the action resolved against the page's address.
std::vector<TLoginForm> FindLoginForms(const THtmlScan& scan, const std::string& pageUrl);

// The body (or query) of the form as "name=value&...": names URL-encoded, each value as valueOf
// returns it, already encoded.
std::string FormBody(const TLoginForm& form, const std::function<std::string(const TFormEntry&)>& valueOf);
