// The engine's drop-down list interface over a QComboBox; item data is kept
// as the item's Qt user data. Like a Windows combo box, adding items leaves
// the selection as it was (none at first), so a filter read from an
// untouched list stays off. A sorted list keeps the alphabetical order of
// German (CompareGerman).
#pragma once

#include "core/ComboBox.h"

class QComboBox;

class QtComboBox : public IComboBox {
  public:
    explicit QtComboBox(QComboBox* box, bool sorted = false) : box_(box), sorted_(sorted) {}

    void ResetContent() override;
    int AddString(const std::string& text) override;
    void SetItemData(int index, int32_t data) override;
    int32_t GetItemData(int index) const override;
    int GetCurSel() const override;
    void SetCurSel(int index) override;
    int GetCount() const override;
    std::string GetItemText(int index) const override;
    void EnableWindow(bool enable) override;
    bool IsWindowEnabled() const override;

    QComboBox* Widget() const { return box_; }

  private:
    QComboBox* box_;
    bool sorted_;
};
