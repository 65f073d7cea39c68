#include "app/MainDialogCore.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "app/DirectoryDiscovery.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "app/VersionText.h"
#include "archive/ArchiveHistory.h"
#include "archive/MigrateNotes.h"
#include "archive/SyncSchema.h"
#include "archive/UpdateDB.h"
#include "db/DatabaseKind.h"
#include "platform/Registry.h"
#include "users/AuditLog.h"

namespace {

constexpr int64_t kOneYear = 31536000;
constexpr int32_t kTamaroModuleId = 7;

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// Copies a template, refusing to overwrite an existing file.
bool CopyNoOverwrite(const std::string& from, const std::string& to) {
    std::error_code ec;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::none, ec) && !ec;
}

}  // namespace

int64_t Jan1990Local() {
    std::tm tm{};
    tm.tm_year = 90;
    tm.tm_mon = 0;
    tm.tm_mday = 1;
    tm.tm_isdst = -1;
    return int64_t(std::mktime(&tm));
}

bool MainDialogCore::OnInitDialog(IMainView& view) {
    view_ = &view;
    startMark_ = TickCount();

    DiscoverProgramDir();
    config_.Load(ProgramDir + "/Tamaro.cfg");
    WriteProgramPath();

    view.CheckViewButton(IDC_VIEW_VELUNDA);
    const int64_t now = int64_t(std::time(nullptr));
    view.SetPickerTime(IDC_SERVICE_TO, config_.GetInt("Velunda.Max", int32_t(now - kOneYear)));
    view.SetPickerTime(IDC_ADMISSION_FROM, Jan1990Local());
    view.SetPickerTime(IDC_SERVICE_FROM, config_.GetInt("Velunda.Min", int32_t(Jan1990Local())));
    view.AddInfoMenuEntry("&Info über Tamaro...");

    AppendLog("Initialisierung...", ColourBlue);
    AppendLog("• " + GetVersionText());
    WriteAuditEntry(1, GetVersionText() + " gestartet.");
    AppendLog("• Tamaro-Installation in " + ProgramDir);

    const std::string install = DiscoverInstallationDir();
    if (install.empty()) {
        AppendLog("• Keine Velunda-Installation auf diesem Rechner gefunden.", ColourRed);
        problems_ = 1;
    } else {
        AppendLog("• Velunda-Installation in " + install);
        LocateDataDir(install);
        if (!DatabaseFolderExists()) {
            AppendLog(
                "Die installierte Velunda-Version ist zu alt, oder die aktuelle Version wurde noch "
                "nie gestartet.",
                ColourRed);
            DataDir.clear();
            view.EndDialog(false);
            return false;
        }
        AuditLog& audit = TheAuditLog();
        audit.SetDataFolder(DataDir);
        audit.LoadAuditFile();
        audit.FlushAuditQueue();
        SetDatabaseDirs();
        AppendLog("• Velunda-Datenbanken in " + DatabaseDir);
        problems_ = 0;
    }

    set_.SourceList = set_.VelundaList;
    set_.TargetList = set_.ArchiveList;
    view.EnableControl(IDC_ARCHIVE_RUNS, false);

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
    for (ArchiveDbPair* db = set_.VelundaList; db; db = db->Next) {
        if (!Connect(*db)) ++problems;
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

    const std::string archive = DatabaseDir + "/archiv" + reference;
    if (!FileExists(archive) &&
        !CopyNoOverwrite(ProgramDir + "/tpl/archiv" + reference, archive)) {
        AppendLog("Fehler beim Kopieren der Datenbank-Vorlage (" + reference + ")", ColourRed);
        ++problems;
    }
    if (problems != 0) return problems;

    for (ArchiveDbPair* db = set_.ArchiveList; db; db = db->Next) {
        if (!Connect(*db)) ++problems;
        if (problems == 0 && db->Extension != reference) {
            AppendLog(kMixed, ColourRed);
            problems = 1;
        }
    }
    return problems;
}

void MainDialogCore::StartupMaintenance() {
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
    MigrateNotes(set_.Archive);
    if (FillDoctorList) FillDoctorList();
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
            if (FillDoctorList) FillDoctorList();
        }
        view_->ArmTimer(1, 10);
    } else if (id == 1) {
        if (FillList) FillList();
    }
}

void MainDialogCore::StoreFilterRange() {
    if (!view_) return;
    const std::string& name = set_.SourceList->DisplayName;
    config_.SetInt(name + ".Min", int32_t(view_->GetPickerTime(IDC_SERVICE_FROM)));
    config_.SetInt(name + ".Max", int32_t(view_->GetPickerTime(IDC_SERVICE_TO)));
    config_.Save();
}

void MainDialogCore::OnDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    WriteAuditEntry(1, "Tamaro beendet.");
    set_.Archive.Connection.Disconnect();
    for (ArchiveDbPair* db = set_.VelundaList; db; db = db->Next) db->Connection.Disconnect();
    StoreFilterRange();
}
