#include "platform/Connectivity.h"

#include <QCoreApplication>
#include <QNetworkInformation>

bool IsConnected() {
    // The backend is loaded once, on first use; it needs the application object.
    static const bool loaded = QCoreApplication::instance() != nullptr && QNetworkInformation::loadDefaultBackend();
    QNetworkInformation* info = loaded ? QNetworkInformation::instance() : nullptr;
    if (info == nullptr || !info->supports(QNetworkInformation::Feature::Reachability))
        return true;
    return info->reachability() != QNetworkInformation::Reachability::Disconnected;
}
