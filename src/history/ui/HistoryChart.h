#pragma once

#include <QWidget>

#include <cstdint>

class THistorySeries;

// The chart of a history window: the values in view drawn as steps (a value holds until the next
// one is read), the limits as dashed lines, the checks that read no value as red marks on the time
// axis, a few value labels at the left and a few dates below. It draws the series it is given and
// keeps no copy; the window tells it to repaint when the series changes.
class THistoryChart : public QWidget {
    Q_OBJECT

public:
    explicit THistoryChart(QWidget* parent = nullptr);

    // The series to draw (owned by the window), or null for none.
    void SetSeries(const THistorySeries* series);
    // The text shown when nothing is in view.
    void SetEmptyText(const QString& text);

    QSize sizeHint() const override { return {560, 240}; }
    QSize minimumSizeHint() const override { return {200, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const THistorySeries* m_series = nullptr;
    QString m_emptyText;
};

// A step of about `count` parts between `low` and `high` that reads well: 1, 2 or 5 times a power of ten.
double NiceStep(double low, double high, int count);
