#include "app/HeadlessCommands.h"

#include <cstdio>
#include <vector>

#include "app/GivenPids.h"
#include "app/HeadlessListing.h"
#include "app/HeadlessView.h"
#include "app/MainDialogCore.h"
#include "db/DatabaseSet.h"

bool CheckHeadlessArgument(HeadlessCommand command, const std::string& value, std::string* error) {
    std::vector<int32_t> pids;
    const bool parsed = ParsePidList(value, pids);
    if (command == HeadlessCommand::Info) {
        if (parsed && pids.size() == 1) return true;
        *error = "--info: \"" + value + "\" ist keine Patientennummer";
        return false;
    }
    if (parsed) return true;
    *error = "\"" + value + "\" ist keine Patientenliste (Nummern mit Komma, etwa 12,40,7)";
    return false;
}

std::string HeadlessCommandText(HeadlessCommand command, const std::string& argument) {
    switch (command) {
        case HeadlessCommand::Archive:
            return "--archive " + argument;
        case HeadlessCommand::Restore:
            return "--restore " + argument;
        case HeadlessCommand::Delete:
            return "--delete " + argument;
        case HeadlessCommand::Info:
            return "--info " + argument;
        case HeadlessCommand::List:
            return "--list";
        case HeadlessCommand::View:
            return "--view " + argument;
    }
    return {};
}

bool RunHeadlessCommand(MainDialogCore& core, HeadlessView& view, HeadlessCommand command,
                        const std::string& argument, bool confirmed) {
    switch (command) {
        case HeadlessCommand::Archive:
            core.OnVelundaView();
            return core.Runs().TransferGiven(view, argument);
        case HeadlessCommand::Restore:
            // Without an archive connection the view switch only empties the
            // list; the run then finds no patient there and is refused.
            core.OnArchiveView();
            return core.Runs().TransferGiven(view, argument);
        case HeadlessCommand::Delete: {
            bool declined = false;
            const bool deleted = core.Runs().DeleteGiven(view, argument, &declined);
            // Only when the question was the reason: a list refused before it
            // would not be deleted with --yes either.
            if (declined && !confirmed)
                ReportHeadlessError("--delete: ohne --yes wird nichts gelöscht");
            return deleted;
        }
        case HeadlessCommand::Info: {
            std::vector<int32_t> pid;
            ArchiveDbPair* source = core.Databases().SourceList;
            if (!ParsePidList(argument, pid) || pid.size() != 1 ||
                !AdmitShownPatient(source, pid.front()))
                return false;
            view.ShowPatientInfo(pid.front(), source);
            return true;
        }
        case HeadlessCommand::List:
        case HeadlessCommand::View:
            break;
    }
    return false;
}
