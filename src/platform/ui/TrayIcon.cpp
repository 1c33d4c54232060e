#include "platform/ui/TrayIcon.h"

#include "platform/ui/DesktopNotifications.h"
#include "platform/ui/TrayHostWatcher.h"

#include <QIconEngine>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QPolygonF>
#include <QSvgRenderer>

#include <algorithm>
#include <memory>

namespace {

// Renders one piece of vector artwork at exactly the size and scale asked for, so the icon is sharp
// in the tray, in menus and in notifications alike.
class TSvgIconEngine final : public QIconEngine {
public:
    TSvgIconEngine(const QString& file, bool warningMark)
        : m_file(file), m_renderer(std::make_shared<QSvgRenderer>(file)), m_warningMark(warningMark) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        if (mode == QIcon::Disabled)
            painter->setOpacity(painter->opacity() * 0.45);
        m_renderer->render(painter, QRectF(rect));
        if (m_warningMark)
            PaintWarningMark(*painter, QRectF(rect));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        if (!pixmap.isNull() && m_renderer->isValid()) {
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            paint(&painter, QRect(QPoint(0, 0), pixmap.size()), mode, state);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    // Those who take pixmaps of listed sizes only (tray hosts on D-Bus) get the common ones.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}};
    }
    QString key() const override { return QStringLiteral("TallyglassSvg"); }
    QIconEngine* clone() const override { return new TSvgIconEngine(*this); }
    bool isNull() override { return !m_renderer->isValid(); }

private:
    // An amber triangle with an exclamation mark over the lower right of the icon.
    static void PaintWarningMark(QPainter& painter, const QRectF& rect) {
        const qreal side = rect.width() * 0.6;
        const QRectF box(rect.right() - side, rect.bottom() - side, side, side);
        const QPolygonF triangle{QPointF(box.center().x(), box.top()), box.bottomRight(), box.bottomLeft()};
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0x5A, 0x3A, 0x00), std::max<qreal>(1.0, side / 14)));
        painter.setBrush(QColor(0xF5, 0xB7, 0x00));
        painter.drawPolygon(triangle);
        painter.setPen(QPen(QColor(0x20, 0x14, 0x00), std::max<qreal>(1.0, side / 8), Qt::SolidLine, Qt::RoundCap));
        const qreal x = box.center().x();
        painter.drawLine(QPointF(x, box.top() + side * 0.35), QPointF(x, box.top() + side * 0.68));
        painter.drawPoint(QPointF(x, box.top() + side * 0.84));
        painter.restore();
    }

    QString m_file;
    std::shared_ptr<QSvgRenderer> m_renderer;
    bool m_warningMark = false;
};

QString Artwork(TTrayIconKind kind) {
    switch (kind) {
    case TTrayIconKind::Growth:
        return QStringLiteral(":/tallyglass/icons/growth.svg");
    case TTrayIconKind::Drop:
        return QStringLiteral(":/tallyglass/icons/drop.svg");
    case TTrayIconKind::Normal:
    case TTrayIconKind::Warning:
        break;
    }
    return QStringLiteral(":/tallyglass/icons/normal.svg");
}

} // namespace

QIcon TrayIconImage(TTrayIconKind kind) {
    // QIcon takes ownership of the engine.
    return QIcon(new TSvgIconEngine(Artwork(kind), kind == TTrayIconKind::Warning));
}

TTrayIcon::TTrayIcon(QObject* parent)
    : QObject(parent), m_notifications(std::make_unique<TDesktopNotifications>(TrayIconImage(TTrayIconKind::Normal))),
      m_watcher(std::make_unique<TTrayHostWatcher>()) {
    m_icon.setIcon(TrayIconImage(m_kind));
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // A tray that embeds the icon as a window of ours (XEmbed) reports every click as a
        // Trigger and a double click besides: there a single click does nothing and the double
        // click counts. A StatusNotifierItem host (KDE Plasma, GNOME's AppIndicator extension,
        // waybar and most panels) draws the icon itself, so it has no place on screen of ours, and
        // never reports a double click: its activation (a left click) arrives as a Trigger and
        // counts. The context menu opens by itself on either.
        if (reason == QSystemTrayIcon::DoubleClick ||
            (reason == QSystemTrayIcon::Trigger && m_icon.geometry().isEmpty()))
            emit Activated();
    });
    connect(m_watcher.get(), &TTrayHostWatcher::TrayHostAppeared, this, &TTrayIcon::TrayHostAppeared);
}

TTrayIcon::~TTrayIcon() = default;

bool TTrayIcon::BalloonCapable() const {
    return m_notifications->Available() || QSystemTrayIcon::supportsMessages();
}

void TTrayIcon::Show(bool reshow) {
    if (reshow)
        m_icon.hide();
    m_icon.show();
}

void TTrayIcon::Hide() {
    m_icon.hide();
}

void TTrayIcon::SetIcon(TTrayIconKind kind) {
    if (kind == m_kind)
        return;
    m_kind = kind;
    m_icon.setIcon(TrayIconImage(kind));
}

void TTrayIcon::SetToolTip(const QString& tip) {
    m_icon.setToolTip(tip);
}

void TTrayIcon::ShowMessage(const QString& title, const QString& text, int timeoutMs, bool critical) {
    if (m_notifications->Available()) {
        m_notifications->Notify(title, text, timeoutMs, critical);
        return;
    }
    m_icon.showMessage(title, text, critical ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information, timeoutMs);
}
