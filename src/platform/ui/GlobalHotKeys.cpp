#include "platform/ui/GlobalHotKeys.h"

#include "platform/ui/PortalGlobalHotKeys.h"
#include "platform/ui/X11GlobalHotKeys.h"

#include <QGuiApplication>

namespace {

class TNoGlobalHotKeys final : public TGlobalHotKeys {
public:
    bool Register(int, QKeyCombination) override { return false; }
    void Unregister(int) override {}
};

} // namespace

std::unique_ptr<TGlobalHotKeys> TGlobalHotKeys::Create() {
    // Other platforms (offscreen among them) may answer for X11 without a connection.
    if (qGuiApp != nullptr)
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            if (x11->connection() != nullptr)
                return std::make_unique<TX11GlobalHotKeys>(x11->connection());
    // Elsewhere (Wayland) the desktop portal may offer them; whether it does is known only from its
    // answer, which comes later.
    if (QDBusConnection::sessionBus().isConnected())
        return std::make_unique<TPortalGlobalHotKeys>(QDBusConnection::sessionBus());
    return std::make_unique<TNoGlobalHotKeys>();
}
