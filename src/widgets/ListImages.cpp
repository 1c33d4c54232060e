#include "widgets/ListImages.h"

#include <array>

// The images live in the gui library's resources, which a static library must register (outside
// any namespace).
static void InitResources() {
    Q_INIT_RESOURCE(ListImages);
}

QIcon ListImage(int index) {
    static const std::array<QIcon, 5> images = [] {
        InitResources();
        return std::array<QIcon, 5>{
            QIcon(QStringLiteral(":/widgets/images/0-nochange.png")),
            QIcon(QStringLiteral(":/widgets/images/1-up.png")),
            QIcon(QStringLiteral(":/widgets/images/2-down.png")),
            QIcon(QStringLiteral(":/widgets/images/3-checknow.png")),
            QIcon(QStringLiteral(":/widgets/images/4-disable.png")),
        };
    }();
    return index >= 0 && index < static_cast<int>(images.size()) ? images[static_cast<std::size_t>(index)] : QIcon();
}
