#include "app/headless/Headless.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/headless/CommandLine.h"
#include "app/headless/HeadlessCommands.h"
#include "app/headless/HeadlessExport.h"
#include "app/headless/HeadlessListing.h"
#include "app/headless/HeadlessLogin.h"
#include "app/headless/HeadlessView.h"
#include "app/MainDialogCore.h"
#include "app/headless/TerminalRunProgress.h"
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

const char* kDryRunPlace = "--dry-run gilt nur unmittelbar vor --archive, --restore oder --delete";

// What the command line asks of the headless mode, besides the login.
struct HeadlessOptions {
    std::string args;                  // "AID=…" and "PID=…", as the window takes them
    std::vector<HeadlessStep> commands;
    std::string saveLog;  // --save-log: the file, as the file system names it
    bool confirmed = false;  // --yes
};

// Reads the command line into options and login; false with the message for
// standard error in error.
bool ParseOptions(int argc, char** argv, HeadlessLogin& login, HeadlessOptions& options,
                  std::string& error) {
    HeadlessListingParser listing;
    bool dryRun = false;  // the next command is a preview
    for (int i = 1; i < argc && error.empty(); ++i) {
        std::string a = argv[i];
        // --dry-run belongs to the command right after it.
        if (dryRun && a != "--archive" && a != "--restore" && a != "--delete") {
            error = kDryRunPlace;
        } else if (listing.Take(argc, argv, i, options.commands) || a == "--headless" ||
                   login.TakeArgument(argc, argv, i)) {
        } else if (a == "--dry-run") {
            dryRun = true;
        } else if (TakeExportArgument(argc, argv, i, options.commands, error)) {
        } else if (a == "--check") {
            options.commands.push_back({HeadlessCommand::Check, "", {}});
        } else if (TakeCommand(argc, argv, i, options.commands, error)) {
            if (dryRun && error.empty()) options.commands.back().preview = true;
            dryRun = false;
        } else if (a == "--yes") {
            options.confirmed = true;
        } else if (a == "--save-log") {
            if (i + 1 >= argc || !*argv[i + 1])
                error = "--save-log braucht einen Dateinamen";
            else
                options.saveLog = argv[++i];
        } else if (a.rfind("--", 0) == 0) {
            // Only "AID=" and "PID=" are left for the command line; an option
            // nobody knows (a misspelt command) must not pass for success.
            error = "unbekannte Option " + a + " (tamaro --help zeigt alle)";
        } else {
            options.args += (options.args.empty() ? "" : " ") + a;
        }
    }
    if (error.empty() && dryRun) error = kDryRunPlace;
    if (error.empty() && !listing.Finish()) error = listing.Error();
    return error.empty();
}

// Runs one command after the start; status is the program's so far. True
// when it did its work.
bool RunStep(MainDialogCore& core, HeadlessView& view, const HeadlessStep& c, bool confirmed,
             int status) {
    const std::string command =
        std::string(c.preview ? "--dry-run " : "") + HeadlessCommandText(c.kind, c.argument);
    // A request to end the program ends it between two commands.
    if (stopsignals::Requested()) {
        ReportHeadlessError(command + ": nicht ausgeführt, Tamaro soll beendet werden");
        return false;
    }
    // Listing and patient information change nothing, so they also run
    // after a start-up problem or a failed command.
    if (c.kind == HeadlessCommand::List || c.kind == HeadlessCommand::View)
        return RunListingStep(core, view, c);
    // The patient information, the check and the export only read too. A
    // preview is refused where its run would be: it shows what the run would do.
    const bool reads = c.kind == HeadlessCommand::Info || c.kind == HeadlessCommand::Check ||
                       c.kind == HeadlessCommand::Export;
    if (!reads && status != 0) {
        ReportHeadlessError(command + ": nicht ausgeführt, weil " +
                            (core.Problems() != 0
                                 ? "der Start Fehler gemeldet hat (siehe Protokoll)"
                                 : "ein Befehl davor fehlgeschlagen ist"));
        return true;  // the failure before has set the status already
    }
    if (c.kind == HeadlessCommand::Check) return RunHeadlessCheck(core);
    if (c.kind == HeadlessCommand::Export) return RunHeadlessExport(core, view, c);
    if (c.preview) return RunHeadlessPreview(core, view, c.kind, c.argument);
    return RunHeadlessCommand(core, view, c.kind, c.argument, confirmed);
}

// The start as the window's, then the commands in order and the saved log.
// The program's status: 1 exactly when the start or a command failed or was
// refused: the start reported a problem, the login was refused, a command
// returned failure, or any failure or refusal was written to the log (a red
// line that is no note).
int RunSession(const HeadlessOptions& options, HeadlessLogin& login, const LogRecorder& recorded) {
    int status = 0;
    const int failuresBefore = FailureLines();
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
        if (permitted && (!options.commands.empty() || !options.saveLog.empty()) &&
            !login.PermitsCommands(core.Databases().MainDatabase().Connection.IsOpen())) {
            permitted = false;
            status = 1;
        }
        for (const HeadlessStep& c : options.commands) {
            if (!permitted) break;
            if (!RunStep(core, view, c, options.confirmed, status)) status = 1;
        }
        if (stopsignals::Requested()) status = 1;
        if (permitted && !options.saveLog.empty() && !SaveLog(recorded, options.saveLog))
            status = 1;
    }
    if (FailureLines() > failuresBefore) status = 1;
    core.OnDestroy();
    return status;
}

}  // namespace

bool WantsHeadless(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0) return true;
    return false;
}

int RunHeadless(int argc, char** argv) {
    HeadlessOptions options;
    HeadlessLogin login;
    std::string error;
    if (!ParseOptions(argc, argv, login, options, error)) {
        ReportHeadlessError(error);
        return 1;
    }

    CurrentLid = -1;
    PresetAid = -1;
    PresetPid = -1;
    ParseCommandLine(options.args, PresetAid, PresetPid);
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
    if (options.confirmed) services.AnswerQuestionsWith(MsgResult::Yes);
    SetWindowServices(&services);

    const int status = RunSession(options, login, recorded);
    TheAuditLog().SaveAtProgramEnd();
    SetRunProgress(nullptr);
    SetWindowServices(nullptr);
    SetLogSink(nullptr);
    return status;
}
