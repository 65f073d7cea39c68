#include "app/Headless.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "core/Globals.h"
#include "app/HeadlessListing.h"
#include "app/HeadlessView.h"
#include "app/MainDialogCore.h"
#include "core/ScriptedWindowServices.h"
#include "core/TerminalLogSink.h"
#include "app/HeadlessCommands.h"
#include "app/HeadlessLogin.h"
#include "users/AuditLog.h"

namespace {

// Takes the timers the start-up armed (login, then the list) in order.
void RunPendingTimers(MainDialogCore& core, HeadlessView& view) {
    for (int guard = 0; guard < 16 && !view.PendingTimers().empty() && !view.Ended(); ++guard) {
        int id = view.PendingTimers().front();
        view.PendingTimers().erase(view.PendingTimers().begin());
        core.OnTimer(id);
    }
}

}  // namespace

bool WantsHeadless(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0) return true;
    return false;
}

int RunHeadless(int argc, char** argv) {
    std::string args;
    std::vector<HeadlessStep> commands;
    HeadlessListingParser listing;
    HeadlessLogin login;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (listing.Take(argc, argv, i, commands)) continue;
        if (a == "--headless" || login.TakeArgument(argc, argv, i)) continue;
        if ((a == "--archive" || a == "--restore") && i + 1 < argc) {
            commands.push_back(
                {a == "--archive" ? HeadlessCommand::Archive : HeadlessCommand::Restore,
                 argv[++i],
                 {}});
            continue;
        }
        if (!args.empty()) args += ' ';
        args += a;
    }
    if (!listing.Finish()) {
        ReportHeadlessError(listing.Error());
        return 1;
    }

    CurrentLid = -1;
    PresetAid = -1;
    PresetPid = -1;
    ParseCommandLine(args, PresetAid, PresetPid);
    TheAuditLog().SetConnection(nullptr);
    TheAuditLog().SetModuleId(7);

    TerminalLogSink sink(stdout);
    SetLogSink(&sink);
    ScriptedWindowServices services;
    services.SetEcho(stderr);
    SetWindowServices(&services);

    int status = 0;
    {
        HeadlessView view;
        MainDialogCore core;
        core.ShowLogin = [&login](ODBCConnection& main) { return login.Show(main); };
        if (!core.OnInitDialog(view)) {
            status = 1;
        } else {
            RunPendingTimers(core, view);
            // A refused login ends the program as a cancelled login dialog does.
            if (core.Problems() != 0 || view.Ended()) status = 1;
            // One gate in front of every command.
            bool permitted = !view.Ended();
            if (permitted && !commands.empty() &&
                !login.PermitsCommands(core.Databases().MainDatabase().Connection.IsOpen())) {
                permitted = false;
                status = 1;
            }
            for (const HeadlessStep& c : commands) {
                if (!permitted) break;
                // Listing changes nothing, so it also runs after a start-up problem.
                if (c.kind == HeadlessCommand::List || c.kind == HeadlessCommand::View) {
                    if (!RunListingStep(core, view, c)) status = 1;
                    continue;
                }
                if (status != 0) break;
                if (!RunHeadlessCommand(core, view, c.kind, c.argument)) status = 1;
            }
        }
        // Every red line is an error or a refusal.
        if (sink.RedLines() > 0) status = 1;
        core.OnDestroy();
    }
    TheAuditLog().SaveAtProgramEnd();
    SetWindowServices(nullptr);
    SetLogSink(nullptr);
    return status;
}
