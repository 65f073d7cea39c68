#include "app/Headless.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/HeadlessCommands.h"
#include "app/HeadlessListing.h"
#include "app/HeadlessLogin.h"
#include "app/HeadlessView.h"
#include "app/MainDialogCore.h"
#include "app/TerminalRunProgress.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogRecorder.h"
#include "core/LogSink.h"
#include "core/RtfWriter.h"
#include "core/RunProgress.h"
#include "core/ScriptedWindowServices.h"
#include "core/TeeLogSink.h"
#include "core/TerminalLogSink.h"
#include "platform/DurableFile.h"
#include "platform/StopSignals.h"
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

// "--archive LIST" and the other commands that take a value; the value is
// checked before anything starts.
bool TakeCommand(int argc, char** argv, int& i, std::vector<HeadlessStep>& commands,
                 std::string& error) {
    static const std::pair<const char*, HeadlessCommand> kCommands[] = {
        {"--archive", HeadlessCommand::Archive},
        {"--restore", HeadlessCommand::Restore},
        {"--delete", HeadlessCommand::Delete},
        {"--info", HeadlessCommand::Info}};
    for (const auto& [name, kind] : kCommands) {
        if (std::strcmp(argv[i], name) != 0) continue;
        if (i + 1 >= argc) {
            error = std::string(name) + " braucht einen Wert";
        } else {
            const std::string value = argv[++i];
            if (CheckHeadlessArgument(kind, value, &error)) commands.push_back({kind, value, {}});
        }
        return true;
    }
    return false;
}

// The log of the whole run as an RTF file, as F8 writes it; a failure is a
// red line.
bool SaveLog(const LogRecorder& log, const std::string& fileSystemPath) {
    std::string path;
    if (fspath::FromFileSystem(fileSystemPath, path) &&
        ReplaceFileDurably(path, LogToRtf(log.Runs())))
        return true;
    AppendLog("Speichern fehlgeschlagen: " + path, ColourRed);
    return false;
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
    std::string error;
    std::string saveLog;  // --save-log: the file, as the file system names it
    bool confirmed = false;
    bool dryRun = false;  // the next command is a preview
    for (int i = 1; i < argc && error.empty(); ++i) {
        std::string a = argv[i];
        // --dry-run belongs to the command right after it.
        if (dryRun && a != "--archive" && a != "--restore" && a != "--delete") {
            error = "--dry-run gilt nur unmittelbar vor --archive, --restore oder --delete";
            continue;
        }
        if (listing.Take(argc, argv, i, commands)) continue;
        if (a == "--headless" || login.TakeArgument(argc, argv, i)) continue;
        if (a == "--dry-run") {
            dryRun = true;
            continue;
        }
        if (a == "--check") {
            commands.push_back({HeadlessCommand::Check, "", {}});
            continue;
        }
        if (TakeCommand(argc, argv, i, commands, error)) {
            if (dryRun && error.empty()) commands.back().preview = true;
            dryRun = false;
            continue;
        }
        if (a == "--yes") {
            confirmed = true;
            continue;
        }
        if (a == "--save-log") {
            if (i + 1 >= argc || !*argv[i + 1])
                error = "--save-log braucht einen Dateinamen";
            else
                saveLog = argv[++i];
            continue;
        }
        // Only "AID=" and "PID=" are left for the command line; an option
        // nobody knows (a misspelt command) must not pass for success.
        if (a.rfind("--", 0) == 0) {
            error = "unbekannte Option " + a + " (tamaro --help zeigt alle)";
            continue;
        }
        if (!args.empty()) args += ' ';
        args += a;
    }
    if (error.empty() && dryRun)
        error = "--dry-run gilt nur unmittelbar vor --archive, --restore oder --delete";
    if (error.empty() && !listing.Finish()) error = listing.Error();
    if (!error.empty()) {
        ReportHeadlessError(error);
        return 1;
    }

    CurrentLid = -1;
    PresetAid = -1;
    PresetPid = -1;
    ParseCommandLine(args, PresetAid, PresetPid);
    TheAuditLog().SetConnection(nullptr);
    TheAuditLog().SetModuleId(7);

    TerminalLogSink sink(stdout);
    // A run's progress as a line on the terminal, kept apart from the log.
    TerminalRunProgress progressLine(stderr, sink, stdout);
    LogRecorder recorded;  // for --save-log
    TeeLogSink tee(progressLine, recorded);
    SetLogSink(&tee);
    SetRunProgress(&progressLine);
    ScriptedWindowServices services;
    services.SetEcho(stderr);
    // "--yes" answers the questions; without it each takes its default
    // button (Yes to archive and restore, No to delete).
    if (confirmed) services.AnswerQuestionsWith(MsgResult::Yes);
    SetWindowServices(&services);

    // 1 exactly when the start or a command failed or was refused: the start
    // reported a problem, the login was refused, a command returned failure,
    // or any failure or refusal was written to the log (a red line that is
    // no note).
    int status = 0;
    const int failuresBefore = FailureLines();
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
            if (permitted && (!commands.empty() || !saveLog.empty()) &&
                !login.PermitsCommands(core.Databases().MainDatabase().Connection.IsOpen())) {
                permitted = false;
                status = 1;
            }
            for (const HeadlessStep& c : commands) {
                if (!permitted) break;
                // A request to end the program ends it between two commands.
                if (stopsignals::Requested()) {
                    ReportHeadlessError(HeadlessCommandText(c.kind, c.argument) +
                                        ": nicht ausgeführt, Tamaro soll beendet werden");
                    status = 1;
                    continue;
                }
                // Listing and patient information change nothing, so they
                // also run after a start-up problem or a failed command.
                if (c.kind == HeadlessCommand::List || c.kind == HeadlessCommand::View) {
                    if (!RunListingStep(core, view, c)) status = 1;
                    continue;
                }
                // The patient information, previews and the check only read
                // too.
                const bool reads = c.kind == HeadlessCommand::Info ||
                                   c.kind == HeadlessCommand::Check || c.preview;
                if (!reads && status != 0) {
                    ReportHeadlessError(
                        HeadlessCommandText(c.kind, c.argument) + ": nicht ausgeführt, weil " +
                        (core.Problems() != 0 ? "der Start Fehler gemeldet hat (siehe Protokoll)"
                                              : "ein Befehl davor fehlgeschlagen ist"));
                    continue;
                }
                bool done;
                if (c.kind == HeadlessCommand::Check)
                    done = RunHeadlessCheck(core);
                else if (c.preview)
                    done = RunHeadlessPreview(core, view, c.kind, c.argument);
                else
                    done = RunHeadlessCommand(core, view, c.kind, c.argument, confirmed);
                if (!done) status = 1;
            }
            if (stopsignals::Requested()) status = 1;
            if (permitted && !saveLog.empty() && !SaveLog(recorded, saveLog)) status = 1;
        }
        if (FailureLines() > failuresBefore) status = 1;
        core.OnDestroy();
    }
    TheAuditLog().SaveAtProgramEnd();
    SetRunProgress(nullptr);
    SetWindowServices(nullptr);
    SetLogSink(nullptr);
    return status;
}
