#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace UiThread {

bool isUiThread() {
    auto* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

bool runSync(const std::function<void()>& fn) {
    auto* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        fn();
        return true;
    }
    if (QCoreApplication::closingDown())
        return false;
    return QMetaObject::invokeMethod(
        app, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

} // namespace UiThread
