// The patient list (control 1000) as the engine fills and reads it: rows in
// insertion order, each with a check box in column 0 and a 32-bit item
// datum (the patient id) that stay with the row. Text is CP1252.
//
// While redrawing is off, rows appended at the end are kept aside and handed
// to the table in one step when redrawing resumes: the table then announces
// one insertion instead of one per row and cell, which makes filling a list
// of tens of thousands of patients several times faster.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ListView.h"

class QTableWidget;
class QTableWidgetItem;

class PatientListControl : public IListView {
  public:
    explicit PatientListControl(QTableWidget* table);
    ~PatientListControl() override;
    PatientListControl(const PatientListControl&) = delete;
    PatientListControl& operator=(const PatientListControl&) = delete;

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
    static constexpr int kColumns = 4;
    using PendingRow = std::array<std::unique_ptr<QTableWidgetItem>, kColumns>;

    // The cell's item, in the table or among the rows kept aside; null when
    // the cell has none.
    QTableWidgetItem* Cell(int row, int column) const;
    // Hands the rows kept aside to the table.
    void Flush();

    QTableWidget* table_;
    std::vector<PendingRow> pending_;
    bool redraw_ = true;
};
