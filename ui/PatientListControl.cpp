#include "ui/PatientListControl.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSet>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableWidget>
#include <algorithm>

#include "ui/QtCp1252.h"

namespace {

constexpr Qt::ItemFlags kCellFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;

}  // namespace

PatientListControl::PatientListControl(QTableWidget* table) : table_(table) {}

PatientListControl::~PatientListControl() = default;

QTableWidgetItem* PatientListControl::Cell(int row, int column) const {
    if (row < 0 || column < 0 || column >= kColumns) return nullptr;
    if (row < table_->rowCount()) return table_->item(row, column);
    const size_t aside = size_t(row - table_->rowCount());
    return aside < pending_.size() ? pending_[aside][size_t(column)].get() : nullptr;
}

void PatientListControl::Flush() {
    if (pending_.empty()) return;
    const int first = table_->rowCount();
    table_->setRowCount(first + int(pending_.size()));
    {
        // The view learnt of the rows above and repaints them as a whole;
        // one change signal per cell would only cost time.
        QSignalBlocker quiet(table_->model());
        for (size_t i = 0; i < pending_.size(); ++i)
            for (int column = 0; column < kColumns; ++column)
                if (pending_[i][size_t(column)])
                    table_->setItem(first + int(i), column, pending_[i][size_t(column)].release());
    }
    pending_.clear();
    table_->viewport()->update();
}

void PatientListControl::DeleteAllItems() {
    pending_.clear();
    table_->setRowCount(0);
}

int PatientListControl::InsertItem(int index, const std::string& text) {
    const int count = GetItemCount();
    const int row = index < 0 || index > count ? count : index;
    auto item = std::make_unique<QTableWidgetItem>(ToQString(text));
    item->setFlags(kCellFlags | Qt::ItemIsUserCheckable);
    // Without an explicit state Qt draws no check box at all.
    item->setCheckState(Qt::Unchecked);
    item->setData(Qt::UserRole, 0);
    item->setToolTip(item->text());  // shows names cut off by the column
    if (!redraw_ && row == count) {
        pending_.emplace_back();
        pending_.back()[0] = std::move(item);
        return row;
    }
    Flush();
    table_->insertRow(row);
    table_->setItem(row, 0, item.release());
    return row;
}

void PatientListControl::SetItemText(int row, int column, const std::string& text) {
    if (row < 0 || row >= GetItemCount() || column < 0 || column >= table_->columnCount()) return;
    if (QTableWidgetItem* item = Cell(row, column)) {
        item->setText(ToQString(text));
        if (column == 0) item->setToolTip(item->text());
        return;
    }
    // Further columns get their cell when they first get text.
    auto item = std::make_unique<QTableWidgetItem>(ToQString(text));
    item->setFlags(kCellFlags);
    if (row >= table_->rowCount())
        pending_[size_t(row - table_->rowCount())][size_t(column)] = std::move(item);
    else
        table_->setItem(row, column, item.release());
}

std::string PatientListControl::GetItemText(int row, int column) const {
    const QTableWidgetItem* item = Cell(row, column);
    return item ? ToCp1252(item->text()) : std::string();
}

void PatientListControl::SetCheck(int row, bool checked) {
    if (QTableWidgetItem* item = Cell(row, 0))
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

bool PatientListControl::GetCheck(int row) const {
    const QTableWidgetItem* item = Cell(row, 0);
    return item && item->checkState() == Qt::Checked;
}

void PatientListControl::SetItemData(int row, int32_t data) {
    if (QTableWidgetItem* item = Cell(row, 0)) item->setData(Qt::UserRole, data);
}

int32_t PatientListControl::GetItemData(int row) const {
    const QTableWidgetItem* item = Cell(row, 0);
    return item ? item->data(Qt::UserRole).toInt() : 0;
}

int PatientListControl::GetItemCount() const {
    return table_->rowCount() + int(pending_.size());
}

int PatientListControl::GetFirstSelected() const {
    int first = -1;
    for (const QModelIndex& index : table_->selectionModel()->selectedIndexes())
        if (first < 0 || index.row() < first) first = index.row();
    return first;
}

void PatientListControl::EnsureVisible(int row) {
    Flush();
    if (QTableWidgetItem* item = table_->item(row, 0)) table_->scrollToItem(item);
}

void PatientListControl::SetRedraw(bool redraw) {
    redraw_ = redraw;
    if (redraw) Flush();
    table_->setUpdatesEnabled(redraw);
}

void PatientListControl::AutoSizeColumn(int column) {
    if (column < 0 || column >= table_->columnCount()) return;
    Flush();
    // Every row counts (Qt's own sizing samples a thousand), and each
    // distinct text is measured once: the columns hold few of them.
    const QFontMetrics metrics(table_->font());
    QSet<QString> seen;
    int widest = 0;
    for (int row = 0; row < table_->rowCount(); ++row) {
        const QTableWidgetItem* item = table_->item(row, column);
        if (!item) continue;
        const QString text = item->text();
        if (seen.contains(text)) continue;
        seen.insert(text);
        widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    // The item's text margins on both sides, as the item delegate draws them,
    // and the grid line.
    const int margin =
        table_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table_) + 1;
    const int content = widest + 2 * margin + (table_->showGrid() ? 1 : 0);
    table_->setColumnWidth(column,
                           std::max(content, table_->horizontalHeader()->sectionSizeHint(column)));
}

int PatientListControl::GetColumnWidth(int column) const {
    return table_->columnWidth(column);
}

void PatientListControl::SetColumnWidth(int column, int width) {
    table_->setColumnWidth(column, width > 0 ? width : 0);
}

int PatientListControl::GetClientWidth() const {
    // Worked out from the rows rather than read from the viewport: the table
    // shows or hides its scroll bar only later, once it lays itself out.
    int client = table_->maximumViewportSize().width();
    int height = table_->maximumViewportSize().height();
    if (table_->horizontalScrollBar()->isVisible())
        height -= table_->horizontalScrollBar()->sizeHint().height();
    if (table_->verticalHeader()->length() > height)
        client -= table_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table_);
    return client;
}
