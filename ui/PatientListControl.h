// The patient list (control 1000) as the engine fills and reads it: rows in
// insertion order, each with a check box in column 0 and a 32-bit item
// datum (the patient id) that stay with the row. Text is CP1252.
#pragma once

#include <cstdint>
#include <string>

#include "core/ListView.h"

class QTableWidget;

class PatientListControl : public IListView {
  public:
    explicit PatientListControl(QTableWidget* table) : table_(table) {}

    void DeleteAllItems() override;
    int InsertItem(int index, const std::string& text) override;
    void SetItemText(int row, int column, const std::string& text) override;
    std::string GetItemText(int row, int column) const override;
    void SetCheck(int row, bool checked) override;
    bool GetCheck(int row) const override;
    void SetItemData(int row, int32_t data) override;
    int32_t GetItemData(int row) const override;
    int GetItemCount() const override;
    int GetFirstSelected() const override;
    void EnsureVisible(int row) override;
    void SetRedraw(bool redraw) override;
    void AutoSizeColumn(int column) override;
    int GetColumnWidth(int column) const override;
    void SetColumnWidth(int column, int width) override;
    // The viewport's width, also before the list was first shown.
    int GetClientWidth() const override;

    QTableWidget* Widget() const { return table_; }

  private:
    QTableWidget* table_;
};
