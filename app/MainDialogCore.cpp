#include "app/MainDialogCore.h"

#include <sys/stat.h>

#include <cstdio>

#include "app/DirectoryDiscovery.h"
#include "app/VersionText.h"
#include "archive/runs/ArchiveHistory.h"
#include "archive/maintenance/ArchiveMaintenance.h"
#include "archive/maintenance/MigrateNotes.h"
#include "archive/safety/RunRecovery.h"
#include "archive/maintenance/SyncSchema.h"
#include "archive/maintenance/UpdateDB.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/DatabaseKind.h"
#include "patient/DoctorList.h"
#include "platform/CopyFileNoReplace.h"
#include "platform/Registry.h"
#include "users/AuditLog.h"

namespace {

constexpr int32_t kTamaroModuleId = 7;

// What to do when another program holds the databases that the embedded
// engine opens (a second Tamaro on the same practice, Velunda on this
// machine).
const char* const kEmbeddedInUse =
    "Die Firebird-Datenbanken dieser Praxis werden ohne Datenbankserver geöffnet (FBConnect ohne "
    "Rechnernamen in Network.cfg), und so kann nur ein Programm zur Zeit mit ihnen arbeiten. "
    "Beenden Sie das oben genannte Programm (ein anderes Tamaro oder Velunda) und starten Sie "
    "Tamaro danach neu.";

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(fspath::ToFileSystem(path).c_str(), &st) == 0;
}

}  // namespace

bool MainDialogCore::OnInitDialog(IMainView& view) {
    view_ = &view;
    startMark_ = TickCount();

    const bool programDirUsable = DiscoverProgramDir();
    config_.Load(ProgramDir + "/Tamaro.cfg");
    if (programDirUsable) WriteProgramPath();

    view.CheckViewButton(IDC_VIEW_VELUNDA);
    ShowVelundaRange(config_, view);
    view.SetPickerTime(IDC_ADMISSION_FROM, Jan1990Local());
    view.AddInfoMenuEntry("&Info über Tamaro...");

    AppendLog("Initialisierung...", ColourBlue);
    AppendLog("• " + GetVersionText());
    WriteAuditEntry(1, GetVersionText() + " gestartet.");
    AppendLog("• Tamaro-Installation in " + ProgramDir);
    if (!programDirUsable) AppendLog(UnusablePathLine(ProgramDir), ColourRed);

    bool installUsable = true;
    std::string unusable;
    const std::string install = DiscoverInstallationDir(&installUsable);
    if (install.empty()) {
        AppendLog("• Keine Velunda-Installation auf diesem Rechner gefunden.", ColourRed);
        problems_ = 1;
    } else {
        AppendLog("• Velunda-Installation in " + install);
        if (!installUsable || !LocateDataDir(install, &unusable)) {
            // No database can be named to the drivers from a folder that the
            // program's text cannot hold.
            AppendLog(UnusablePathLine(installUsable ? unusable : install), ColourRed);
            DataDir.clear();
            problems_ = 1;
        } else if (!DatabaseFolderExists()) {
            AppendLog(
                "Die installierte Velunda-Version ist zu alt, oder die aktuelle Version wurde noch "
                "nie gestartet.",
                ColourRed);
            DataDir.clear();
            view.EndDialog(false);
            return false;
        } else {
            AuditLog& audit = TheAuditLog();
            audit.SetDataFolder(DataDir);
            audit.LoadAuditFile();
            audit.FlushAuditQueue();
            SetDatabaseDirs();
            AppendLog("• Velunda-Datenbanken in " + DatabaseDir);
            problems_ = 0;
        }
    }

    set_.SourceList = set_.VelundaList;
    set_.TargetList = set_.ArchiveList;
    view.EnableControl(IDC_ARCHIVE_RUNS, false);

    // An interrupted run is finished before any database is opened.
    if (problems_ == 0) RecoverInterruptedRun();
    if (problems_ == 0) problems_ = OpenDatabaseSet();

    StartupMaintenance();

    if (problems_ != 0) {
        view.EnableControl(IDC_F4, false);
        view.EnableControl(IDC_F5, false);
        view.EnableControl(IDC_F6, false);
    }
    LogReady(startMark_);
    view.WidenByOnePixel();
    view.ArmTimer(4, 10);
    started_ = true;
    return true;
}

int MainDialogCore::OpenDatabaseSet() {
    static const char* const kMixed =
        "Der Tamaro unterstützt keinen Mischbetrieb von Access- und Firebird-Datenbanken.";
    int problems = 0;
    std::string reference;
    bool held = false;  // another process holds an embedded Firebird file
    for (ArchiveDbPair* db = set_.VelundaList; db; db = db->Next) {
        if (!Connect(*db)) {
            ++problems;
            held = held || !EmbeddedFileHolders(*db).empty();
        }
        if (reference.empty()) reference = db->Extension;
        if (problems == 0 && db->Extension != reference) {
            AppendLog(kMixed, ColourRed);
            problems = 1;
        }
    }

    AuditLog& audit = TheAuditLog();
    audit.SetConnection(&set_.MainDatabase().Connection);
    audit.SetModuleId(kTamaroModuleId);
    audit.FlushAuditQueue();
    audit.PruneAuditLog();

    // The copy gets the permissions of the main database, so that whoever
    // may open the practice's databases (a database server running as
    // another user too) may open the archive.
    const std::string archive = DatabaseDir + "/archiv" + reference;
    if (!FileExists(archive) &&
        !CopyFileNoReplace(ProgramDir + "/tpl/archiv" + reference, archive,
                           DatabaseDir + "/" + set_.MainDatabase().FileName + reference)) {
        AppendLog("Fehler beim Kopieren der Datenbank-Vorlage (" + reference + ")", ColourRed);
        ++problems;
    }
    for (ArchiveDbPair* db = problems == 0 ? set_.ArchiveList : nullptr; db; db = db->Next) {
        if (!Connect(*db)) {
            ++problems;
            held = held || !EmbeddedFileHolders(*db).empty();
        }
        if (problems == 0 && db->Extension != reference) {
            AppendLog(kMixed, ColourRed);
            problems = 1;
        }
    }
    if (held) AppendLog(kEmbeddedInUse, ColourRed);
    return problems;
}

void MainDialogCore::StartupMaintenance() {
    // Whatever the maintenance changes in the archive, it changes under a
    // backup and the journal; without them it does not run.
    ArchiveMaintenance safety(set_.VelundaList, set_.Archive);
    const bool safe = problems_ != 0 || safety.Begin();
    if (!safe) problems_ = 1;
    // The totals only after the archive is at the current version and in
    // line with the live schema; either failure has reported itself.
    if (problems_ == 0 && (!UpdateDB(set_.Archive) || !SyncSchema(set_.VelundaList, set_.Archive)))
        problems_ = 1;
    if (problems_ == 0) {
        AppendLog("", 0);
        const int32_t live = PatCount(set_.MainDatabase());
        const int32_t archived = PatCount(set_.Archive);
        char line[64];
        std::snprintf(line, sizeof line, "Gesamt: %d Patienten", live + archived);
        AppendLog(line, ColourCount);
    }
    if (safe) MigrateNotes(set_.Archive);
    safety.End();
    FillDoctorList(set_.MainDatabase().Connection, view_->Doctors());
    FillArcHist(set_.Archive, view_->ArchiveRuns());
}

void MainDialogCore::OnTimer(int id) {
    if (!view_) return;
    if (id == 4) {
        ODBCConnection& main = set_.MainDatabase().Connection;
        if (main.IsOpen()) {
            if (ShowLogin && !ShowLogin(main)) {
                view_->EndDialog(false);
                return;
            }
            loggedIn_ = true;
            FillDoctorList(main, view_->Doctors());
        }
        view_->ArmTimer(1, 10);
    } else if (id == 1) {
        list_.FillList(*view_);
    } else if (id == 2) {
        // A key or click that came after the command (Alt+L to a date, a
        // click into the name) is where the user went on typing; only
        // without one does the list take the focus.
        if (!view_->InputSinceTimerArmed()) view_->SetFocus(IDC_PATLIST);
    }
}

void MainDialogCore::StoreFilterRange() {
    if (!view_) return;
    const std::string& name = set_.SourceList->DisplayName;
    config_.SetInt(name + ".Min", int32_t(view_->GetPickerTime(IDC_SERVICE_FROM)));
    config_.SetInt(name + ".Max", int32_t(view_->GetPickerTime(IDC_SERVICE_TO)));
    config_.Save();
}

MainDialogCore::~MainDialogCore() {
    DetachAuditLog();
}

void MainDialogCore::DetachAuditLog() {
    // The audit log outlives this object; it must not keep the address of a
    // connection that is closed or gone.
    AuditLog& audit = TheAuditLog();
    if (audit.Connection() == &set_.MainDatabase().Connection) audit.SetConnection(nullptr);
}

void MainDialogCore::OnDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    WriteAuditEntry(1, "Tamaro beendet.");
    DetachAuditLog();
    set_.Archive.Connection.Disconnect();
    for (ArchiveDbPair* db = set_.VelundaList; db; db = db->Next) db->Connection.Disconnect();
    StoreFilterRange();
}
