#include "widgets/WindowPlace.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

bool PlaceIsUsable(const QRect& frame) {
    if (frame.isEmpty())
        return false;
    const int wantedWidth = std::min(frame.width(), kUsableWidth);
    const int wantedHeight = std::min(frame.height(), kUsableHeight);
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shown = screen->availableGeometry().intersected(frame);
        if (!shown.isEmpty() && shown.top() == frame.top() && shown.width() >= wantedWidth &&
            shown.height() >= wantedHeight)
            return true;
    }
    return false;
}

TPlaceSaver::TPlaceSaver(std::function<void()> save, QObject* parent) : QObject(parent), m_save(std::move(save)) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(kPauseMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_save(); });
}

void TPlaceSaver::Watch(QWidget* window) {
    if (window != nullptr)
        window->installEventFilter(this);
}

void TPlaceSaver::Watch(QHeaderView* header) {
    if (header != nullptr)
        connect(header, &QHeaderView::sectionResized, &m_timer, qOverload<>(&QTimer::start));
}

void TPlaceSaver::SaveNow() {
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    m_save();
}

bool TPlaceSaver::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        m_timer.start();
    return QObject::eventFilter(watched, event);
}
