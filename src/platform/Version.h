#pragma once

#include <string>

// The program's version numbers and the debug flag, compiled in from the build.
struct TFileVersion {
    unsigned Major = 0, Minor = 0, Release = 0, Build = 0;
    bool DebugBuild = false;
};

TFileVersion ProgramFileVersion();

// The first `parts` (1-4) numbers joined with "."; the suffix is appended only when asked for
// and the version carries the debug flag.
std::string GetFileVersionString(const TFileVersion& version, int parts, bool withSuffix, const std::string& suffix);
std::string GetFileVersionString(int parts, bool withSuffix, const std::string& suffix);
