#include "ui/ReportList.h"

#include <QHeaderView>
#include <QScrollBar>

ReportList::ReportList(const QStringList& headers, QWidget* parent)
    : QTableWidget(0, int(headers.size()), parent) {
    setHorizontalHeaderLabels(headers);
    for (int c = 0; c < headers.size(); ++c)
        horizontalHeaderItem(c)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    setSortingEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setShowGrid(true);
    setWordWrap(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
}

QModelIndex ReportList::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    switch (action) {
        case MoveLeft:
        case MoveRight:
            horizontalScrollBar()->triggerAction(action == MoveLeft
                                                     ? QAbstractSlider::SliderSingleStepSub
                                                     : QAbstractSlider::SliderSingleStepAdd);
            return currentIndex();
        case MoveHome:
        case MoveEnd:
            // A table goes to the first or last cell of the row; a list to
            // its first or last row, as the table does with Ctrl.
            modifiers |= Qt::ControlModifier;
            // Without a current row the table would go to the first row
            // for any key; End goes to the last.
            if (action == MoveEnd && !currentIndex().isValid() && model()->rowCount() > 0)
                return model()->index(model()->rowCount() - 1, 0);
            break;
        default:
            break;
    }
    const QModelIndex next = QTableWidget::moveCursor(action, modifiers);
    return next.isValid() ? model()->index(next.row(), 0) : next;
}

void ReportList::focusInEvent(QFocusEvent* event) {
    const bool hadCurrent = currentIndex().isValid();
    QTableWidget::focusInEvent(event);
    // The table makes its first row current on taking the focus, framed but
    // not selected: F5 would find no row, and Home, already there, would
    // select none. Without a current row the first key selects the row it
    // goes to.
    const QModelIndex current = currentIndex();
    if (!hadCurrent && current.isValid() && !selectionModel()->isSelected(current))
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}
