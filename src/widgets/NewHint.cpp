#include "widgets/NewHint.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QHelpEvent>
#include <QPainter>
#include <QScreen>

TNewHint::TNewHint(QWidget* parent) : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("NewHint"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(HintFont());
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
}

QFont HintFont() {
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
        QFont font(QStringLiteral("Tahoma"));
        font.setPointSize(8);
        return font;
    }
    return QApplication::font();
}

void TNewHint::SetHintText(const QString& text) {
    m_text = text;
    update();
}

QSize TNewHint::CalcHintRect(int maxWidth, const QString& text) const {
    const QRect bounds = fontMetrics().boundingRect(QRect(0, 0, maxWidth, 0), Qt::TextWordWrap, text);
    return QSize(bounds.width() + 8, bounds.height() + 4);
}

void TNewHint::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setFont(font());
    painter.drawText(rect().adjusted(4, 3, -4, 0), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, m_text);
}

namespace {
THintController* g_hintController = nullptr;
} // namespace

THintController* THintController::Instance() {
    return g_hintController;
}

THintController::THintController(std::function<bool()> allowed, QObject* parent)
    : QObject(parent), m_allowed(std::move(allowed)) {
    g_hintController = this;
    m_pauseTimer.setSingleShot(true);
    m_pauseTimer.setInterval(kHintPause);
    m_hideTimer.setSingleShot(true);
    m_hideTimer.setInterval(kHintHidePause);
    connect(&m_pauseTimer, &QTimer::timeout, this, [this] {
        if (m_pending)
            ShowHintFor(m_pending, m_pendingPos);
    });
    connect(&m_hideTimer, &QTimer::timeout, this, &THintController::HideHint);
    qApp->installEventFilter(this);
}

THintController::~THintController() {
    if (g_hintController == this)
        g_hintController = nullptr;
    if (qApp != nullptr)
        qApp->removeEventFilter(this);
}

TNewHint* THintController::CurrentHint() const {
    return m_hint && m_hint->isVisible() ? m_hint.get() : nullptr;
}

void THintController::HideHint() {
    m_hideTimer.stop();
    if (m_hint)
        m_hint->hide();
}

bool THintController::ShowHintFor(QWidget* widget, const QPoint& globalPos) {
    m_pending = nullptr;
    if (widget == nullptr || widget->toolTip().isEmpty() || !m_allowed || !m_allowed())
        return false;
    const QVariant showHint = widget->property("showHint");
    if (showHint.isValid() && !showHint.toBool())
        return false;
    if (!m_hint)
        m_hint = std::make_unique<TNewHint>();
    m_hint->SetHintText(widget->toolTip());
    const QScreen* screen = widget->screen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize size = m_hint->CalcHintRect(area.width() / 2, widget->toolTip());
    // Below the pointer, kept on the screen.
    QPoint pos = globalPos + QPoint(0, 20);
    pos.setX(std::max(area.left(), std::min(pos.x(), area.right() - size.width())));
    if (pos.y() + size.height() > area.bottom())
        pos.setY(globalPos.y() - size.height() - 4);
    m_hint->setGeometry(QRect(pos, size));
    m_hint->show();
    m_hideTimer.start();
    return true;
}

void THintController::ScheduleHint(QWidget* widget, const QPoint& globalPos) {
    m_pending = widget;
    m_pendingPos = globalPos;
    m_pauseTimer.start();
}

namespace {

// The control whose hint applies under the pointer: the widget itself or the nearest parent
// inside the same window that has a hint.
QWidget* HintOwner(QWidget* widget) {
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (!w->toolTip().isEmpty())
            return w;
        if (w->isWindow())
            break;
    }
    return nullptr;
}

} // namespace

bool THintController::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::ToolTip:
        // Qt's own tooltip never shows: the hint window takes its place.
        return true;
    case QEvent::Enter:
        if (QWidget* owner = HintOwner(widget); owner != nullptr && owner != m_pending) {
            HideHint();
            ScheduleHint(owner, QCursor::pos());
        }
        break;
    case QEvent::Leave:
        if (widget != nullptr && HintOwner(widget) == widget) {
            m_pauseTimer.stop();
            m_pending = nullptr;
            HideHint();
        }
        break;
    case QEvent::WindowActivate:
        // A form that becomes active takes the current hint setting for all of its controls.
        if (widget != nullptr && widget->isWindow() && widget != m_hint.get())
            SetShowHintRecursive(widget, m_allowed && m_allowed());
        break;
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
    case QEvent::WindowDeactivate:
        m_pauseTimer.stop();
        m_pending = nullptr;
        HideHint();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void SetShowHintRecursive(QWidget* widget, bool showHint) {
    if (widget == nullptr)
        return;
    widget->setProperty("showHint", showHint);
    for (QWidget* child : widget->findChildren<QWidget*>())
        child->setProperty("showHint", showHint);
}
