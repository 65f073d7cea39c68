// The main window's controls as the engine's start-up and shutdown code sees
// them (IMainView), on the widgets of CTamaroDlg. Timers become one-shot Qt
// timers that hand their id back to the engine.
#pragma once

#include <functional>
#include <memory>

#include "app/MainView.h"

class CTamaroDlg;

class QtMainView : public IMainView {
  public:
    QtMainView(CTamaroDlg& dlg, std::function<void(int)> onTimer);

    IComboBox& ArchiveRuns() override;
    IComboBox& Doctors() override;
    IListView& Patients() override;
    int64_t GetPickerTime(int id) const override;
    void SetPickerTime(int id, int64_t seconds) override;
    std::string GetNameFilter() const override;
    void EnableControl(int id, bool enable) override;
    bool IsControlEnabled(int id) const override;
    void SetControlText(int id, const std::string& text) override;
    std::string GetControlText(int id) const override;
    void CheckViewButton(int id) override;
    void AddInfoMenuEntry(const std::string&) override {}  // the window's context menu has it
    void WidenByOnePixel() override;
    void ArmTimer(int id, int milliseconds) override;
    bool InputSinceTimerArmed() const override { return *inputSinceArmed_; }
    void SetFocus(int id) override;
    void EndDialog(bool ok) override;
    void ShowPatientInfo(int32_t pid, ArchiveDbPair* list) override;
    bool TakeTypedDates() override;

  private:
    CTamaroDlg& dlg_;
    std::function<void(int)> onTimer_;
    // Set while a timer's callback runs; shared with the pending timers,
    // which may outlive this view (they end with the window).
    std::shared_ptr<bool> inputSinceArmed_ = std::make_shared<bool>(false);
};
