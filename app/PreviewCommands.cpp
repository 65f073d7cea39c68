#include "app/PreviewCommands.h"

#include <vector>

#include "app/CommandHold.h"
#include "app/GivenPids.h"
#include "app/ListCommands.h"
#include "app/MainView.h"
#include "app/PatientList.h"
#include "app/SiblingPrograms.h"
#include "core/WindowServices.h"
#include "db/DatabaseSet.h"

RunKind PreviewCommands::TransferKind() const {
    return set_.ArchiveIsSource() ? RunKind::Restore : RunKind::Archive;
}

bool PreviewCommands::Preview(IMainView& view, RunKind kind, const std::string& pids,
                              RunPlan& plan) {
    bool ok;
    {
        // Each log line lets the window handle its events: no run may start
        // while the preview counts.
        CommandHold::Run hold(hold_, view);
        ok = PreviewRun(set_, kind, pids, plan);
    }
    view.ArmTimer(2, 10);
    return ok;
}

// Each preview takes the way of its run up to the question, with the same
// refusals in the same words: a date typed and not yet taken is taken first
// (the run refills the list from it), and a text that is no date refuses it.
void PreviewCommands::OnPreviewTransfer(IMainView& view) {
    if (hold_.Refuses("Vorschau") || !view.TakeTypedDates()) return;
    const RunKind kind = TransferKind();
    if (kind == RunKind::Archive && AnySiblingRunning(false)) return;
    int count = 0;
    const std::string pids = TickedPidList(view.Patients(), count);
    if (count == 0) {
        ShowWarning(std::string("Setzen Sie Häkchen an die zu ") +
                    (kind == RunKind::Archive ? "archivieren" : "restaurieren") + "den Einträge.");
        return;
    }
    if (list_.RefuseUnsafeArchive()) return;
    RunPlan plan;
    Preview(view, kind, pids, plan);
}

void PreviewCommands::OnPreviewDelete(IMainView& view) {
    if (hold_.Refuses("Vorschau") || !view.TakeTypedDates()) return;
    if (!set_.ArchiveIsSource() && AnySiblingRunning(true)) return;
    int count = 0;
    const std::string pids = TickedPidList(view.Patients(), count);
    if (count == 0) {
        ShowWarning("Setzen Sie Häkchen an die zu löschenden Einträge.");
        return;
    }
    RunPlan plan;
    Preview(view, RunKind::Delete, pids, plan);
}

bool PreviewCommands::PreviewTransferGiven(IMainView& view, const std::string& pidText,
                                           RunPlan& plan) {
    if (hold_.Refuses("Vorschau") || !view.TakeTypedDates()) return false;
    const RunKind kind = TransferKind();
    const bool velunda = kind == RunKind::Archive;
    if (velunda && AnySiblingRunning(false)) return false;
    if (list_.RefuseUnsafeArchive()) return false;
    std::vector<int32_t> pids;
    if (!ParsePidList(pidText, pids) ||
        !AdmitGivenPids(set_.SourceList, velunda, pids, RunParticiple(kind)))
        return false;
    return Preview(view, kind, JoinPids(pids), plan);
}

bool PreviewCommands::PreviewDeleteGiven(IMainView& view, const std::string& pidText,
                                         RunPlan& plan) {
    if (hold_.Refuses("Vorschau") || !view.TakeTypedDates()) return false;
    const bool velunda = !set_.ArchiveIsSource();
    if (velunda && AnySiblingRunning(true)) return false;
    std::vector<int32_t> pids;
    if (!ParsePidList(pidText, pids) ||
        !AdmitGivenPids(set_.SourceList, velunda, pids, RunParticiple(RunKind::Delete)))
        return false;
    return Preview(view, RunKind::Delete, JoinPids(pids), plan);
}
