#pragma once

#include <QAbstractTableModel>

class THistorySeries;
struct THistoryPoint;

// How the check of a point ended, in the user's language; empty for a rate.
QString OutcomeDisplayText(const THistoryPoint& point);

// The table of a history window over the records in view, newest first: time, value, change and
// outcome. It reads the series on demand, so a hundred thousand records cost no more than the
// rows on screen.
class THistoryModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum TColumn : int { colTime = 0, colValue = 1, colChange = 2, colOutcome = 3, kColumnCount = 4 };

    explicit THistoryModel(const THistorySeries& series, QObject* parent = nullptr);

    // The series changed (another range, a record added): the rows follow.
    void Reload();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const THistorySeries& m_series;
    QString m_decimalPoint;
};
