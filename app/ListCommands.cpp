#include "app/ListCommands.h"

#include "app/CommandHold.h"
#include "app/MainView.h"
#include "core/ListView.h"
#include "core/WindowServices.h"
#include "db/DatabaseSet.h"

namespace {

void TickAll(IMainView& view, bool ticked) {
    IListView& list = view.Patients();
    for (int row = 0; row < list.GetItemCount(); ++row) list.SetCheck(row, ticked);
    view.ArmTimer(2, 10);
}

}  // namespace

std::string TickedPidList(const IListView& list, int& count) {
    std::string pids;
    count = 0;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (!list.GetCheck(row)) continue;
        if (count++ > 0) pids += ',';
        pids += std::to_string(list.GetItemData(row));
    }
    return pids;
}

void ListCommands::OnSelectAll(IMainView& view) {
    TickAll(view, true);
}

void ListCommands::OnSelectNone(IMainView& view) {
    TickAll(view, false);
}

void ListCommands::OnPatientInfo(IMainView& view) {
    if (hold_.Refuses("Pat.-Info")) return;
    IListView& list = view.Patients();
    const int row = list.GetFirstSelected();
    if (row < 0) {
        ShowWarning("Selektieren Sie den Patienten,\ndessen Daten Sie einsehen wollen.");
        return;
    }
    view.ShowPatientInfo(list.GetItemData(row), set_.SourceList);
    view.ArmTimer(2, 10);
}
