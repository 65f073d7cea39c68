#include "app/RunCommands.h"

#include <strings.h>

#include <cstdio>
#include <vector>

#include "app/CommandHold.h"
#include "app/GivenPids.h"
#include "app/ListCommands.h"
#include "app/MainView.h"
#include "app/PatientList.h"
#include "app/SiblingPrograms.h"
#include "archive/runs/DeletePatientsRun.h"
#include "archive/runs/TransferPatients.h"
#include "core/AsciiText.h"
#include "core/WindowServices.h"
#include "db/DatabaseSet.h"
#include "platform/Broadcast.h"

namespace {

// "Archivieren" or "Restaurieren": the caption of F4 without "F4: ".
std::string TransferCommand(IMainView& view) {
    const std::string caption = view.GetControlText(IDC_F4);
    return caption.size() > 4 ? caption.substr(4) : std::string();
}

// The same in lower case: "archivieren" or "restaurieren".
std::string TransferVerb(IMainView& view) {
    return asciitext::Lower(TransferCommand(view));
}

std::string Participle(const std::string& verb) {
    if (verb == "archivieren") return "archiviert";
    if (verb == "restaurieren") return "restauriert";
    return "gelöscht";
}

}  // namespace

bool RunCommands::VelundaView() const {
    return strcasecmp(set_.SourceList->DisplayName.c_str(), "Velunda") == 0;
}

void RunCommands::OnTransfer(IMainView& view) {
    // The list is refilled after the run from the filters as shown.
    if (hold_.Refuses(TransferCommand(view)) || !view.TakeTypedDates()) return;
    if (VelundaView() && AnySiblingRunning(false)) return;
    const std::string verb = TransferVerb(view);
    int count = 0;
    const std::string pids = TickedPidList(view.Patients(), count);
    if (count == 0) {
        ShowWarning("Setzen Sie Häkchen an die zu " + verb + "den Einträge.");
        return;
    }
    if (list_.RefuseUnsafeArchive()) return;
    Transfer(view, verb, pids, count);
}

bool RunCommands::TransferGiven(IMainView& view, const std::string& pidText) {
    if (hold_.Refuses(TransferCommand(view)) || !view.TakeTypedDates()) return false;
    const bool velunda = VelundaView();
    if (velunda && AnySiblingRunning(false)) return false;
    if (list_.RefuseUnsafeArchive()) return false;
    const std::string verb = TransferVerb(view);
    std::vector<int32_t> pids;
    if (!ParsePidList(pidText, pids) ||
        !AdmitGivenPids(set_.SourceList, velunda, pids, Participle(verb)))
        return false;
    return Transfer(view, verb, JoinPids(pids), int(pids.size()));
}

bool RunCommands::Transfer(IMainView& view, const std::string& verb, const std::string& pids,
                           int count) {
    char question[160];
    std::snprintf(question, sizeof question, "Wollen Sie die %d selektierten Einträge wirklich ",
                  count);
    std::string text = question + verb + "?";
    if (strcasecmp(verb.c_str(), "archivieren") == 0)
        text +=
            "\n\nAchtung: Wenn Sie diese Patienten jetzt archivieren, werden diese in den "
            "Abrechnungen und Statistiken nicht mehr aufgeführt.\nFortfahren?";
    if (!AskYesNo(text, true)) return false;

    bool ok;
    {
        CommandHold::Run run(hold_, view);
        ok = TransferPatients(set_, view.ArchiveRuns(), pids);
    }
    list_.FillList(view);
    view.ArmTimer(2, 10);
    // A restore gave the Velunda side new patients; an archiving run's
    // deletion in Velunda has told the other programs already.
    if (strcasecmp(set_.TargetList->DisplayName.c_str(), "Velunda") == 0) BroadcastNewPatients();
    return ok;
}

void RunCommands::OnDelete(IMainView& view) {
    if (hold_.Refuses("Löschen") || !view.TakeTypedDates()) return;
    if (VelundaView() && AnySiblingRunning(true)) return;
    int count = 0;
    const std::string pids = TickedPidList(view.Patients(), count);
    if (count == 0) {
        ShowWarning("Setzen Sie Häkchen an die zu löschenden Einträge.");
        return;
    }
    Delete(view, pids, count);
}

bool RunCommands::DeleteGiven(IMainView& view, const std::string& pidText, bool* declined) {
    if (declined) *declined = false;
    if (hold_.Refuses("Löschen") || !view.TakeTypedDates()) return false;
    const bool velunda = VelundaView();
    if (velunda && AnySiblingRunning(true)) return false;
    std::vector<int32_t> pids;
    if (!ParsePidList(pidText, pids) ||
        !AdmitGivenPids(set_.SourceList, velunda, pids, Participle("löschen")))
        return false;
    return Delete(view, JoinPids(pids), int(pids.size()), declined);
}

bool RunCommands::Delete(IMainView& view, const std::string& pids, int count, bool* declined) {
    char question[160];
    std::snprintf(question, sizeof question,
                  "Wollen Sie die %d selektierten Einträge wirklich löschen?", count);
    if (!AskYesNo(question, false)) {
        if (declined) *declined = true;
        return false;
    }
    bool ok;
    {
        CommandHold::Run run(hold_, view);
        ok = DeletePatientsRun(set_, pids);
    }
    list_.FillList(view);
    view.ArmTimer(2, 10);
    return ok;
}
