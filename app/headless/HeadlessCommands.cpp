#include "app/headless/HeadlessCommands.h"

#include <cstdio>
#include <vector>

#include "app/GivenPids.h"
#include "app/headless/HeadlessView.h"
#include "app/MainDialogCore.h"
#include "core/Cp1252.h"
#include "db/DatabaseSet.h"

namespace {

void PrintLine(const std::string& line) {
    std::fputs(cp1252::ToUtf8(line + "\n").c_str(), stdout);
}

}  // namespace

void ReportHeadlessError(const std::string& text) {
    std::fputs(("tamaro: " + cp1252::ToUtf8(text) + "\n").c_str(), stderr);
}

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
        case HeadlessCommand::Check:
            return "--check";
        case HeadlessCommand::Export:
            return "--export " + argument;
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
        case HeadlessCommand::Check:
        case HeadlessCommand::Export:
            break;
    }
    return false;
}

bool RunHeadlessPreview(MainDialogCore& core, HeadlessView& view, HeadlessCommand command,
                        const std::string& argument) {
    RunPlan plan;
    bool ok = false;
    switch (command) {
        case HeadlessCommand::Archive:
            core.OnVelundaView();
            ok = core.Previews().PreviewTransferGiven(view, argument, plan);
            break;
        case HeadlessCommand::Restore:
            core.OnArchiveView();
            ok = core.Previews().PreviewTransferGiven(view, argument, plan);
            break;
        case HeadlessCommand::Delete:
            ok = core.Previews().PreviewDeleteGiven(view, argument, plan);
            break;
        default:
            return false;
    }
    // A preview that could not count every table is no plan to go by.
    if (!ok) return false;
    for (const PlannedTable& t : plan.tables)
        PrintLine("PLAN\t" + t.database + "." + t.table + "\t" + std::to_string(t.rows));
    PrintLine("PLAN\ttotal\t" + std::to_string(plan.total));
    std::fflush(stdout);
    return true;
}

bool RunHeadlessCheck(MainDialogCore& core) {
    CheckReport report;
    const bool complete = core.OnCheck(report);
    if (!report.started) return false;
    for (const CheckLine& l : report.lines)
        PrintLine(std::string("CHECK\t") + CheckKeyword(l.finding) + "\t" +
                  (l.pid ? std::to_string(*l.pid) : std::string()) + "\t" + l.side + "\t" +
                  l.database + "." + l.table + "\t" + std::to_string(l.rows));
    PrintLine("CHECK\ttotal\t" + std::to_string(report.findings) + "\t" +
              std::to_string(report.patients) + "\t" + std::to_string(report.historyPids));
    std::fflush(stdout);
    return complete && report.findings == 0;
}
