#include "platform/Version.h"

#include "BuildConfig.h"

TFileVersion ProgramFileVersion() {
    return {TALLYGLASS_VERSION_MAJOR, TALLYGLASS_VERSION_MINOR, TALLYGLASS_VERSION_PATCH, TALLYGLASS_VERSION_TWEAK,
            TALLYGLASS_DEBUG_BUILD != 0};
}

std::string GetFileVersionString(const TFileVersion& version, int parts, bool withSuffix, const std::string& suffix) {
    const unsigned numbers[] = {version.Major, version.Minor, version.Release, version.Build};
    std::string text;
    for (int i = 0; i < parts && i < 4; ++i) {
        if (i > 0)
            text += '.';
        text += std::to_string(numbers[i]);
    }
    if (withSuffix && version.DebugBuild)
        text += suffix;
    return text;
}

std::string GetFileVersionString(int parts, bool withSuffix, const std::string& suffix) {
    return GetFileVersionString(ProgramFileVersion(), parts, withSuffix, suffix);
}
