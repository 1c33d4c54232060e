#pragma once

#include "currency/CurrencyRatesList.h"

#include "widgets/ReorderingTableModel.h"

#include <QColor>
#include <QIcon>

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

    static QColor OddRowColour() { return QColor(240, 240, 240); }
    static QColor UpColour() { return QColor(165, 233, 155); }
    static QColor DownColour() { return QColor(255, 159, 135); }

private:
    void ListChanged(TCurrencyRatesList::TRowChange change, int row);

    TCurrencyRatesList& m_list;
    QIcon m_rowImage;
};
