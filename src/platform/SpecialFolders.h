#pragma once

#include <string>

// Shell folder ids the program asks for, with their XDG counterparts.
namespace SpecialFolder {
constexpr int kDesktop = 0x00;      // the desktop folder
constexpr int kPersonal = 0x05;     // documents
constexpr int kAppData = 0x1A;      // per-user configuration: $XDG_CONFIG_HOME
constexpr int kLocalAppData = 0x1C; // per-user data: $XDG_DATA_HOME
} // namespace SpecialFolder

// The folder's path with a trailing '/', or empty text for an id we have no folder for or a path
// longer than the 260 characters callers expect.
std::string GetSpecialFolder(int id);
