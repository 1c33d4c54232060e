#include "balancelist/ui/BalanceListModel.h"

#include "translate/Messages.h"
#include "widgets/ListImages.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QStyle>

namespace {

// A balance beyond one of its limits: dark red, readable on every background of the column.
const QColor kWarningText(0xA0, 0x00, 0x00);

QIcon WarningIcon() {
    static const QIcon icon = QIcon::fromTheme(QStringLiteral("dialog-warning"),
                                               QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
    return icon;
}

} // namespace

static_assert(int{biNoChange} == int{liNoChange} && int{biCheckNow} == int{liCheckNow} &&
                  int{biDisable} == int{liDisable},
              "the Balance List's image indexes are those of the shared list images");

TBalanceListModel::TBalanceListModel(TBalanceList& list, QObject* parent)
    : TReorderingTableModel(parent), m_list(list) {
    for (int i = 0; i < TBalanceList::kColumnCount; ++i)
        m_captions[static_cast<std::size_t>(i)] = QString::fromStdString(LoadStr(1060 + static_cast<unsigned>(i)));
    m_list.SetChangeListener([this](TBalanceList::TRowChange change, int row) { ListChanged(change, row); });
}

TBalanceListModel::~TBalanceListModel() {
    m_list.SetChangeListener({});
}

int TBalanceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_list.RowCount();
}

int TBalanceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TBalanceList::kColumnCount;
}

QIcon TBalanceListModel::Image(int index) {
    return ListImage(index);
}

QVariant TBalanceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_list.RowCount())
        return {};
    const TBalanceRow& row = m_list.Row(index.row());
    const bool odd = index.row() % 2 == 1;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case TBalanceList::colPartner:
            return QString::fromStdString(row.Caption);
        case TBalanceList::colBalance:
            return QString::fromStdString(row.BalanceText);
        default:
            return QString::fromStdString(row.StatusText);
        }
    case Qt::DecorationRole:
        if (index.column() == TBalanceList::colPartner)
            return Image(row.ImageIndex);
        if (index.column() == TBalanceList::colBalance && row.Warning != TWarnZone::None)
            return WarningIcon();
        return {};
    case Qt::FontRole:
        if (index.column() == TBalanceList::colBalance && row.Warning != TWarnZone::None) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return {};
    case Qt::BackgroundRole:
        if (index.column() == TBalanceList::colBalance && row.ImageIndex == biGrowthUp)
            return GrowthUpColour();
        if (index.column() == TBalanceList::colBalance && row.ImageIndex == biGrowthDown)
            return GrowthDownColour();
        // Even rows keep the view's own window colour.
        return odd ? QVariant(OddRowColour()) : QVariant();
    case Qt::ForegroundRole:
        if (index.column() == TBalanceList::colBalance && row.Warning != TWarnZone::None)
            return kWarningText;
        // Dark text on the fixed light colours, whatever the desktop's colour scheme.
        if (odd || (index.column() == TBalanceList::colBalance && row.ImageIndex != biNoChange))
            return QColor(Qt::black);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == TBalanceList::colBalance)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant TBalanceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < TBalanceList::kColumnCount)
        return m_captions[static_cast<std::size_t>(section)];
    return TReorderingTableModel::headerData(section, orientation, role);
}

void TBalanceListModel::ListChanged(TBalanceList::TRowChange change, int row) {
    using C = TBalanceList::TRowChange;
    switch (change) {
    case C::BeforeInsert:
        beginInsertRows({}, row, row);
        break;
    case C::Inserted:
        endInsertRows();
        break;
    case C::BeforeRemove:
        beginRemoveRows({}, row, row);
        break;
    case C::Removed:
        endRemoveRows();
        break;
    case C::BeforeReset:
        beginResetModel();
        break;
    case C::Reset:
        endResetModel();
        break;
    case C::BeforeLayout:
        // The selection and the current row follow their alerts to their new places.
        BeginReorder([this](int index) { return index < m_list.RowCount() ? m_list.Row(index).Alert : nullptr; });
        break;
    case C::Layout:
        EndReorder([this](const TAlertItem& alert) { return m_list.IndexOf(alert); });
        break;
    case C::Changed:
        if (row >= 0)
            emit dataChanged(index(row, 0), index(row, TBalanceList::kColumnCount - 1));
        break;
    }
}
