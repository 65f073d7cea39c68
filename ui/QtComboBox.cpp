#include "ui/QtComboBox.h"

#include <QComboBox>
#include <QSignalBlocker>

#include "core/GermanCollation.h"
#include "ui/QtCp1252.h"

void QtComboBox::ResetContent() {
    QSignalBlocker block(box_);
    box_->clear();
    box_->setCurrentIndex(-1);
}

int QtComboBox::AddString(const std::string& text) {
    const QString q = ToQString(text);
    int index = box_->count();
    if (sorted_) {
        index = 0;
        while (index < box_->count() && CompareGerman(ToCp1252(box_->itemText(index)), text) <= 0)
            ++index;
    }
    // QComboBox selects the first item added to an empty box; keep the old
    // selection instead.
    const int selected = box_->currentIndex();
    QSignalBlocker block(box_);
    box_->insertItem(index, q, QVariant(int32_t(0)));
    box_->setCurrentIndex(selected >= 0 && index <= selected ? selected + 1 : selected);
    return index;
}

void QtComboBox::SetItemData(int index, int32_t data) {
    if (index >= 0 && index < box_->count()) box_->setItemData(index, QVariant(data), Qt::UserRole);
}

int32_t QtComboBox::GetItemData(int index) const {
    if (index < 0 || index >= box_->count()) return -1;
    return box_->itemData(index, Qt::UserRole).toInt();
}

int QtComboBox::GetCurSel() const {
    return box_->currentIndex();
}

void QtComboBox::SetCurSel(int index) {
    box_->setCurrentIndex(index >= 0 && index < box_->count() ? index : -1);
}

int QtComboBox::GetCount() const {
    return box_->count();
}

std::string QtComboBox::GetItemText(int index) const {
    if (index < 0 || index >= box_->count()) return std::string();
    return ToCp1252(box_->itemText(index));
}

void QtComboBox::EnableWindow(bool enable) {
    box_->setEnabled(enable);
}

bool QtComboBox::IsWindowEnabled() const {
    return box_->isEnabled();
}
