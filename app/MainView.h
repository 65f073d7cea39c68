// The controls of the main window as the start-up, shutdown and command code
// reach them. The Qt window implements it on its widgets; the headless front
// end on plain models. Control ids are those of the main dialog.
#pragma once

#include <cstdint>
#include <string>

#include "core/ComboBox.h"
#include "core/ListView.h"

struct ArchiveDbPair;

enum ControlId {
    IDC_PATLIST = 1000,
    IDC_LOG = 1001,
    IDC_VIEW_VELUNDA = 1002,
    IDC_VIEW_ARCHIV = 1003,
    IDC_SERVICE_FROM = 1004,
    IDC_FILTER_GROUP = 1005,
    IDC_REFRESH = 1006,
    IDC_SERVICE_TO = 1007,
    IDC_NAME = 1008,
    IDC_F1 = 1009,
    IDC_F2 = 1010,
    IDC_F3 = 1011,
    IDC_F4 = 1012,
    IDC_F5 = 1013,
    IDC_F6 = 1014,
    IDC_F7 = 1015,
    IDC_F8 = 1016,
    IDC_ARCHIVE_RUNS = 1017,
    IDC_DOCTORS = 1018,
    IDC_ADMISSION_FROM = 1019,
    IDC_ADMISSION_TO = 1020,
};

class IMainView {
  public:
    virtual ~IMainView() = default;
    virtual IComboBox& ArchiveRuns() = 0;  // 1017 "Archivierung vom"
    virtual IComboBox& Doctors() = 0;      // 1018
    virtual IListView& Patients() = 0;     // 1000
    // Date pickers 1004, 1007, 1019, 1020 as seconds since 1970 (UTC).
    virtual int64_t GetPickerTime(int id) const = 0;
    virtual void SetPickerTime(int id, int64_t seconds) = 0;
    virtual std::string GetNameFilter() const = 0;  // 1008, CP1252
    virtual void EnableControl(int id, bool enable) = 0;
    virtual bool IsControlEnabled(int id) const = 0;
    virtual void SetControlText(int id, const std::string& text) = 0;  // CP1252
    virtual std::string GetControlText(int id) const = 0;
    virtual void CheckViewButton(int id) = 0;  // 1002 or 1003 pressed, the other released
    // The "&Info über Tamaro..." entry of the window menu (command 16).
    virtual void AddInfoMenuEntry(const std::string& text) = 0;
    // One pixel wider, same position and height, so that the layout runs once.
    virtual void WidenByOnePixel() = 0;
    virtual void ArmTimer(int id, int milliseconds) = 0;
    // While a timer's callback runs: whether the user pressed a key or a
    // mouse button in the window after the timer was armed, or, for a timer
    // armed by a command, after that command began (its log lines let the
    // window handle keys and clicks while it runs). A view without input has
    // none.
    virtual bool InputSinceTimerArmed() const { return false; }
    // Gives the keyboard focus to a control (timer 2: the patient list).
    virtual void SetFocus(int id) = 0;
    virtual void EndDialog(bool ok) = 0;
    // The patient information of one patient from the databases of a side
    // (dialog 129, modal); returns when it is closed.
    virtual void ShowPatientInfo(int32_t pid, ArchiveDbPair* list) = 0;
    // Takes into the pickers the dates typed and not yet taken (a picker
    // takes them by itself only when it is left or Enter is pressed), so that
    // whatever reads the filters reads what the fields show. False when a
    // typed text is no possible date: the picker has said so and shows the
    // date it held before. A view without typing has nothing to take.
    virtual bool TakeTypedDates() { return true; }
};
