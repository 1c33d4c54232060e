#pragma once

#include "currency/CurrencyRatesList.h"

#include "widgets/ReorderingTableModel.h"

#include <QColor>
#include <QIcon>
#include <QStyledItemDelegate>

#include <vector>

// A rates window's rows as a table for the view: it reads the rows where they live and follows
// their changes through the list's listener.
class TCurrencyRatesModel : public TReorderingTableModel<TCurrencyObject> {
    Q_OBJECT

public:
    explicit TCurrencyRatesModel(TCurrencyRatesList& list, QObject* parent = nullptr);
    ~TCurrencyRatesModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The image of every row.
    void SetRowImage(const QIcon& image) { m_rowImage = image; }

    // The cell's change mark (TChangeMark as an int).
    static constexpr int kChangeMarkRole = Qt::UserRole + 1;

    static QColor OddRowColour() { return QColor(240, 240, 240); }
    static QColor UpColour() { return QColor(165, 233, 155); }
    static QColor DownColour() { return QColor(255, 159, 135); }

private:
    void ListChanged(TCurrencyRatesList::TRowChange change, int row);

    TCurrencyRatesList& m_list;
    QIcon m_rowImage;
};

// Paints the rates: a changed value keeps its colour in the selected row too, where the selection
// shows as a frame around the cell instead of the fill that would hide the change.
class TCurrencyRatesDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
