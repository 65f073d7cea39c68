#include "app/headless/HeadlessExport.h"

#include <cstdio>
#include <cstring>

#include "app/MainDialogCore.h"
#include "app/headless/HeadlessView.h"
#include "core/Cp1252.h"

bool TakeExportArgument(int argc, char** argv, int& i, std::vector<HeadlessStep>& steps,
                        std::string& error) {
    if (std::strcmp(argv[i], "--export") != 0) return false;
    if (i + 1 >= argc) {
        error = "--export braucht eine Patientenliste";
        return true;
    }
    const std::string pids = argv[++i];
    if (!CheckHeadlessArgument(HeadlessCommand::Export, pids, &error)) return true;
    if (i + 2 >= argc || std::strcmp(argv[i + 1], "--to") != 0 || !*argv[i + 2]) {
        error = "--export " + pids + " braucht --to ORDNER";
        return true;
    }
    i += 2;
    HeadlessStep step{HeadlessCommand::Export, pids, {}, argv[i]};
    steps.push_back(std::move(step));
    return true;
}

bool RunHeadlessExport(MainDialogCore& core, HeadlessView& view, const HeadlessStep& step) {
    ExportReport report;
    const bool ok =
        core.Exports().ExportGiven(view, core.LoggedIn(), step.argument, step.target, report);
    if (!ok) return false;
    for (const ExportedRecord& record : report.records)
        std::fputs(
            cp1252::ToUtf8("EXPORT\t" + std::to_string(record.pid) + "\t" + record.folder + "\n")
                .c_str(),
            stdout);
    std::fflush(stdout);
    return true;
}
