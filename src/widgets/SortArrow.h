#pragma once

#include <QHeaderView>

// The sort arrow a list's header shows, as the list's owner decides it. A clickable header turns
// its arrow by itself on every click, before the owner hears of the click: the owner applies its
// own arrow again after each click, so that a click that sorts nothing leaves the arrow as it was.
struct TSortArrow {
    bool Shown = false;
    int Section = 0;
    Qt::SortOrder Order = Qt::AscendingOrder;

    void Show(int section, Qt::SortOrder order) {
        Shown = true;
        Section = section;
        Order = order;
    }
    void Apply(QHeaderView& header) const {
        header.setSortIndicator(Section, Order);
        header.setSortIndicatorShown(Shown);
    }
};
