#include "widgets/ReportView.h"

#include <QHeaderView>
#include <QTableView>

#include <algorithm>

void SetUpReportView(QTableView& view) {
    view.setShowGrid(true);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setWordWrap(false);
    view.setIconSize(QSize(16, 16));
    view.setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView* rows = view.verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(std::max(18, view.fontMetrics().height() + 4));
    QHeaderView* columns = view.horizontalHeader();
    columns->setHighlightSections(false);
    columns->setStretchLastSection(true);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = view.palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    view.setPalette(palette);
}
