#include "platform/ui/GlobalHotKeys.h"

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
    return std::make_unique<TNoGlobalHotKeys>();
}
