#pragma once

#include "discover/HtmlScan.h"
#include "discover/LoginForm.h"
#include "discover/PageNumbers.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CHTTPRequest;
class TManualResetEvent;

// The outcome of a step of adding an account: Id 0 when it went well, else the number of the
// message that says what stands in the way, and its text.
struct TDiscoverResult {
    unsigned Id = 0;
    std::string Text;
    bool Ok() const { return Id == 0; }
};

// Adds an account from its page, in the steps a person takes: the login form is found on the login
// page, the account page is read after logging in and its numbers listed, the number that is the
// balance picked, and the definition written that logs in and reads it as a check does. Each step
// downloads, so it runs on a worker (or in a command-line tool); the object is used by one thread at
// a time. Every download that a check would make is made in a session of its own, as the check
// starts with no cookies.
class TAccountDiscovery {
public:
    // The page that shows the balance, and the page with the login form when that is another one.
    std::string PageUrl;
    std::string LoginPageUrl;
    // What the user types into the form; they go into requests only, never into a text made here.
    std::string Login;
    std::string Password;
    // When set (not owned), a download in progress stops and the step fails.
    const TManualResetEvent* CancelEvent = nullptr;

    // Downloads the login page (or the account page when no login page is given) in two sessions
    // and finds the form to log in with: `choice` picks one of several (see Forms). A hidden field
    // whose value differs between the sessions is a token, cut from the login page at each check.
    // Without a login page, an account page without a password field needs no login.
    TDiscoverResult FindLoginForm(std::optional<std::size_t> choice = std::nullopt);
    // The forms with a password field on the login page, and the one chosen.
    std::vector<TLoginForm> Forms;
    std::size_t FormIndex = 0;
    bool NeedsLogin() const { return !m_loginUrl.empty(); }
    // Names of the token fields, in the order of the form.
    std::vector<std::string> Tokens;

    // Logs in (when the page needs it) and lists the numbers of the account page.
    TDiscoverResult ReadAccountPage();
    std::vector<TPageNumber> Numbers;

    // Picks a number by its index (from 1) or as the page writes it ("1,234.56"), writes the pattern
    // that reads it, and verifies it on a second download of the account page.
    TDiscoverResult Pick(std::size_t index);
    TDiscoverResult PickWritten(const std::string& written);
    std::string Pattern;
    TPageNumber Picked;

    // Notes on what was found that are no failure: a page that was cut before analysing.
    std::vector<std::string> Notes;

    struct TNames {
        std::string Name;
        std::string UniqueId;
        std::string GroupName;
        std::string ListName;
    };
    // The text of the definition file: {LOGIN} and {PASSWORD} in its templates, the token cut by
    // the alert's own pattern and sent as {c_N}. Nothing without a picked number; names with line
    // breaks lose them. Check the identity with ValidUniqueId first.
    std::string DefinitionText(const TNames& names) const;

private:
    TDiscoverResult Download(CHTTPRequest& request, const std::string& url, std::string& page) const;
    // One session as a check runs it: login page, form sent, account page.
    TDiscoverResult Session(CHTTPRequest& request, std::string& accountPage) const;
    std::unique_ptr<THtmlScan> Scan(std::string page, const std::string& contentType, THtmlScan::TDepth depth);
    std::string TemplateBody() const;
    std::string FormAddress(const TLoginForm& form, const std::string& body) const;

    std::string m_loginUrl;
    std::string m_tokenPattern;
    std::unique_ptr<THtmlScan> m_account;
};

// Whether the identity can be an alert's: storable, and without line breaks. Id 2158 if not.
TDiscoverResult ValidUniqueId(const std::string& id);

// The file a definition of this identity goes to in the folder: "<id>.bal", with bytes other than
// letters, digits, '-', '_' and '.' replaced by '_'.
std::string DefinitionPath(const std::string& folder, const std::string& uniqueId);

// Writes the definition encrypted as the program reads it, or plain when asked; makes the folder.
TDiscoverResult WriteDefinition(const std::string& path, const std::string& text, bool plain);
