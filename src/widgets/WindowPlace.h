#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QHeaderView;
class QRect;
class QWidget;

// Whether a window placed at `frame` (its outer rectangle) can be used there: on one screen its top
// edge, where the title bar is, shows, and so does a piece of it at least kUsableWidth wide and
// kUsableHeight high (the whole window when it is smaller). A place with only a few pixels on a
// screen counts as off screen.
bool PlaceIsUsable(const QRect& frame);

inline constexpr int kUsableWidth = 100;
inline constexpr int kUsableHeight = 60;

// Saves the place of windows shortly after it changes: the user moved or resized one of them, or a
// column of a watched header. The program may end without its shutdown (the desktop went away), so
// no place waits for the end of the run. The pause lets a drag finish before anything is written.
class TPlaceSaver : public QObject {
    Q_OBJECT

public:
    explicit TPlaceSaver(std::function<void()> save, QObject* parent = nullptr);

    void Watch(QWidget* window);
    void Watch(QHeaderView* header);

    // Whether a change waits for its pause to end; SaveNow saves it at once.
    bool Pending() const { return m_timer.isActive(); }
    void SaveNow();

    static constexpr int kPauseMs = 1000;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_save;
    QTimer m_timer;
};
