#include "app/ViewSwitch.h"

#include <ctime>

#include "app/CommandHold.h"
#include "app/MainView.h"
#include "app/PatientList.h"
#include "core/CConfigFile.h"
#include "db/DatabaseSet.h"

namespace {

constexpr int64_t kOneYear = 31536000;

int32_t Now() {
    return int32_t(std::time(nullptr));
}

// Stores the shown range under the keys of the view that is left.
void StoreRange(CConfigFile& config, IMainView& view, const char* prefix) {
    const std::string key = prefix;
    config.SetInt(key + ".Min", int32_t(view.GetPickerTime(IDC_SERVICE_FROM)));
    config.SetInt(key + ".Max", int32_t(view.GetPickerTime(IDC_SERVICE_TO)));
}

}  // namespace

int64_t Jan1990Local() {
    std::tm tm{};
    tm.tm_year = 90;
    tm.tm_mon = 0;
    tm.tm_mday = 1;
    tm.tm_isdst = -1;
    return int64_t(std::mktime(&tm));
}

void ShowVelundaRange(CConfigFile& config, IMainView& view) {
    view.SetPickerTime(IDC_SERVICE_TO, config.GetInt("Velunda.Max", int32_t(Now() - kOneYear)));
    view.SetPickerTime(IDC_SERVICE_FROM, config.GetInt("Velunda.Min", int32_t(Jan1990Local())));
}

// A view button pressed while the list is being filled or a run is in
// progress changes nothing, nor does one pressed while a picker holds a typed
// text that is no date (the range of the view left would be stored from the
// picker); the button of the view shown stays pressed.
bool ViewSwitch::Refused(IMainView& view) {
    if (!hold_.Refuses("Ansicht wechseln") && view.TakeTypedDates()) return false;
    view.CheckViewButton(set_.ArchiveIsSource() ? IDC_VIEW_ARCHIV : IDC_VIEW_VELUNDA);
    return true;
}

void ViewSwitch::ShowVelunda(IMainView& view) {
    if (set_.SourceList == set_.VelundaList || Refused(view)) return;
    set_.SourceList = set_.VelundaList;
    set_.TargetList = set_.ArchiveList;
    view.CheckViewButton(IDC_VIEW_VELUNDA);
    view.SetControlText(IDC_F4, "F4: Archivieren");
    view.EnableControl(IDC_ARCHIVE_RUNS, false);
    StoreRange(config_, view, "Archiv");
    ShowVelundaRange(config_, view);
    list_.FillList(view);
    view.ArmTimer(2, 10);
}

void ViewSwitch::ShowArchive(IMainView& view) {
    if (set_.SourceList == set_.ArchiveList || Refused(view)) return;
    set_.SourceList = set_.ArchiveList;
    set_.TargetList = set_.VelundaList;
    view.CheckViewButton(IDC_VIEW_ARCHIV);
    view.SetControlText(IDC_F4, "F4: Restaurieren");
    view.EnableControl(IDC_ARCHIVE_RUNS, true);
    if (!set_.Archive.Connection.IsOpen()) {
        view.Patients().DeleteAllItems();
        return;
    }
    StoreRange(config_, view, "Velunda");
    view.SetPickerTime(IDC_SERVICE_FROM, config_.GetInt("Archiv.Min", int32_t(Now() - kOneYear)));
    view.SetPickerTime(IDC_SERVICE_TO, config_.GetInt("Archiv.Max", Now()));
    list_.FillList(view);
    view.ArmTimer(2, 10);
}

void ViewSwitch::Refresh(IMainView& view) {
    if (hold_.Refuses("Liste aktualisieren") || !view.TakeTypedDates()) return;
    list_.FillList(view);
    view.ArmTimer(2, 10);
}
