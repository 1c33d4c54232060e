#pragma once

#include <string>
#include <string_view>
#include <vector>

// Folders of the program. Every returned folder path ends with '/'.

// Folder of the running executable; BalanceAlerts/, CurrencyRates/ and interface.txt live there.
std::string ExePath();

// The path that starts `executable` for good, for entries that outlive this run (auto-start). An
// installed program runs as <prefix>/lib/tallyglass/NAME and is started through <prefix>/bin/NAME,
// a link to it that stays when an upgrade replaces the file: when that link exists and leads to
// `executable`, its path; otherwise `executable` itself.
std::string StableProgramPath(const std::string& executable);

// $XDG_DATA_HOME, or ~/.local/share when unset or not absolute.
std::string LocalAppDataFolder();
// $XDG_CONFIG_HOME, or ~/.config when unset or not absolute.
std::string ConfigFolder();
// $XDG_RUNTIME_DIR when set and absolute; else the private folder "tallyglass-<uid>/" (mode 0700)
// in the temporary folder, made when missing; else, when that name is held by something that is
// not such a folder of the user's, ConfigFolder() + "tallyglass/".
std::string RuntimeFolder();

// Creates the folder with its parents (mode 0700 for new ones); true when it exists afterwards.
bool ForceDirectories(const std::string& path);

// The order in which folders are read, the same on every machine: names compared without regard to
// ASCII letter case, and names that differ only in case by their bytes.
bool FileNameLess(std::string_view a, std::string_view b);

// Names of the entries of a folder that are not folders themselves and whose name ends in
// `extension` (such as ".bal"), letter case ignored, in FileNameLess order. A folder that cannot
// be read gives what was listed before the failure.
std::vector<std::string> FilesWithExtension(const std::string& folder, std::string_view extension);

// The path of the file `name` in `folder` (which ends with '/'), found as definitions written for a
// file system that ignores letter case expect: the name as it is, else the first file of the folder,
// in FileNameLess order, whose name matches without regard to ASCII letter case. Empty when there is
// none. A name with a folder part is only looked up as it is.
std::string FindFileIgnoringCase(const std::string& folder, const std::string& name);
