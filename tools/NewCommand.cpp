#include "Commands.h"

#include "Json.h"
#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "discover/AccountDiscovery.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "translate/Messages.h"

#include <QFileInfo>
#include <QString>
#include <QUrl>

#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

const char* const kNewHelp =
    "Usage: tallyglass-tool new --page URL [--login-page URL] [--form N] [--id ID] [--name NAME]\n"
    "                           [--group NAME] [--list NAME] [--pick TEXT | --pick-index N]\n"
    "                           [--out FILE.bal] [--plain] [--force] [--state-dir DIR]\n"
    "                           [--login L | --login-file F] [--password P | --password-file F]\n"
    "\n"
    "Adds an account from the page that shows its balance. The login form is found on the login\n"
    "page (--login-page, else the account page itself); hidden fields that change with every visit\n"
    "are cut from it at each check. The tool logs in with the login and password given, as 'check'\n"
    "takes them, and reads the account page.\n"
    "Without --pick or --pick-index, standard output gets one JSON object with the form found and\n"
    "the numbers of the account page:\n"
    "  {\"login_form\": {\"action\": s, \"method\": s, \"login_field\": s, \"password_field\": s,\n"
    "                  \"tokens\": [s]} | null,\n"
    "   \"numbers\": [{\"index\": n, \"value\": s, \"written\": s, \"context\": s}]}\n"
    "With one, the number picked (--pick as the page writes it, \"1.234,56\", or --pick-index by its\n"
    "index) gets a pattern that is tried on a second download of the page, and the definition is\n"
    "written: to FILE.bal, or to UNIQUE_ID.bal in $XDG_DATA_HOME/tallyglass/BalanceAlerts/, where\n"
    "the program finds it. It is encrypted as the program reads it; --plain writes it as text\n"
    "(encrypt it with 'tallyglass-tool encrypt' before use). An existing file is replaced only with\n"
    "--force. Standard output then gets the definition as 'dump' prints it. The login and the\n"
    "password go into no file; with --state-dir they are stored with the alert's state in\n"
    "DIR/registry.db, where 'check --state-dir DIR' finds them.\n"
    "NAME is the page's host when not given, and so are the group and the list name without\n"
    "--group and --list; ID is NAME in capitals. --form N chooses among several forms with a\n"
    "password field, counted from 1.\n"
    "Exit codes: 0 done; 1 a page could not be downloaded; 2 bad arguments, or a file that cannot\n"
    "be read or written; 3 no number that can be a balance (none on the page, not the one picked,\n"
    "or one that changes between downloads); 4 no login form that a definition can fill in (no\n"
    "form with a password field, a login by scripts only, a multipart form, a field that changes\n"
    "with every visit and cannot be cut); 5 the login did not succeed; 6 the login page has\n"
    "several forms with a password field: choose one with --form.\n";

namespace {

constexpr int kExitDownload = 1;
constexpr int kExitBadArguments = 2;
constexpr int kExitNoBalance = 3;
constexpr int kExitNoLoginForm = 4;
constexpr int kExitLoginFailed = 5;
constexpr int kExitSeveralForms = 6;

int BadArguments(const std::string& message) {
    std::fprintf(stderr, "tallyglass-tool: %s\n\n%s", message.c_str(), kNewHelp);
    return kExitBadArguments;
}

void Say(const std::string& text) {
    std::fprintf(stderr, "tallyglass-tool: %s\n", text.c_str());
}

// The exit code that tells what stands in the way of a step.
int ExitCodeOf(unsigned id) {
    switch (id) {
    case 2141:
    case 2143:
    case 2144:
    case 2156:
    case 2160:
        return kExitNoLoginForm;
    case 2142:
        return kExitSeveralForms;
    case 2145:
        return kExitLoginFailed;
    case 2148:
    case 2149:
    case 2150:
    case 2151:
    case 2152:
    case 2153:
    case 2157:
        return kExitNoBalance;
    case 2154:
    case 2158:
        return kExitBadArguments;
    default:
        return kExitDownload;
    }
}

// Says what a failed step found and gives its exit code.
int Failed(const TDiscoverResult& result) {
    Say(result.Text);
    return ExitCodeOf(result.Id);
}

// A count from 1 as an option gives it; nullopt when it is none.
std::optional<std::size_t> Count(const std::string& text) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    std::size_t value = 0;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0)
            return std::nullopt;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    return value == 0 ? std::nullopt : std::optional<std::size_t>(value);
}

// "BANK_EXAMPLE" for "bank.example": letters in capitals, digits, and '_' for everything else.
std::string IdOf(const std::string& name) {
    std::string id;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        id += byte < 0x80 && std::isalnum(byte) != 0 ? static_cast<char>(std::toupper(byte)) : '_';
    }
    return id;
}

std::string FormJson(const TAccountDiscovery& discovery) {
    if (!discovery.NeedsLogin() || discovery.FormIndex >= discovery.Forms.size())
        return "null";
    const TLoginForm& form = discovery.Forms[discovery.FormIndex];
    std::string json = "{\"action\": " + JsonString(form.Action) +
                       ", \"method\": " + JsonString(form.Post ? "POST" : "GET") +
                       ", \"login_field\": " + JsonString(form.LoginField) +
                       ", \"password_field\": " + JsonString(form.PasswordField) + ", \"tokens\": [";
    for (std::size_t i = 0; i < discovery.Tokens.size(); ++i)
        json += (i == 0 ? "" : ", ") + JsonString(discovery.Tokens[i]);
    return json + "]}";
}

std::string NumbersJson(const TAccountDiscovery& discovery) {
    std::string json = "{\"login_form\": " + FormJson(discovery) + ", \"numbers\": [";
    for (std::size_t i = 0; i < discovery.Numbers.size(); ++i) {
        const TPageNumber& number = discovery.Numbers[i];
        json += (i == 0 ? "" : ", ") + std::string("{\"index\": ") + std::to_string(number.Index) +
                ", \"value\": " + JsonString(FormatHundredths(number.Hundredths)) +
                ", \"written\": " + JsonString(number.Written) + ", \"context\": " + JsonString(number.Context) + "}";
    }
    return json + "]}\n";
}

// Stores the login and the password with the alert's state in the tool's store of stateDir.
bool StoreCredentials(const std::string& stateDir, const std::string& text, const std::string& uniqueId,
                      const TCredentials& credentials) {
    if (!ForceDirectories(stateDir))
        return false;
    const auto store = std::make_unique<TRegistry>(stateDir + "/registry.db");
    TAlertItems list;
    list.RegistryRoot = kToolRegistryRoot;
    list.StateKey = ToolStateKey();
    list.Store = store.get();
    list.LoadFromText(text);
    TAlertItem* alert = list.FindByUniqueId(uniqueId);
    if (alert == nullptr)
        return false;
    alert->SetCredentials(credentials.Login, credentials.Password);
    return list.SaveState(*alert);
}

} // namespace

int RunNew(const TArgs& given) {
    TArgs args = given;
    TCredentials credentials;
    if (!TakeCredentials(args, credentials, kNewHelp))
        return kExitBadArguments;
    std::string page, loginPage, form, id, name, group, listName, pick, pickIndex, out, stateDir;
    bool hasPage = false, hasLoginPage = false, hasForm = false, hasId = false, hasName = false, hasGroup = false,
         hasList = false, hasPick = false, hasPickIndex = false, hasOut = false, hasStateDir = false;
    if (!TakeOption(args, "--page", page, hasPage) || !TakeOption(args, "--login-page", loginPage, hasLoginPage) ||
        !TakeOption(args, "--form", form, hasForm) || !TakeOption(args, "--id", id, hasId) ||
        !TakeOption(args, "--name", name, hasName) || !TakeOption(args, "--group", group, hasGroup) ||
        !TakeOption(args, "--list", listName, hasList) || !TakeOption(args, "--pick", pick, hasPick) ||
        !TakeOption(args, "--pick-index", pickIndex, hasPickIndex) || !TakeOption(args, "--out", out, hasOut) ||
        !TakeOption(args, "--state-dir", stateDir, hasStateDir))
        return BadArguments("an option is missing its value");
    bool plain = false, force = false;
    for (auto it = args.begin(); it != args.end();) {
        if (*it == "--plain" || *it == "--force") {
            (*it == "--plain" ? plain : force) = true;
            it = args.erase(it);
        } else {
            ++it;
        }
    }
    if (!args.empty())
        return BadArguments("unexpected argument '" + args.front() + "'");
    if (!hasPage || page.empty())
        return BadArguments("--page needs the address of the page that shows the balance");
    if (hasPick && hasPickIndex)
        return BadArguments("give --pick or --pick-index, not both");
    const std::optional<std::size_t> formNumber = hasForm ? Count(form) : std::nullopt;
    if (hasForm && !formNumber)
        return BadArguments("--form needs a number from 1");
    const std::optional<std::size_t> index = hasPickIndex ? Count(pickIndex) : std::nullopt;
    if (hasPickIndex && !index)
        return BadArguments("--pick-index needs a number from 1");
    const bool picking = hasPick || hasPickIndex;
    if (!picking && (hasOut || plain || force || hasStateDir || hasId))
        return BadArguments("--id, --out, --plain, --force and --state-dir need --pick or --pick-index");
    if (hasStateDir && stateDir.empty())
        return BadArguments("--state-dir needs a folder");

    const std::string host = QUrl(QString::fromStdString(page)).host().toStdString();
    if (!hasName)
        name = host.empty() ? std::string("Account") : host;
    if (!hasId)
        id = IdOf(name);
    if (!hasGroup)
        group = host.empty() ? name : host;
    if (!hasList)
        listName = group;
    if (picking) {
        if (const TDiscoverResult valid = ValidUniqueId(id); !valid.Ok())
            return Failed(valid);
        if (!hasOut)
            out = DefinitionPath(LocalAppDataFolder() + "tallyglass/BalanceAlerts/", id);
        if (!force && QFileInfo::exists(QString::fromStdString(out))) {
            Say(FormatMsg(LoadStr(2174), {out}));
            return kExitBadArguments;
        }
    }
    if (!ReadCredentials(credentials))
        return kExitBadArguments;

    TAccountDiscovery discovery;
    discovery.PageUrl = page;
    discovery.LoginPageUrl = loginPage;
    discovery.Login = credentials.Login;
    discovery.Password = credentials.Password;
    const TDiscoverResult found =
        discovery.FindLoginForm(formNumber ? std::optional<std::size_t>(*formNumber - 1) : std::nullopt);
    if (!found.Ok()) {
        const int code = Failed(found);
        if (found.Id == 2142) {
            for (std::size_t i = 0; i < discovery.Forms.size(); ++i) {
                const TLoginForm& each = discovery.Forms[i];
                Say(FormatMsg(LoadStr(2171), {static_cast<std::uint64_t>(i + 1),
                                              std::string(each.Post ? "POST" : "GET"), each.Action, each.LoginField}));
            }
            Say(LoadStr(2172));
        }
        return code;
    }
    if (discovery.NeedsLogin() && (!credentials.HasLogin || !credentials.HasPassword)) {
        Say(LoadStr(2173));
        return kExitBadArguments;
    }
    const TDiscoverResult read = discovery.ReadAccountPage();
    for (const std::string& note : discovery.Notes)
        Say(note);
    if (!read.Ok())
        return Failed(read);
    if (!picking)
        return WriteStdout(NumbersJson(discovery)) ? 0 : kExitBadArguments;

    const TDiscoverResult picked = hasPick ? discovery.PickWritten(pick) : discovery.Pick(*index);
    if (!picked.Ok())
        return Failed(picked);
    const std::string text = discovery.DefinitionText({name, id, group, listName});
    if (const TDiscoverResult written = WriteDefinition(out, text, plain); !written.Ok())
        return Failed(written);
    Say(FormatMsg(LoadStr(2170), {name, out}));
    if (hasStateDir && discovery.NeedsLogin()) {
        if (!StoreCredentials(stateDir, text, id, credentials)) {
            Say("cannot store the alert's state in '" + stateDir + "/registry.db'");
            return kExitBadArguments;
        }
        Say(FormatMsg(LoadStr(2175), {stateDir + "/registry.db"}));
    }

    // The dump of the file as it was written: what the program will read.
    std::string bytes;
    if (!ReadInputOrReport(out, "definition file", bytes, false))
        return kExitBadArguments;
    TAlertItems list;
    list.FileName = out;
    if (plain)
        list.LoadFromText(bytes);
    else
        list.LoadFromBytes(std::move(bytes));
    return WriteStdout(DumpJson(list)) ? 0 : kExitBadArguments;
}
