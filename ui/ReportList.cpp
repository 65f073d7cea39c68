#include "ui/ReportList.h"

#include <QHeaderView>
#include <QTableWidget>

QTableWidget* NewReportList(const QStringList& headers, QWidget* parent) {
    auto* list = new QTableWidget(0, int(headers.size()), parent);
    list->setHorizontalHeaderLabels(headers);
    for (int c = 0; c < headers.size(); ++c)
        list->horizontalHeaderItem(c)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QHeaderView* header = list->horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    list->setSortingEnabled(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
    list->setShowGrid(true);
    list->setWordWrap(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}
