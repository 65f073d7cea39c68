#include "app/ExportCommand.h"

#include <ctime>

#include "app/CommandHold.h"
#include "app/GivenPids.h"
#include "app/ListCommands.h"
#include "app/MainView.h"
#include "app/VersionText.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/ListView.h"
#include "core/WindowServices.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"
#include "platform/UserAndHost.h"

const char* const ExportCommand::MenuText = "Patientenakte exportieren…";

namespace {

const char* kCommand = "Patientenakte exportieren";

}  // namespace

bool ExportCommand::Refused(bool loggedIn) const {
    if (hold_.Refuses(kCommand)) return true;
    if (loggedIn) return false;
    ShowMessage("Patientenakten können erst nach der Anmeldung exportiert werden.");
    return true;
}

ExportContext ExportCommand::Context() const {
    ExportContext context;
    context.program = GetVersionText();
    context.version =
        std::to_string(TAMARO_VERSION_MAJOR) + "." + std::to_string(TAMARO_VERSION_MINOR) + "." +
        std::to_string(TAMARO_VERSION_PATCH) + "." + std::to_string(TAMARO_VERSION_TWEAK);
    context.created = int64_t(std::time(nullptr));
    context.lid = CurrentLid;
    context.practice = DataDir;
    std::string user, host;
    context.account = (GetLoginName(user) ? user : std::string("unbekannt")) + ":" +
                      (GetHostName(host) ? host : std::string());
    ArchiveDbPair& main = set_.MainDatabase();
    if (main.Connection.IsOpen()) {
        ODBCStmt stmt(main.Connection);
        if (stmt.ExecDirect("select login from passwd where lid=" + std::to_string(CurrentLid)) &&
            stmt.Fetch())
            stmt.GetColumnString(1, context.login);
    }
    return context;
}

bool ExportCommand::Export(IMainView& view, const std::vector<int32_t>& pids,
                           const std::string& target, ExportReport& report) {
    std::string folder;
    if (!fspath::FromFileSystem(target, folder)) {
        ShowWarning("Der Ordnername " + folder +
                    " enthält Zeichen, die Tamaro nicht schreiben kann. Es wird nichts "
                    "exportiert.");
        return false;
    }
    bool ok;
    {
        // Each log line lets the window handle its events: no run may start
        // while the export reads.
        CommandHold::Run hold(hold_, view);
        ok = ExportRecords(set_, pids, folder, Context(), report);
    }
    view.ArmTimer(2, 10);
    return ok;
}

bool ExportCommand::OnExport(IMainView& view, bool loggedIn,
                             const std::function<std::string()>& chooseFolder) {
    if (Refused(loggedIn)) return false;
    int count = 0;
    std::vector<int32_t> pids;
    const std::string ticked = TickedPidList(view.Patients(), count);
    if (count > 0) {
        ParsePidList(ticked, pids);
    } else if (const int row = view.Patients().GetFirstSelected(); row >= 0) {
        pids.push_back(int32_t(view.Patients().GetItemData(row)));
    } else {
        ShowWarning(
            "Setzen Sie Häkchen an die Patienten, deren Akte Sie exportieren wollen,\noder "
            "markieren Sie einen Patienten.");
        return false;
    }
    const std::string target = chooseFolder();
    // The choice may have taken a while: a list fill may have begun.
    if (target.empty() || hold_.Refuses(kCommand)) return false;
    ExportReport report;
    return Export(view, pids, target, report);
}

bool ExportCommand::ExportGiven(IMainView& view, bool loggedIn, const std::string& pidText,
                                const std::string& target, ExportReport& report) {
    report = ExportReport();
    if (Refused(loggedIn)) return false;
    std::vector<int32_t> pids;
    if (!ParsePidList(pidText, pids)) {
        ShowWarning("\"" + pidText + "\" ist keine Patientenliste.");
        return false;
    }
    return Export(view, pids, target, report);
}
