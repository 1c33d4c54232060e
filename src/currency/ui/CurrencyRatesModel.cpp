#include "currency/ui/CurrencyRatesModel.h"

#include <QPainter>
#include <QPen>

TCurrencyRatesModel::TCurrencyRatesModel(TCurrencyRatesList& list, QObject* parent)
    : TReorderingTableModel(parent), m_list(list) {
    m_list.SetChangeListener([this](TCurrencyRatesList::TRowChange change, int row) { ListChanged(change, row); });
}

TCurrencyRatesModel::~TCurrencyRatesModel() {
    m_list.SetChangeListener({});
}

int TCurrencyRatesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_list.RowCount();
}

int TCurrencyRatesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_list.ColumnCount();
}

QVariant TCurrencyRatesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_list.RowCount() || index.column() >= m_list.ColumnCount())
        return {};
    const TCurrencyRow& row = m_list.Row(index.row());
    const bool odd = index.row() % 2 == 1;
    switch (role) {
    case Qt::DisplayRole: {
        const auto cell = static_cast<std::size_t>(index.column());
        return cell < row.Cells.size() ? QString::fromStdString(row.Cells[cell]) : QString();
    }
    case Qt::DecorationRole:
        return index.column() == 0 && !m_rowImage.isNull() ? QVariant(m_rowImage) : QVariant();
    case Qt::BackgroundRole:
        switch (m_list.CellMark(index.row(), index.column())) {
        case TChangeMark::Up:
            return UpColour();
        case TChangeMark::Down:
            return DownColour();
        case TChangeMark::None:
            break;
        }
        // Even rows keep the view's own window colour.
        return odd ? QVariant(OddRowColour()) : QVariant();
    case kChangeMarkRole:
        return static_cast<int>(m_list.CellMark(index.row(), index.column()));
    case Qt::ForegroundRole:
        // Dark text on the fixed light colours, whatever the desktop's colour scheme.
        if (odd || m_list.CellMark(index.row(), index.column()) != TChangeMark::None)
            return QColor(Qt::black);
        return {};
    default:
        return {};
    }
}

QVariant TCurrencyRatesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_list.ColumnCount())
        return QString::fromStdString(m_list.ColumnCaption(section));
    return TReorderingTableModel::headerData(section, orientation, role);
}

void TCurrencyRatesModel::ListChanged(TCurrencyRatesList::TRowChange change, int row) {
    using C = TCurrencyRatesList::TRowChange;
    switch (change) {
    case C::BeforeReset:
        beginResetModel();
        break;
    case C::Reset:
        endResetModel();
        break;
    case C::BeforeRemove:
        beginRemoveRows({}, row, row);
        break;
    case C::Removed:
        endRemoveRows();
        break;
    case C::BeforeLayout:
        // The selection and the current row follow their currencies to their new places.
        BeginReorder([this](int index) { return index < m_list.RowCount() ? m_list.Row(index).Currency : nullptr; });
        break;
    case C::Layout:
        EndReorder([this](const TCurrencyObject& currency) { return m_list.IndexOf(currency); });
        break;
    case C::Changed:
        if (row >= 0 && m_list.ColumnCount() > 0)
            emit dataChanged(index(row, 0), index(row, m_list.ColumnCount() - 1));
        break;
    }
}

void TCurrencyRatesDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const bool marked = index.data(TCurrencyRatesModel::kChangeMarkRole).toInt() != 0;
    if (!marked || !option.state.testFlag(QStyle::State_Selected)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem plain(option);
    plain.state.setFlag(QStyle::State_Selected, false);
    QStyledItemDelegate::paint(painter, plain, index);
    painter->save();
    // One frame around the whole row: every cell draws its top and bottom edge, the first and last
    // cells the row's ends.
    painter->setPen(QPen(option.palette.color(QPalette::Active, QPalette::Highlight), 2));
    const QRectF frame = QRectF(option.rect).adjusted(1, 1, -1, -1);
    painter->drawLine(QLineF(option.rect.left(), frame.top(), option.rect.right() + 1, frame.top()));
    painter->drawLine(QLineF(option.rect.left(), frame.bottom(), option.rect.right() + 1, frame.bottom()));
    if (index.column() == 0)
        painter->drawLine(QLineF(frame.left(), frame.top(), frame.left(), frame.bottom()));
    if (index.column() == index.model()->columnCount(index.parent()) - 1)
        painter->drawLine(QLineF(frame.right(), frame.top(), frame.right(), frame.bottom()));
    painter->restore();
}
