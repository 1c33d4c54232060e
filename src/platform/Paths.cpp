#include "platform/Paths.h"

#include "platform/Strings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return WithSlash(home);
    return WithSlash(QDir::homePath().toStdString());
}

// XDG base directories must be absolute; a relative value is ignored, as the XDG rules ask.
std::string XdgFolder(const char* variable, const char* fallbackUnderHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return WithSlash(value);
    return HomeFolder() + fallbackUnderHome;
}

// A folder that only this user can use: made with mode 0700 when missing. One that exists must be
// a real folder, not a link, that belongs to the user and has mode 0700; otherwise another user
// made it, or can reach into it.
bool PrivateFolder(const std::string& path) {
    const bool created = mkdir(path.c_str(), 0700) == 0;
    if (!created && errno != EEXIST)
        return false;
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    // The umask may have taken bits from a new folder.
    if (created)
        fchmod(fd, 0700);
    struct stat st {};
    const bool ours =
        fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 07777) == 0700;
    close(fd);
    return ours;
}

} // namespace

std::string ExePath() {
    if (QCoreApplication::instance() != nullptr)
        return WithSlash(QCoreApplication::applicationDirPath().toStdString());
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "./";
    return WithSlash(QFileInfo(QString::fromLocal8Bit(buffer, n)).absolutePath().toStdString());
}

std::string StableProgramPath(const std::string& executable) {
    namespace fs = std::filesystem;
    const fs::path program(executable);
    const fs::path folder = program.parent_path();
    if (folder.filename() != "tallyglass" || folder.parent_path().filename() != "lib")
        return executable;
    const fs::path link = folder.parent_path().parent_path() / "bin" / program.filename();
    std::error_code error;
    // A link of the same name that leads elsewhere, or a copy in bin/, is not this program.
    if (!fs::is_symlink(link, error) || !fs::equivalent(link, program, error))
        return executable;
    return link.string();
}

std::string LocalAppDataFolder() {
    return XdgFolder("XDG_DATA_HOME", ".local/share/");
}

std::string ConfigFolder() {
    return XdgFolder("XDG_CONFIG_HOME", ".config/");
}

std::string RuntimeFolder() {
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    if (value != nullptr && value[0] == '/')
        return WithSlash(value);
    // Files of a fixed name right in the temporary folder could be made first by another user;
    // a folder of the user's own holds them instead.
    const std::string folder = WithSlash(QDir::tempPath().toStdString()) + "tallyglass-" + std::to_string(getuid());
    if (PrivateFolder(folder))
        return folder + '/';
    // That name is taken by something that is not ours: the user's configuration folder serves.
    const std::string fallback = ConfigFolder() + "tallyglass/";
    ForceDirectories(fallback);
    return fallback;
}

bool ForceDirectories(const std::string& path) {
    if (path.empty())
        return false;
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty())
            continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileNameLess(std::string_view a, std::string_view b) {
    const int folded = AsciiCompareNoCase(a, b);
    return folded != 0 ? folded < 0 : a < b;
}

namespace {

// Names of the folder's entries that are not folders and that `keep` accepts, in FileNameLess order.
template <class Keep>
std::vector<std::string> FilesOf(const std::string& folder, const Keep& keep) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
        std::error_code statError;
        if (it->is_directory(statError))
            continue;
        std::string name = it->path().filename().string();
        if (keep(name))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), FileNameLess);
    return names;
}

} // namespace

std::vector<std::string> FilesWithExtension(const std::string& folder, std::string_view extension) {
    return FilesOf(folder, [extension](const std::string& name) {
        return name.size() >= extension.size() &&
               AsciiEqualNoCase(std::string_view(name).substr(name.size() - extension.size()), extension);
    });
}

std::string FindFileIgnoringCase(const std::string& folder, const std::string& name) {
    if (name.empty())
        return std::string();
    std::error_code error;
    const std::string exact = folder + name;
    if (std::filesystem::is_regular_file(exact, error))
        return exact;
    if (name.find('/') != std::string::npos)
        return std::string();
    for (const std::string& found :
         FilesOf(folder, [&name](const std::string& entry) { return AsciiEqualNoCase(entry, name); })) {
        // A directory entry may still be a link to nothing or to a folder.
        if (std::filesystem::is_regular_file(folder + found, error))
            return folder + found;
    }
    return std::string();
}
