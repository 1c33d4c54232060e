#pragma once

#include <QAbstractTableModel>

#include <functional>
#include <vector>

// A table model over rows that a core list owns and reorders itself (sorting). Around a
// reordering it keeps the persistent indexes (the selection, the current row) on their items:
// BeginReorder notes the item of each, EndReorder moves each to its item's new row.
template <typename TItem>
class TReorderingTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

protected:
    // `itemOfRow` gives the item a row shows, or null.
    void BeginReorder(const std::function<const TItem*(int row)>& itemOfRow) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        m_indexes = persistentIndexList();
        m_items.clear();
        for (const QModelIndex& index : m_indexes)
            m_items.push_back(itemOfRow(index.row()));
    }
    // `rowOfItem` gives the item's row after the reordering, or -1 when it has none.
    void EndReorder(const std::function<int(const TItem& item)>& rowOfItem) {
        QModelIndexList moved;
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            const QModelIndex& old = m_indexes[static_cast<qsizetype>(i)];
            const int newRow = m_items[i] != nullptr ? rowOfItem(*m_items[i]) : -1;
            moved.push_back(newRow >= 0 ? this->index(newRow, old.column()) : QModelIndex());
        }
        this->changePersistentIndexList(m_indexes, moved);
        m_indexes.clear();
        m_items.clear();
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

private:
    std::vector<const TItem*> m_items;
    QModelIndexList m_indexes;
};
