// A list in report mode as the engine fills and reads it (the patient list
// of the main window): rows in insertion order, each with its column texts,
// a check box and a 32-bit item datum that stay with the row. The Qt window
// adapts its table to this; tests and the headless front end use
// ListViewModel.
#pragma once

#include <cstdint>
#include <string>

class IListView {
  public:
    virtual ~IListView() = default;
    virtual void DeleteAllItems() = 0;
    // Inserts a row before index (appends when index is past the end) with
    // its column-0 text (CP1252), unticked, item datum 0; returns its index.
    virtual int InsertItem(int index, const std::string& text) = 0;
    virtual void SetItemText(int row, int column, const std::string& text) = 0;
    virtual std::string GetItemText(int row, int column) const = 0;  // "" for an invalid cell
    virtual void SetCheck(int row, bool checked) = 0;
    virtual bool GetCheck(int row) const = 0;
    virtual void SetItemData(int row, int32_t data) = 0;
    virtual int32_t GetItemData(int row) const = 0;  // 0 for an invalid row
    virtual int GetItemCount() const = 0;
    // The highlighted row (not a ticked one), or -1.
    virtual int GetFirstSelected() const = 0;
    virtual void EnsureVisible(int row) = 0;
    // Stops and resumes repainting while the list is refilled.
    virtual void SetRedraw(bool redraw) = 0;
    // Makes the column as wide as its header and its widest text.
    virtual void AutoSizeColumn(int column) = 0;
    virtual int GetColumnWidth(int column) const = 0;
    virtual void SetColumnWidth(int column, int width) = 0;
    // Width of the area inside the frame and the vertical scroll bar.
    virtual int GetClientWidth() const = 0;
};
