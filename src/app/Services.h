#pragma once

#include <string>

class TLogFile;

// The vendor's web site and support address; only the pages and queries below are fixed.
inline constexpr const char* kVendorSiteRoot = "https://tallyglass.example/";
inline constexpr const char* kSupportAddress = "support@tallyglass.example";

// The interface language code used in web links: "en" until a translation names its language.
// Read and set on the user-interface thread only.
std::string& LanguageCode();

// The help link: the site root with "?lang=<language>&page=<page>".
std::string HelpLink(const std::string& page);
// The update link for a version such as 1.0.0.41.
std::string CheckVersionLink(const std::string& version);
// The support address as a mail link.
std::string SupportMailLink();

// Copies "log.txt" of the data folder to "view_log.txt" beside it for viewing, keeping the log
// open for appending. Returns the copy's path for the viewer, or empty text when there is no log
// file (then nothing is to be opened). A failed copy still returns the path: an older copy, if
// any, is shown.
std::string PrepareLogForViewing(TLogFile& log, const std::string& dataPath);
