#include "translate/Messages.h"

#include "platform/UiThread.h"
#include "translate/InterfaceTranslator.h"

#include <string>

namespace {

// The built-in texts of the numbered messages; numbers without a text stay empty.
struct TMessageEntry {
    unsigned id;
    const char* text;
};

constexpr TMessageEntry kBuiltInMessages[] = {
    {1000, "Select password"},
    {1001, "Please specify access password:"},
    {1002, "Enter password"},
    {1003, "Please enter program password:"},
    {1004, "Wrong password! Program will be closed!"},
    {1005, "Program start first time - you need to adjust your Balance Alerts and other settings."},
    {1006, "Message"},
    {1007, "One or more active Balance Alerts was not completely configured (for example, missed "
           "login/password).\r\nThis may cause problem with access to such pages. Switch to configuration dialog?"},
    {1008, "OK"},
    {1009, "ERR"},
    {1010, "Bad request"},
    {1011, "Unauthorized"},
    {1012, "Payment Required"},
    {1013, "Forbidden"},
    {1014, "Not found"},
    {1015, "Balance in '%s' changed. You can find the detailed information in Balance List window."},
    {1016, "Add custom Alert"},
    {1017, "Please enter the name for new Alert:"},
    {1018, " (new)"},
    {1019, "%s\r\n    Last balance: %s\r\n    Current balance: %s\r\n    Trend: %s\r\n\r\n%s    Last check: %s\r\n    "
           "Next check: %s"},
    {1020, "Growth up."},
    {1021, "Growth down."},
    {1022, "No changes from last check."},
    {1023, "Balance for '%s' cannot be retrieved - probably service down."},
    {1024, "Additional info:"},
    {1025, "Create check thread for '%s' alert..."},
    {1026, "Thread for '%s' alert created."},
    {1027, "Request for '%s' alert failed: result code: %u, status message = '%u %s'"},
    {1028, "Request for '%s' alert failed: result code: %u."},
    {1029, "Request for '%s' alert failed [REDIRECT FOUND]: result code: %u."},
    {1030, "Request for '%s' alert failed [UNSUPORTED RESULT CODE FOUND]: result code: %u."},
    {1031, "Error occured in script '%s': %s\tLine number: %u\tChar pos: %u\tSource: %s"},
    {1032, "Alert from script '%s': %s"},
    {1033, "Found %u submatches for '%s' alert - start analize it..."},
    {1034, "Not enough submatches found for '%s' alert!"},
    {1035, "Submatches for '%s' alert analized."},
    {1036, "Found no matches for '%s' alert - probably service down."},
    {1037, "Unable to compile '%s' pattern!"},
    {1038, "Bad option in pattern '%s'!"},
    {1039, "Not enough memory to compile '%s' pattern!"},
    {1040, "Unknown node in pattern '%s'!"},
    {1041, "Start page downloading for alert '%s'..."},
    {1042, "Content for '%s' alert downloaded. Result code: %u, downloaded bytes: %u. Request succeeded ? %s"},
    {1043, "true"},
    {1044, "false"},
    {1045, "Start page downloading for alert '%s': request for chunk #%u..."},
    {1046, "Chunk #%u for '%s' alert downloaded. Result code: %u, downloaded bytes: %u. Request succeeded ? %s"},
    {1047, "Balance for '%s' changed."},
    {1048, "Loading balance alerts from '%s'..."},
    {1049, "Loaded %u balance alerts from %u lists."},
    {1050, "Adding balance alerts to the list-view..."},
    {1051, "Balance alerts added to the list-view."},
    {1052, "Initializing..."},
    {1053, "Adding active alerts to the Balance List window..."},
    {1054, "Active alerts added to the Balance List window."},
    {1055, "Program ready."},
    {1056, "Adding icon to tray..."},
    {1057, "Tray icon added."},
    {1058, "Removing tray icon..."},
    {1059, "Tray icon removed."},
    {1060, "Partner"},
    {1061, "$$$"},
    {1062, "Status"},
    {1068, "Global"},
    {1069, "Click here to get the list of currencies..."},
    {1070, "Click here to cancel..."},
    {1071, "Unable to retrieve currency rates for '%s' list!"},
    {1072, "No currencies found for the '%s' list!"},
    {1073, "Cancel current operation..."},
    {1074, "One or more active Currency List was not completely configured (currencies not downloaded).\r\nFor "
           "download the list of available currencies you should expand the interested leaf and choose '%s' "
           "menu.\r\n\r\nSwitch to configuration dialog?"},
    {1075,
     "One of currency rates in the '%s' list changed. You can find the detailed information in window for this list."},
    {1076, "Unable to initialize the JScript engine! The currency rates scripts cannot be loaded in this case."},
    {2010, "The hotkey %s cannot serve both \"%s\" and \"%s\". Please choose another key combination for one "
           "of them."},
    {2011, "Hotkey %s of \"%s\" not registered: \"%s\" uses it already."},
    {2030, "The translation file '%s' was not used: it is larger than %u bytes."},
    {2031, "Unknown error"},
    {2032, "[ERR] Unable to parse script '%s'!"},
    {2033, "[ERR] Exception in parsing script '%s'!"},
    {2034, "[ERR] Script '%s' skipped: another provider script has the same name in other letter case ('%s')."},
    {2035, "[ERR] Unable to read balance alerts file '%s'!"},
    {2036, "Tallyglass needs a graphical session, but no display could be opened (%s). Start it from the "
           "desktop, or set DISPLAY or WAYLAND_DISPLAY."},
    {2080, "%s: the balance %s is below your limit of %s."},
    {2081, "%s: the balance %s is above your limit of %s."},
    {2082, "%s: %d checks in a row have failed. The last one: %s."},
    {2083, "%s can be read again."},
    {2084, "%d checks failed"},
    {2085, "the page could not be downloaded"},
    {2086, "the server answered with status %d"},
    {2087, "no balance was found on the page"},
    {2088, "\"%s\" is not an amount. Type it as 1234.50, 1.234,50 or 50, or leave the field empty."},
    {2089, "The amount to warn below must not be higher than the amount to warn above."},
    {2090, "the page could not be downloaded: %s"},
    {2100, "[ERR] The history file '%s' cannot be used (%s); the program goes on without history."},
    {2101, "[ERR] The history file '%s' was damaged; it was kept as '%s' and a new history was started."},
    {2102, "[ERR] %u history records were written under another program password and were skipped."},
    {2110, "Time"},
    {2111, "Value"},
    {2112, "Change"},
    {2113, "Outcome"},
    {2114, "No value was read in this range."},
    {2115, "No history is available: the program cannot keep records at the moment."},
    {2116, "balance read"},
    {2117, "no balance found"},
    {2118, "HTTP %d"},
    {2119, "download failed: %s"},
    {2120, "CSV files (*.csv)"},
    {2121, "The file '%s' could not be written (%s)."},
    {2122, "[ERR] The history could not be exported to '%s' (%s)."},
    {2123, "Reading the history..."},
    {2140, "The page has %u bytes; only its first %u bytes were read."},
    {2141, "The page has no form with a password field."},
    {2142, "The page has %u forms with a password field; choose the one to log in with."},
    {2143, "The page logs in through its own scripts: there is no form to fill in. A definition with steps can still "
           "log in; see the guide to writing definitions."},
    {2144, "The login form sends its fields as multipart/form-data, which a definition cannot send."},
    {2145, "The login did not succeed: the page still asks for the password."},
    {2146, "The page '%s' could not be downloaded: %s"},
    {2147, "The page '%s' answered with status %d."},
    {2148, "The page shows no number."},
    {2149, "There is no number %s on the page."},
    {2150,
     "The number %s stands on the page several times with the same text around it; no pattern finds exactly this one."},
    {2151, "The number %s is not the same at the next download of the page (%s): it is no balance."},
    {2152, "The number %s is too large for a balance."},
    {2153, "The number %s has its minus sign where a pattern cannot hand it to the check."},
    {2154, "The definition could not be written to '%s' (%s)."},
    {2156, "The form's field '%s' changes with every visit, but the page writes its value with character references, "
           "which the check would send as written."},
    {2157, "The number %s is no longer found at the next download of the page."},
    {2158, "'%s' cannot be an alert's identity: it must not be empty or contain a backslash or a line break."},
    {2159, "The download was cancelled."},
    {2160, "The form's field '%s' changes with every visit, and no pattern finds it on the login page."},
    {2170, "The definition of '%s' was written to '%s'."},
    {2171, "Form %u: sent with %s to '%s', login field '%s'."},
    {2172, "Give the number of the form to log in with: --form N."},
    {2173, "The page asks for a login: give the login and the password (--login and --password, their files, or "
           "TALLYGLASS_LOGIN and TALLYGLASS_PASSWORD)."},
    {2174, "The file '%s' is there already; give another --out or --id, or --force to replace it."},
    {2175, "The login and the password were stored with the alert's state in '%s'."},
    {2180, "the login you typed"},
    {2181, "the password you typed"},
    {2182, "new at every visit: read from the login page at each check"},
    {2183, "Added accounts"},
    {2184, "The account needs a name."},
    {2185, "The list needs a name."},
    {2186, "Check every 1 to 999 minutes, hours or days."},
    {2187, "Choose the number that is the balance."},
    {2188, "Looking for the login form..."},
    {2189, "Logging in and reading the account page..."},
    {2190, "Reading the page again to check the number..."},
    {2191, "Cancelling..."},
    {2192, "%u of %u numbers"},
    {2193, "The definition written to '%s' could not be loaded."},
    {2194, "Account '%s' added from its page as '%s'."},
    {2195, "Enter the address of the page that shows the balance."},
    {2200, "The program was unlocked with the password from the desktop keyring."},
    {2201, "The desktop keyring holds no program password yet: it is stored there once it is typed."},
    {2202, "[ERR] The desktop keyring could not be used (%s); the program asks for its password."},
    {2203, "[ERR] The desktop keyring did not answer within %s ms; the program asks for its password."},
    {2204, "[ERR] The password in the desktop keyring is not the program password; it is removed from the keyring."},
    {2205, "[ERR] The program password could not be stored in the desktop keyring (%s)."},
    {2206, "[ERR] The program password could not be removed from the desktop keyring (%s)."},
    {2207, "The program password was stored in the desktop keyring."},
    {2208, "The program password was removed from the desktop keyring."},
    {2209, "the keyring did not answer in time"},
    {2210, "The balances are offered on the session bus as %s."},
    {2211, "No session bus (%s): the balances are not offered on D-Bus."},
    {2212, "Another program holds the name %s on the session bus: the balances are not offered on D-Bus."},
    {2213, "No alert with the id '%s' is in the Balance List."},
    {2230, "The desktop bound the hotkey of \"%s\" to %s."},
    {2231, "The desktop did not bind the hotkeys: %s."},
    {2240, "To keep it in the desktop keyring, please enter the program password:"},
    {2241, "That is not the program password. It goes into the desktop keyring when you type it at the next start."},
    {2242, "[ERR] The desktop keyring stayed locked for %s seconds; the program asks for its password."},
};

} // namespace

std::string BuiltInMessage(unsigned id) {
    for (const auto& message : kBuiltInMessages)
        if (message.id == id)
            return message.text;
    return {};
}

std::string LoadStr(unsigned id) {
    if (!InterfaceTranslatorActive())
        return BuiltInMessage(id);
    // The translator lives on the user-interface thread; other threads have it answer there. If
    // that thread no longer answers, the built-in text serves.
    std::string text;
    const bool served = UiThread::RunSync(
        [&text, id] { text = InterfaceTranslatorActive() ? InterfaceTranslator().LoadStr(id) : BuiltInMessage(id); });
    return served ? text : BuiltInMessage(id);
}
