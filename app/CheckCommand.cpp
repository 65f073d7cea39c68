#include "app/CheckCommand.h"

#include "app/CommandHold.h"
#include "app/MainView.h"
#include "core/WindowServices.h"
#include "db/DatabaseSet.h"

const char* const CheckCommand::MenuText = "Datenbestand prüfen…";

bool CheckCommand::Run(IMainView& view, bool loggedIn, CheckReport& report) {
    report = CheckReport();
    if (hold_.Refuses("Datenbestand prüfen")) return false;
    // Without the main database there was no login to ask for; the check
    // then says which database is missing.
    if (!loggedIn && set_.MainDatabase().Connection.IsOpen()) {
        ShowMessage("Der Datenbestand kann erst nach der Anmeldung geprüft werden.");
        return false;
    }
    bool ok;
    {
        // The check writes to the log and so lets the window handle clicks;
        // the run commands wait until it has read everything.
        CommandHold::Run hold(hold_, view);
        ok = CheckConsistency(set_, report);
    }
    view.ArmTimer(2, 10);
    return ok;
}
