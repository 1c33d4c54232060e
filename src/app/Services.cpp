#include "app/Services.h"

#include "base/LogFile.h"
#include "translate/Messages.h"

#include <filesystem>

std::string& LanguageCode() {
    static std::string code = "en";
    return code;
}

std::string HelpLink(const std::string& page) {
    return std::string(kVendorSiteRoot) + FormatMsg("?lang=%s&page=%s", {LanguageCode(), page});
}

std::string CheckVersionLink(const std::string& version) {
    return std::string(kVendorSiteRoot) + FormatMsg("check_version.php?lang=%s&version=%s", {LanguageCode(), version});
}

std::string SupportMailLink() {
    return std::string("mailto:") + kSupportAddress;
}

std::string PrepareLogForViewing(TLogFile& log, const std::string& dataPath) {
    const std::string logPath = dataPath + "log.txt";
    std::error_code error;
    if (!std::filesystem::is_regular_file(logPath, error))
        return std::string();
    const std::string viewPath = dataPath + "view_log.txt";
    // The open log is copied under its lock; a log that is not open here is copied as it is.
    if (log.IsOpen())
        log.CopyTo(viewPath);
    else
        std::filesystem::copy_file(logPath, viewPath, std::filesystem::copy_options::overwrite_existing, error);
    return viewPath;
}
