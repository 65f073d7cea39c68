#include "ui/PatientListControl.h"

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
    for (int column = 0; column < table_->columnCount(); ++column) {
        auto* item = new QTableWidgetItem;
        item->setFlags(column == 0 ? kCellFlags | Qt::ItemIsUserCheckable : kCellFlags);
        table_->setItem(row, column, item);
    }
    // Without an explicit state Qt draws no check box at all.
    table_->item(row, 0)->setCheckState(Qt::Unchecked);
    table_->item(row, 0)->setData(Qt::UserRole, 0);
    SetItemText(row, 0, text);
    return row;
}

void PatientListControl::SetItemText(int row, int column, const std::string& text) {
    if (QTableWidgetItem* item = table_->item(row, column)) {
        item->setText(ToQString(text));
        item->setToolTip(item->text());  // shows names cut off by the column
    }
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
    for (int row = 0; row < table_->rowCount(); ++row)
        if (table_->item(row, 0) && table_->item(row, 0)->isSelected()) return row;
    return -1;
}

void PatientListControl::EnsureVisible(int row) {
    if (QTableWidgetItem* item = table_->item(row, 0)) table_->scrollToItem(item);
}

void PatientListControl::SetRedraw(bool redraw) {
    table_->setUpdatesEnabled(redraw);
}
