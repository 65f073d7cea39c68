// A drop-down list as the engine fills and reads it (the doctor list and the
// archive-history list of the main window). The Qt window adapts its combo
// boxes to this; tests and the headless front end use ComboBoxModel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/GermanCollation.h"

class IComboBox {
public:
    virtual ~IComboBox() = default;
    virtual void ResetContent() = 0;
    virtual int AddString(const std::string& text) = 0;  // CP1252; returns the new index
    virtual void SetItemData(int index, int32_t data) = 0;
    virtual int32_t GetItemData(int index) const = 0;  // -1 for an invalid index
    virtual int GetCurSel() const = 0;                  // -1 when nothing is selected
    virtual void SetCurSel(int index) = 0;              // -1 clears the selection
    virtual int GetCount() const = 0;
    virtual std::string GetItemText(int index) const = 0;
    virtual void EnableWindow(bool enable) = 0;
    virtual bool IsWindowEnabled() const = 0;
};

// In-memory drop-down list; items keep the order in which they were added,
// or, sorted, the alphabetical order of German (CompareGerman), as the
// window's sorted lists keep it.
class ComboBoxModel : public IComboBox {
public:
    explicit ComboBoxModel(bool sorted = false) : sorted_(sorted) {}
    void ResetContent() override { items_.clear(); sel_ = -1; }
    int AddString(const std::string& text) override {
        size_t index = items_.size();
        if (sorted_) {
            index = 0;
            while (index < items_.size() && CompareGerman(items_[index].text, text) <= 0) ++index;
        }
        items_.insert(items_.begin() + std::ptrdiff_t(index), {text, 0});
        // The selected entry stays selected, as in the window's list.
        if (sel_ >= int(index)) ++sel_;
        return int(index);
    }
    void SetItemData(int i, int32_t d) override {
        if (i >= 0 && i < GetCount()) items_[size_t(i)].data = d;
    }
    int32_t GetItemData(int i) const override {
        return i >= 0 && i < GetCount() ? items_[size_t(i)].data : -1;
    }
    int GetCurSel() const override { return sel_; }
    void SetCurSel(int i) override { sel_ = i >= 0 && i < GetCount() ? i : -1; }
    int GetCount() const override { return int(items_.size()); }
    std::string GetItemText(int i) const override {
        return i >= 0 && i < GetCount() ? items_[size_t(i)].text : std::string();
    }
    void EnableWindow(bool e) override { enabled_ = e; }
    bool IsWindowEnabled() const override { return enabled_; }

private:
    struct Item {
        std::string text;
        int32_t data;
    };
    bool sorted_ = false;
    std::vector<Item> items_;
    int sel_ = -1;
    bool enabled_ = true;
};
