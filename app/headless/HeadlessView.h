// The main window's controls without a window: plain values that the
// start-up, the commands and the tests read and write.
#pragma once

#include <map>
#include <vector>

#include "app/MainView.h"
#include "core/ListViewModel.h"

class HeadlessView : public IMainView {
  public:
    IComboBox& ArchiveRuns() override { return archiveRuns_; }
    IComboBox& Doctors() override { return doctors_; }
    ListViewModel& Patients() override { return patients_; }
    int64_t GetPickerTime(int id) const override;
    void SetPickerTime(int id, int64_t seconds) override { pickers_[id] = seconds; }
    std::string GetNameFilter() const override { return nameFilter_; }
    void EnableControl(int id, bool enable) override { disabled_[id] = !enable; }
    bool IsControlEnabled(int id) const override;
    void SetControlText(int id, const std::string& text) override { texts_[id] = text; }
    std::string GetControlText(int id) const override;
    void CheckViewButton(int id) override { checkedView_ = id; }
    void AddInfoMenuEntry(const std::string& text) override { infoMenu_ = text; }
    void WidenByOnePixel() override {}
    void ArmTimer(int id, int) override { timers_.push_back(id); }
    void SetFocus(int id) override { focus_ = id; }
    void EndDialog(bool ok) override {
        ended_ = true;
        endedOk_ = ok;
    }
    // Prints the dialog's lines, each as INFO<TAB>label<TAB>value (UTF-8).
    void ShowPatientInfo(int32_t pid, ArchiveDbPair* list) override;

    void SetNameFilter(const std::string& text) { nameFilter_ = text; }
    int CheckedView() const { return checkedView_; }
    int Focus() const { return focus_; }
    bool Ended() const { return ended_; }
    bool EndedOk() const { return endedOk_; }
    const std::string& InfoMenuEntry() const { return infoMenu_; }
    // Timers armed and not yet taken, oldest first.
    std::vector<int>& PendingTimers() { return timers_; }

  private:
    ComboBoxModel archiveRuns_;
    ComboBoxModel doctors_;
    ListViewModel patients_{{"Patient", "Art", "Leistung", "Dummy"}, {0, 70, 70, 0}};
    std::map<int, int64_t> pickers_;
    std::map<int, bool> disabled_;
    std::map<int, std::string> texts_;
    std::string nameFilter_;
    std::string infoMenu_;
    std::vector<int> timers_;
    int checkedView_ = 0;
    int focus_ = 0;
    bool ended_ = false;
    bool endedOk_ = false;
};
