#include "ui/PatientListControl.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>

#include "ui/QtCp1252.h"

namespace {

constexpr Qt::ItemFlags kCellFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;

}  // namespace

void PatientListControl::DeleteAllItems() {
    table_->setRowCount(0);
}

int PatientListControl::InsertItem(int index, const std::string& text) {
    const int row = index < 0 || index > table_->rowCount() ? table_->rowCount() : index;
    table_->insertRow(row);
    auto* item = new QTableWidgetItem(ToQString(text));
    item->setFlags(kCellFlags | Qt::ItemIsUserCheckable);
    // Without an explicit state Qt draws no check box at all.
    item->setCheckState(Qt::Unchecked);
    item->setData(Qt::UserRole, 0);
    item->setToolTip(item->text());  // shows names cut off by the column
    table_->setItem(row, 0, item);
    return row;
}

void PatientListControl::SetItemText(int row, int column, const std::string& text) {
    if (row < 0 || row >= table_->rowCount() || column < 0 || column >= table_->columnCount())
        return;
    if (QTableWidgetItem* item = table_->item(row, column)) {
        item->setText(ToQString(text));
        if (column == 0) item->setToolTip(item->text());
        return;
    }
    // Further columns get their cell when they first get text.
    auto* item = new QTableWidgetItem(ToQString(text));
    item->setFlags(kCellFlags);
    table_->setItem(row, column, item);
}

std::string PatientListControl::GetItemText(int row, int column) const {
    const QTableWidgetItem* item = table_->item(row, column);
    return item ? ToCp1252(item->text()) : std::string();
}

void PatientListControl::SetCheck(int row, bool checked) {
    if (QTableWidgetItem* item = table_->item(row, 0))
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

bool PatientListControl::GetCheck(int row) const {
    const QTableWidgetItem* item = table_->item(row, 0);
    return item && item->checkState() == Qt::Checked;
}

void PatientListControl::SetItemData(int row, int32_t data) {
    if (QTableWidgetItem* item = table_->item(row, 0)) item->setData(Qt::UserRole, data);
}

int32_t PatientListControl::GetItemData(int row) const {
    const QTableWidgetItem* item = table_->item(row, 0);
    return item ? item->data(Qt::UserRole).toInt() : 0;
}

int PatientListControl::GetItemCount() const {
    return table_->rowCount();
}

int PatientListControl::GetFirstSelected() const {
    int first = -1;
    for (const QModelIndex& index : table_->selectionModel()->selectedIndexes())
        if (first < 0 || index.row() < first) first = index.row();
    return first;
}

void PatientListControl::EnsureVisible(int row) {
    if (QTableWidgetItem* item = table_->item(row, 0)) table_->scrollToItem(item);
}

void PatientListControl::SetRedraw(bool redraw) {
    table_->setUpdatesEnabled(redraw);
}

void PatientListControl::AutoSizeColumn(int column) {
    QHeaderView* header = table_->horizontalHeader();
    // Every row counts, not only the first thousand that Qt samples.
    const QHeaderView::ResizeMode mode = header->sectionResizeMode(column);
    const int precision = header->resizeContentsPrecision();
    header->setResizeContentsPrecision(-1);
    table_->resizeColumnToContents(column);
    header->setResizeContentsPrecision(precision);
    header->setSectionResizeMode(column, mode);
    const int headerWidth = header->sectionSizeHint(column);
    if (table_->columnWidth(column) < headerWidth) table_->setColumnWidth(column, headerWidth);
}

int PatientListControl::GetColumnWidth(int column) const {
    return table_->columnWidth(column);
}

void PatientListControl::SetColumnWidth(int column, int width) {
    table_->setColumnWidth(column, width > 0 ? width : 0);
}

int PatientListControl::GetClientWidth() const {
    // A list that was never shown has not sized its viewport yet.
    if (table_->isVisible()) return table_->viewport()->width();
    int client = table_->maximumViewportSize().width();
    if (table_->verticalScrollBar()->maximum() > 0)
        client -= table_->verticalScrollBar()->sizeHint().width();
    return client;
}
