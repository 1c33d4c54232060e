#include "discover/AccountWizard.h"

#include "alerts/AlertItems.h"
#include "alerts/AlertSettings.h"
#include "platform/Events.h"
#include "platform/Strings.h"
#include "translate/Messages.h"

#include <QFileInfo>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <cctype>

namespace {

TDiscoverResult Problem(unsigned id) {
    return {id, LoadStr(id)};
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

TAccountWizard::TAccountWizard(std::string folder, const std::vector<std::shared_ptr<TAlertItems>>& lists)
    : CancelEvent(std::make_shared<TManualResetEvent>()), m_folder(std::move(folder)) {
    Discovery->CancelEvent = CancelEvent.get();
    for (const auto& list : lists) {
        m_takenFiles.push_back(BaseName(list->FileName));
        for (const auto& alert : list->Alerts)
            m_takenIds.push_back(alert->unique_id);
    }
}

bool TAccountWizard::ShowsForm(const TDiscoverResult& found) const {
    if (found.Id == 2142)
        return true;
    return found.Ok() && Discovery->NeedsLogin();
}

std::vector<std::pair<std::string, std::string>> TAccountWizard::FormFields(std::size_t form) const {
    std::vector<std::pair<std::string, std::string>> fields;
    const TAccountDiscovery& discovery = *Discovery;
    if (form >= discovery.Forms.size())
        return fields;
    for (const TFormEntry& entry : discovery.Forms[form].Entries) {
        std::string sent = entry.Value;
        if (entry.Role == TFormEntry::rLogin)
            sent = LoadStr(2180);
        else if (entry.Role == TFormEntry::rPassword)
            sent = LoadStr(2181);
        else if (std::find(discovery.Tokens.begin(), discovery.Tokens.end(), entry.Name) != discovery.Tokens.end())
            sent = LoadStr(2182);
        fields.emplace_back(entry.Name, sent);
    }
    return fields;
}

std::vector<std::string> TAccountWizard::FormChoices() const {
    std::vector<std::string> choices;
    for (const TLoginForm& form : Discovery->Forms)
        choices.push_back(std::string(form.Post ? "POST " : "GET ") + form.Action);
    return choices;
}

std::vector<std::size_t> TAccountWizard::NumbersMatching(const std::string& search) const {
    const QString wanted = QString::fromStdString(Trim(search));
    std::vector<std::size_t> found;
    const std::vector<TPageNumber>& numbers = Discovery->Numbers;
    for (std::size_t i = 0; i < numbers.size(); ++i)
        if (wanted.isEmpty() || QString::fromStdString(numbers[i].Context).contains(wanted, Qt::CaseInsensitive) ||
            QString::fromStdString(numbers[i].Written).contains(wanted, Qt::CaseInsensitive))
            found.push_back(i);
    return found;
}

TWizardNames TAccountWizard::ProposedNames() const {
    TWizardNames names;
    std::string host = QUrl(QString::fromStdString(Trim(Discovery->PageUrl))).host().toStdString();
    if (host.rfind("www.", 0) == 0)
        host.erase(0, 4);
    names.Name = host;
    names.GroupName = host;
    names.ListName = LoadStr(2183);
    return names;
}

bool TAccountWizard::IdTaken(const std::string& id) const {
    if (std::find(m_takenIds.begin(), m_takenIds.end(), id) != m_takenIds.end())
        return true;
    const std::string path = DefinitionPath(m_folder, id);
    const std::string file = BaseName(path);
    return QFileInfo::exists(QString::fromStdString(path)) ||
           std::any_of(m_takenFiles.begin(), m_takenFiles.end(),
                       [&](const std::string& taken) { return AsciiEqualNoCase(taken, file); });
}

std::string TAccountWizard::UniqueIdFor(const std::string& name) const {
    std::string base;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80 && std::isalnum(byte) != 0)
            base += static_cast<char>(std::toupper(byte));
        else if (!base.empty() && base.back() != '_')
            base += '_';
    }
    while (!base.empty() && base.back() == '_')
        base.pop_back();
    if (base.empty())
        base = "ACCOUNT";
    std::string id = base;
    for (int n = 2; IdTaken(id); ++n)
        id = base + "_" + std::to_string(n);
    return id;
}

TDiscoverResult TAccountWizard::Finish(const TWizardNames& names) {
    if (Discovery->Pattern.empty())
        return Problem(2187);
    if (!TAlertSettings::AcceptableName(names.Name))
        return Problem(2184);
    if (!TAlertSettings::AcceptableName(names.ListName))
        return Problem(2185);
    if (names.Period < 1 || names.Period > 999)
        return Problem(2186);
    const std::string id = UniqueIdFor(names.Name);
    if (TDiscoverResult valid = ValidUniqueId(id); !valid.Ok())
        return valid;
    const std::string path = DefinitionPath(m_folder, id);
    const std::string text =
        Discovery->DefinitionText({Trim(names.Name), id, Trim(names.GroupName), Trim(names.ListName)});
    if (TDiscoverResult written = WriteDefinition(path, text, false); !written.Ok())
        return written;
    WrittenPath = path;
    WrittenId = id;
    m_written = names;
    m_takenIds.push_back(id);
    return {};
}

std::shared_ptr<TAlertItems> TAccountWizard::LoadWritten(const std::string& registryRoot, const std::string& stateKey,
                                                         TRegistry* store) const {
    if (WrittenPath.empty())
        return nullptr;
    auto list = std::make_shared<TAlertItems>();
    list->FileName = WrittenPath;
    list->RegistryRoot = registryRoot;
    list->StateKey = stateKey;
    list->Store = store;
    if (!list->LoadFromFile())
        return nullptr;
    TAlertItem* alert = list->FindByUniqueId(WrittenId);
    if (alert == nullptr)
        return nullptr;
    // The login and password live only in the alert's encrypted state, as the edit dialog keeps them.
    alert->SetCredentials(Discovery->Login, Discovery->Password);
    alert->SetInterval(m_written.Period, m_written.PeriodType);
    list->SaveState(*alert);
    return list;
}

TDiscoverWorker::TDiscoverWorker(std::shared_ptr<TAccountDiscovery> discovery,
                                 std::shared_ptr<TManualResetEvent> cancelEvent, TStep step, TDone done)
    : TWorker(std::move(cancelEvent)), m_discovery(std::move(discovery)), m_step(std::move(step)),
      m_done(std::move(done)) {}

void TDiscoverWorker::Execute() {
    const TDiscoverResult result = m_step(*m_discovery);
    Complete([&] { m_done(result); });
}
