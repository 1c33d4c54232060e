#pragma once

#include <memory>
#include <string>

// Starting the program when the user logs in. One implementation per desktop standard, chosen by
// Create(); on Linux the XDG autostart entry, which every desktop of freedesktop.org honours.
class TAutoStart {
public:
    virtual ~TAutoStart() = default;

    // `entryFile` is where the entry lives (empty: $XDG_CONFIG_HOME/autostart/tallyglass.desktop),
    // `programFile` the program it starts (empty: the running executable); both are set for tests.
    static std::unique_ptr<TAutoStart> Create(const std::string& entryFile = {}, const std::string& programFile = {});

    // Writes the entry when `enabled`, removes it otherwise. False when the change could not be made.
    virtual bool Apply(bool enabled) = 0;
};

// The Exec= value that starts `path` with no arguments, quoted as desktop entries require.
std::string DesktopExecQuote(const std::string& path);
