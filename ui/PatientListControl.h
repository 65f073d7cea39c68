// The patient list (control 1000) as the list commands use it: rows in
// insertion order, each with a check box in column 0 and a 32-bit item
// datum (the patient id) that stay with the row. Text is CP1252.
#pragma once

#include <cstdint>
#include <string>

class QTableWidget;

class PatientListControl {
  public:
    explicit PatientListControl(QTableWidget* table) : table_(table) {}

    void DeleteAllItems();
    // Inserts a row before index (appends when index is past the end) with
    // its column-0 text, unticked; returns the row's index.
    int InsertItem(int index, const std::string& text);
    void SetItemText(int row, int column, const std::string& text);
    std::string GetItemText(int row, int column) const;
    void SetCheck(int row, bool checked);
    bool GetCheck(int row) const;
    void SetItemData(int row, int32_t data);
    int32_t GetItemData(int row) const;  // 0 for an invalid row
    int GetItemCount() const;
    // The highlighted row (not a ticked one), or -1.
    int GetFirstSelected() const;
    void EnsureVisible(int row);
    // Stops and resumes repainting while the list is refilled.
    void SetRedraw(bool redraw);

    QTableWidget* Widget() const { return table_; }

  private:
    QTableWidget* table_;
};
