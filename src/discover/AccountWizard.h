#pragma once

#include "alerts/AlertItem.h"
#include "discover/AccountDiscovery.h"
#include "platform/Worker.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TAlertItems;
class TManualResetEvent;
class TRegistry;

// What the user names a new account by, and how often it is checked.
struct TWizardNames {
    std::string Name;
    std::string GroupName;
    std::string ListName;
    std::int32_t Period = 1;
    TPeriodType PeriodType = TPeriodType::hours;
};

// What the window that adds an account from its page decides, without widgets: which step follows
// which, what the form's fields send, which numbers a search leaves, the names offered, the
// identity and file of the new definition, and the alert's stored state once it is loaded.
//
// The engine's steps download, so they run on a TDiscoverWorker; while one runs, nothing else
// touches the engine. The cancel event is shared with every worker and reset before each run.
class TAccountWizard {
public:
    // `folder`: the user's definition folder; `lists`: the lists loaded, whose identities and file
    // names a new definition must not take.
    TAccountWizard(std::string folder, const std::vector<std::shared_ptr<TAlertItems>>& lists);

    const std::shared_ptr<TAccountDiscovery> Discovery = std::make_shared<TAccountDiscovery>();
    const std::shared_ptr<TManualResetEvent> CancelEvent;

    // After looking for the login form: whether the form step comes next (a login is needed, or a
    // form is to be chosen); otherwise the account page is read at once, when the search went well.
    bool ShowsForm(const TDiscoverResult& found) const;
    // The fields a form of the page sends, as name and what is sent; the typed login and password
    // are never shown, only named. Tokens are known once the form is the chosen one.
    std::vector<std::pair<std::string, std::string>> FormFields(std::size_t form) const;
    // "POST https://bank.example/login", one line per form of the page that has a password field.
    std::vector<std::string> FormChoices() const;

    // Positions in Discovery->Numbers of the numbers whose text or context holds `search`, letter
    // case ignored; a blank search keeps them all.
    std::vector<std::size_t> NumbersMatching(const std::string& search) const;

    // After a pick: the page's host as name and group, the list of added accounts, checked hourly.
    TWizardNames ProposedNames() const;
    // An identity from the name: ASCII letters and digits upper case, anything else '_', made
    // unique among the loaded alerts, their files and the files of the folder.
    std::string UniqueIdFor(const std::string& name) const;

    // Writes the definition of the picked number into the folder, encrypted. A blank name or list
    // and an interval out of 1-999 are refused with their message.
    TDiscoverResult Finish(const TWizardNames& names);
    std::string WrittenPath;
    std::string WrittenId;

    // Loads the written definition as a list whose state lives under `registryRoot`, and gives its
    // alert the typed login and password and the interval, saved in its stored state. Null when
    // the file cannot be read or holds no such alert.
    std::shared_ptr<TAlertItems> LoadWritten(const std::string& registryRoot, const std::string& stateKey,
                                             TRegistry* store = nullptr) const;

private:
    bool IdTaken(const std::string& id) const;

    std::string m_folder;
    std::vector<std::string> m_takenIds;
    std::vector<std::string> m_takenFiles;
    TWizardNames m_written;
};

// Runs one step of the engine on a thread of its own; the result reaches `done` on the
// user-interface thread unless the run was cancelled through TWorker::Cancel (a window that went).
// Setting the shared cancel event instead stops the download and delivers the engine's message.
class TDiscoverWorker final : public TWorker {
public:
    using TStep = std::function<TDiscoverResult(TAccountDiscovery&)>;
    using TDone = std::function<void(const TDiscoverResult&)>;
    TDiscoverWorker(std::shared_ptr<TAccountDiscovery> discovery, std::shared_ptr<TManualResetEvent> cancelEvent,
                    TStep step, TDone done);

protected:
    void Execute() override;

private:
    std::shared_ptr<TAccountDiscovery> m_discovery;
    TStep m_step;
    TDone m_done;
};
