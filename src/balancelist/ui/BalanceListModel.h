#pragma once

#include "balancelist/BalanceList.h"

#include "widgets/ReorderingTableModel.h"

#include <QIcon>

#include <array>
#include <vector>

// The Balance List's rows as a table for the view: it reads the rows where they live and follows
// their changes through the list's listener, so repainting touches only what changed.
class TBalanceListModel : public TReorderingTableModel<TAlertItem> {
    Q_OBJECT

public:
    explicit TBalanceListModel(TBalanceList& list, QObject* parent = nullptr);
    ~TBalanceListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Images 0-4: no change, growth up, growth down, check now, disable.
    static QIcon Image(int index);

    // Zebra colour of odd rows and the "$$$" colours of a rise and a fall.
    static QColor OddRowColour() { return QColor(240, 240, 240); }
    static QColor GrowthUpColour() { return QColor(165, 233, 155); }
    static QColor GrowthDownColour() { return QColor(255, 159, 135); }

private:
    void ListChanged(TBalanceList::TRowChange change, int row);

    TBalanceList& m_list;
    std::array<QString, TBalanceList::kColumnCount> m_captions;
};
