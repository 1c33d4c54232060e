#include "history/ui/HistoryModel.h"

#include "history/HistorySeries.h"
#include "translate/Messages.h"

#include <QBrush>
#include <QDateTime>
#include <QLocale>

#include <algorithm>

QString OutcomeDisplayText(const THistoryPoint& point) {
    if (!point.Outcome)
        return {};
    switch (*point.Outcome) {
    case THistoryOutcome::BalanceRead:
        return QString::fromStdString(LoadStr(2116));
    case THistoryOutcome::NoBalanceFound:
        return QString::fromStdString(LoadStr(2117));
    case THistoryOutcome::HttpStatus:
        return QString::fromStdString(FormatMsg(LoadStr(2118), {static_cast<std::int64_t>(point.HttpStatus)}));
    case THistoryOutcome::DownloadFailed:
        return QString::fromStdString(FormatMsg(LoadStr(2119), {point.Reason}));
    }
    return {};
}

THistoryModel::THistoryModel(const THistorySeries& series, QObject* parent)
    : QAbstractTableModel(parent), m_series(series), m_decimalPoint(QLocale().decimalPoint()) {}

void THistoryModel::Reload() {
    beginResetModel();
    endResetModel();
}

int THistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_series.Count();
}

int THistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant THistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_series.Count())
        return {};
    const THistoryPoint& point = m_series.Point(m_series.Count() - 1 - index.row());
    if (role == Qt::TextAlignmentRole && (index.column() == colValue || index.column() == colChange))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ForegroundRole && !point.Value && index.column() == colOutcome)
        return QBrush(QColor(190, 20, 20));
    if (role != Qt::DisplayRole)
        return {};
    // Numbers show with the desktop's decimal separator; the export keeps the point.
    const auto number = [this](double value, bool sign) {
        QString text = QString::fromStdString(m_series.ValueText(value));
        if (sign && !text.startsWith(QLatin1Char('-')) && std::any_of(text.begin(), text.end(), [](QChar c) {
                return c >= QLatin1Char('1') && c <= QLatin1Char('9');
            }))
            text.prepend(QLatin1Char('+'));
        return text.replace(QLatin1Char('.'), m_decimalPoint);
    };
    switch (index.column()) {
    case colTime:
        return QDateTime::fromMSecsSinceEpoch(point.TimeMs).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    case colValue:
        return point.Value ? number(*point.Value, false) : QString();
    case colChange:
        return point.Change ? number(*point.Change, true) : QString();
    case colOutcome:
        return OutcomeDisplayText(point);
    default:
        return {};
    }
}

QVariant THistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromStdString(LoadStr(2110 + static_cast<unsigned>(section)));
}
