#include "core/ListViewModel.h"

#include <algorithm>
#include <utility>

ListViewModel::ListViewModel(std::vector<std::string> headers, std::vector<int> widths)
    : headers_(std::move(headers)), widths_(std::move(widths)) {
    widths_.resize(headers_.size(), 0);
}

bool ListViewModel::Valid(int row, int column) const {
    return row >= 0 && row < GetItemCount() && column >= 0 && column < int(headers_.size());
}

void ListViewModel::DeleteAllItems() {
    rows_.clear();
    selected_ = -1;
    visible_ = -1;
}

int ListViewModel::InsertItem(int index, const std::string& text) {
    const int row = index < 0 || index > GetItemCount() ? GetItemCount() : index;
    Row r;
    r.texts.resize(headers_.size());
    if (!r.texts.empty()) r.texts[0] = text;
    rows_.insert(rows_.begin() + row, std::move(r));
    if (selected_ >= row) ++selected_;
    return row;
}

void ListViewModel::SetItemText(int row, int column, const std::string& text) {
    if (Valid(row, column)) rows_[size_t(row)].texts[size_t(column)] = text;
}

std::string ListViewModel::GetItemText(int row, int column) const {
    return Valid(row, column) ? rows_[size_t(row)].texts[size_t(column)] : std::string();
}

void ListViewModel::SetCheck(int row, bool checked) {
    if (Valid(row, 0)) rows_[size_t(row)].checked = checked;
}

bool ListViewModel::GetCheck(int row) const {
    return Valid(row, 0) && rows_[size_t(row)].checked;
}

void ListViewModel::SetItemData(int row, int32_t data) {
    if (Valid(row, 0)) rows_[size_t(row)].data = data;
}

int32_t ListViewModel::GetItemData(int row) const {
    return Valid(row, 0) ? rows_[size_t(row)].data : 0;
}

void ListViewModel::AutoSizeColumn(int column) {
    if (column < 0 || column >= int(headers_.size())) return;
    int width = TextWidth(headers_[size_t(column)]);
    for (const Row& r : rows_) width = std::max(width, TextWidth(r.texts[size_t(column)]));
    widths_[size_t(column)] = width;
}

int ListViewModel::GetColumnWidth(int column) const {
    return column >= 0 && column < int(widths_.size()) ? widths_[size_t(column)] : 0;
}

void ListViewModel::SetColumnWidth(int column, int width) {
    if (column >= 0 && column < int(widths_.size())) widths_[size_t(column)] = width;
}
