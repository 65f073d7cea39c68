#include "app/HeadlessCommands.h"

#include <cstdio>

#include "db/DatabaseSet.h"
#include "app/HeadlessView.h"
#include "app/MainDialogCore.h"
#include "archive/TransferPatients.h"
#include "platform/Broadcast.h"

namespace {

// Decimal ids joined by single commas, nothing else: the list goes into SQL
// text as it stands, so anything else is refused.
bool IsPidList(const std::string& pids) {
    if (pids.empty() || pids.front() == ',' || pids.back() == ',') return false;
    char previous = ',';
    for (char c : pids) {
        if (c == ',' && previous == ',') return false;
        if (c != ',' && (c < '0' || c > '9')) return false;
        previous = c;
    }
    return true;
}

}  // namespace

bool RunHeadlessCommand(MainDialogCore& core, HeadlessView& view, HeadlessCommand command,
                        const std::string& pids) {
    if (!IsPidList(pids)) {
        std::fprintf(stderr, "tamaro: \"%s\" ist keine Patientenliste (Nummern mit Komma, etwa 12,40,7)\n",
                     pids.c_str());
        return false;
    }
    DatabaseSet& set = core.Databases();
    const bool restore = command == HeadlessCommand::Restore;
    // Archiving starts from the Velunda view, restoring from the archive view.
    if (set.ArchiveIsSource() != restore) {
        set.SwapSides();
        view.CheckViewButton(restore ? IDC_VIEW_ARCHIV : IDC_VIEW_VELUNDA);
        view.SetControlText(IDC_F4, restore ? "F4: Restaurieren" : "F4: Archivieren");
    }
    if (!restore && core.Patients().RefuseUnsafeArchive()) return false;
    const bool ok = TransferPatients(set, view.ArchiveRuns(), pids);
    // After a restore the Velunda side has new patients; the archiving run's
    // deletion has already told the other programs.
    if (restore) BroadcastNewPatients();
    return ok;
}
