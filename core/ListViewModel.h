// In-memory list in report mode, for the headless front end and the tests.
// Widths are counted as 7 pixels per character plus 12 for the margins; the
// client width is whatever it was set to.
#pragma once

#include <vector>

#include "core/ListView.h"

class ListViewModel : public IListView {
  public:
    // Column headers (CP1252) and their initial widths.
    ListViewModel(std::vector<std::string> headers, std::vector<int> widths);

    void DeleteAllItems() override;
    int InsertItem(int index, const std::string& text) override;
    void SetItemText(int row, int column, const std::string& text) override;
    std::string GetItemText(int row, int column) const override;
    void SetCheck(int row, bool checked) override;
    bool GetCheck(int row) const override;
    void SetItemData(int row, int32_t data) override;
    int32_t GetItemData(int row) const override;
    int GetItemCount() const override { return int(rows_.size()); }
    int GetFirstSelected() const override { return selected_; }
    void EnsureVisible(int row) override { visible_ = row; }
    void SetRedraw(bool redraw) override { redraw_ = redraw; }
    void AutoSizeColumn(int column) override;
    int GetColumnWidth(int column) const override;
    void SetColumnWidth(int column, int width) override;
    int GetClientWidth() const override { return clientWidth_; }

    void SetClientWidth(int width) { clientWidth_ = width; }
    void SetSelected(int row) { selected_ = row >= 0 && row < GetItemCount() ? row : -1; }
    bool Redraws() const { return redraw_; }
    // The row last scrolled into view, -1 when none was since the last refill.
    int VisibleRow() const { return visible_; }
    static int TextWidth(const std::string& text) { return 7 * int(text.size()) + 12; }

  private:
    struct Row {
        std::vector<std::string> texts;
        bool checked = false;
        int32_t data = 0;
    };
    bool Valid(int row, int column) const;

    std::vector<std::string> headers_;
    std::vector<int> widths_;
    std::vector<Row> rows_;
    int selected_ = -1;
    int visible_ = -1;
    int clientWidth_ = 360;
    bool redraw_ = true;
};
