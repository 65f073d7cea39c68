#include "app/Headless.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "core/Globals.h"
#include "app/HeadlessView.h"
#include "app/MainDialogCore.h"
#include "core/ScriptedWindowServices.h"
#include "core/TerminalLogSink.h"
#include "app/HeadlessCommands.h"
#include "app/HeadlessLogin.h"
#include "users/AuditLog.h"

namespace {

struct Command {
    HeadlessCommand kind;
    std::string pids;
};

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
    std::vector<Command> commands;
    HeadlessLogin login;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--headless" || login.TakeArgument(argc, argv, i)) continue;
        if ((a == "--archive" || a == "--restore") && i + 1 < argc) {
            commands.push_back({a == "--archive" ? HeadlessCommand::Archive
                                                 : HeadlessCommand::Restore,
                                argv[++i]});
            continue;
        }
        if (!args.empty()) args += ' ';
        args += a;
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
            if (status == 0 && !commands.empty() &&
                !login.PermitsCommands(core.Databases().MainDatabase().Connection.IsOpen()))
                status = 1;
            for (const Command& c : commands) {
                if (status != 0) break;
                if (!RunHeadlessCommand(core, view, c.kind, c.pids)) status = 1;
            }
        }
        core.OnDestroy();
    }
    TheAuditLog().SaveAtProgramEnd();
    SetWindowServices(nullptr);
    SetLogSink(nullptr);
    return status;
}
