#include "platform/SpecialFolders.h"

#include "platform/Paths.h"

#include <QStandardPaths>

namespace {

constexpr std::size_t kMaxPath = 260;

std::string StandardLocation(QStandardPaths::StandardLocation location) {
    const QString path = QStandardPaths::writableLocation(location);
    if (path.isEmpty())
        return std::string();
    return path.toStdString() + '/';
}

} // namespace

std::string GetSpecialFolder(int id) {
    std::string path;
    switch (id) {
    case SpecialFolder::kDesktop:
        path = StandardLocation(QStandardPaths::DesktopLocation);
        break;
    case SpecialFolder::kPersonal:
        path = StandardLocation(QStandardPaths::DocumentsLocation);
        break;
    case SpecialFolder::kAppData:
        path = ConfigFolder();
        break;
    case SpecialFolder::kLocalAppData:
        path = LocalAppDataFolder();
        break;
    default:
        break;
    }
    if (path.size() > kMaxPath)
        return std::string();
    return path;
}
