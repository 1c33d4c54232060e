#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// The program's hint window: a plain tooltip-coloured box with a one-pixel black frame and the
// text word-wrapped 4 pixels from the left and 3 from the top.
class TNewHint : public QWidget {
    Q_OBJECT

public:
    explicit TNewHint(QWidget* parent = nullptr);

    void SetHintText(const QString& text);
    QString HintText() const { return m_text; }
    // Size for a text within a maximum width: its word-wrapped extent plus 8 by 4 pixels.
    QSize CalcHintRect(int maxWidth, const QString& text) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};

// The font of hints: Tahoma 8 pt, or the system's default font where Tahoma is not installed.
QFont HintFont();

// Shows every hint of the program in a TNewHint after the pointer rests 750 ms on a control and
// hides it after 10 s. A hint appears only while `allowed` says so and the control's "showHint"
// property is not false. One instance per application; it filters the application's events.
class THintController : public QObject {
    Q_OBJECT

public:
    static constexpr int kHintPause = 750;
    static constexpr int kHintHidePause = 10000;

    explicit THintController(std::function<bool()> allowed, QObject* parent = nullptr);
    ~THintController() override;

    // The application's controller, or null while none exists.
    static THintController* Instance();

    // The hint window while a hint shows, else null.
    TNewHint* CurrentHint() const;
    void HideHint();
    // Shows the hint of `widget` at the global position, as the pause's end does.
    bool ShowHintFor(QWidget* widget, const QPoint& globalPos);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ScheduleHint(QWidget* widget, const QPoint& globalPos);

    std::function<bool()> m_allowed;
    std::unique_ptr<TNewHint> m_hint;
    QTimer m_pauseTimer;
    QTimer m_hideTimer;
    QPointer<QWidget> m_pending;
    QPoint m_pendingPos;
};

// Sets the "showHint" property of the widget and of every widget inside it.
void SetShowHintRecursive(QWidget* widget, bool showHint);
