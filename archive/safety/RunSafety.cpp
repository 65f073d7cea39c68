#include "archive/safety/RunSafety.h"

#include <sys/stat.h>

#include <ctime>
#include <map>
#include <vector>

#include "archive/rows/DeletePatients.h"
#include "archive/rows/PatientRows.h"
#include "archive/rows/PidList.h"
#include "archive/rows/RunCheckpoint.h"
#include "archive/safety/ArchiveOnlyColumns.h"
#include "archive/safety/DatabaseBackup.h"
#include "archive/safety/LateRows.h"
#include "archive/safety/RunForward.h"
#include "archive/safety/RunResolution.h"
#include "archive/safety/RunTables.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RunProgress.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "platform/DurableFile.h"
#include "platform/UserAndHost.h"

namespace {

std::string UndecidedText() {
    return "Der Vorgang konnte weder zu Ende geführt noch zurückgenommen werden, weil die "
           "Datenbanken nicht mehr den Stand des Vorgangs haben (oben); Tamaro ändert nichts mehr "
           "daran. " +
           RunsLockedUntil(
               "die Datenbanken wieder einen der beiden Stände haben (Tamaro prüft "
               "es bei jedem Start) oder ein Administrator den Datenbestand geprüft "
               "(tamaro --headless --check) und die Journal-Datei entfernt hat");
}

const char* kJournalError = "Fehler beim Schreiben der Journal-Datei ";

// Reports the copying of the backups to the run's progress display ("Archivieren:
// Datensicherung 43 %"), which keeps the window painted while large files are
// copied; the run's own share of rows starts after them.
class BackupProgress {
  public:
    BackupProgress(RunKind kind, const std::vector<ArchiveDbPair*>& databases)
        : what_(std::string(RunVerb(kind)) + ": Datensicherung") {
        for (const ArchiveDbPair* db : databases) {
            struct stat st {};
            if (::stat(fspath::ToFileSystem(DatabasePath(*db)).c_str(), &st) == 0)
                total_ += uint64_t(st.st_size);
        }
        ReportRunProgress(what_, 0, total_);
    }
    ~BackupProgress() { EndRunProgress(); }
    void Copied(uint64_t bytes) {
        done_ += bytes;
        ReportRunProgress(what_, done_, total_);
    }

  private:
    std::string what_;
    uint64_t total_ = 0;
    uint64_t done_ = 0;
};

}  // namespace

RunSafety::RunSafety(RunKind kind, ArchiveDbPair* source, ArchiveDbPair* target,
                     const std::string& pidList)
    : kind_(kind), source_(source), target_(target), pidList_(pidList) {}

RunSafety::~RunSafety() {
    EndTransactions();
}

std::vector<ArchiveDbPair*> RunSafety::Databases() const {
    std::vector<ArchiveDbPair*> all;
    for (ArchiveDbPair* db = source_; db; db = db->Next) all.push_back(db);
    for (ArchiveDbPair* db = target_; db; db = db->Next) all.push_back(db);
    return all;
}

std::vector<ArchiveDbPair*> RunSafety::CommitOrder() const {
    std::vector<ArchiveDbPair*> order;
    for (ArchiveDbPair* db = target_; db; db = db->Next) order.push_back(db);
    for (ArchiveDbPair* db = source_; db; db = db->Next) order.push_back(db);
    return order;
}

bool RunSafety::SaveJournal() {
    if (journal_.Save()) return true;
    AppendLog(kJournalError + RunJournal::Path(), ColourRed);
    return false;
}

bool RunSafety::Admit() {
    std::string duplicate;
    if (PidListHasDuplicate(pidList_, &duplicate)) {
        ShowMessage("Der Patient " + duplicate +
                    " ist mehrfach ausgewählt.\nDer Vorgang wird nicht gestartet.");
        return false;
    }
    if (!gate_.AdmitRun(source_, target_)) return false;
    if (kind_ == RunKind::Restore && RefuseArchiveOnlyValues(source_, target_, pidList_)) {
        gate_.Release();
        return false;
    }
    return true;
}

bool RunSafety::Backup() {
    journal_.kind = kind_;
    journal_.stage = RunStage::Backup;
    journal_.pids = pidList_;
    journal_.started = int64_t(std::time(nullptr));
    if (!GetLoginName(journal_.user)) journal_.user.clear();
    if (!GetHostName(journal_.host)) journal_.host.clear();
    for (ArchiveDbPair* db = source_; db; db = db->Next)
        journal_.sourceFiles.push_back(db->File());
    for (ArchiveDbPair* db = target_; db; db = db->Next)
        journal_.targetFiles.push_back(db->File());
    if (!SaveJournal()) return false;
    journalWritten_ = true;
    BackupProgress progress(kind_, Databases());
    const auto copied = [&progress](uint64_t bytes) { progress.Copied(bytes); };
    if (!BackupDatabaseFiles(source_, journal_.backups, copied)) return false;
    if (target_ && !BackupDatabaseFiles(target_, journal_.backups, copied)) return false;
    journal_.stage = RunStage::Running;
    return SaveJournal();
}

bool RunSafety::Begin() {
    for (ArchiveDbPair* db : Databases()) {
        if (!db->Connection.BeginTransaction()) {
            AppendLog("Fehler beim Beginnen der Transaktion in " + db->File() + ": " +
                          db->Connection.GetErrorText(nullptr),
                      ColourRed);
            return false;
        }
        if (KindOfExtension(db->Extension) != DatabaseKind::Access) continue;
        // The first statement of the transaction takes the file for this run
        // alone; from then on nobody else writes to it until the run ends. A
        // write that came between the backup and this point would make the
        // backup older than the file: it may then never be put back.
        const std::vector<std::string> tables = SplitTableList(db->Tables);
        ODBCStmt take(db->Connection);
        const bool taken =
            !tables.empty() &&
            SqlExecuted(take.Execute("select count(*) from " + tables.front() + " where 1=0"));
        if (!taken || !UnchangedSinceBackup(DatabasePath(*db)))
            journal_.stale.push_back(db->File());
    }
    return true;
}

void RunSafety::EndTransactions() {
    for (ArchiveDbPair* db : Databases())
        if (db->Connection.InTransaction()) db->Connection.EndTransaction(false);
}

RunSafety::Outcome RunSafety::Commit(const std::vector<TableCount>& counts) {
    journal_.counts = counts;
    journal_.stage = RunStage::Committing;
    for (ArchiveDbPair* db : CommitOrder()) {
        const std::string file = db->File();
        if (!RecordCommitting(journal_, file)) {
            if (journal_.committed.empty()) {
                // Nothing is committed: the run can still be rolled back whole.
                journal_.stage = RunStage::Running;
                return Outcome::NothingCommitted;
            }
            // The journal on the disk names what has committed so far; the
            // next start finishes the run from there.
            EndTransactions();
            AppendLog(
                "Ohne Journal-Datei wird nichts weiter gespeichert. " +
                    RunsLockedTillThen("Tamaro führt den Vorgang beim nächsten Start zu Ende"),
                ColourRed);
            return Outcome::Interrupted;
        }
        ShortFaultRetry retry(kind_);
        CommitResult result = CommitWithRetry(*db, retry);
        if (result == CommitResult::Lost) {
            // Whether the commit arrived before the connection broke, the
            // database's tables tell.
            if (!Reconnect(*db, retry)) {
                EndTransactions();
                AppendLog(
                    RunsLockedTillThen("Tamaro führt den Vorgang beim nächsten Start zu Ende"),
                    ColourRed);
                return Outcome::Interrupted;
            }
            switch (DatabaseState(journal_, *db, source_, target_)) {
                case DbState::After:
                case DbState::Untouched:
                    result = CommitResult::Committed;
                    break;
                case DbState::Before:
                    result = CommitResult::Refused;
                    break;
                case DbState::Differs:
                case DbState::Unknown:
                    // Neither, or not readable: settled like an interruption.
                    return Forward();
            }
        }
        if (result == CommitResult::Refused) {
            if (journal_.committed.empty()) {
                journal_.committing.clear();
                journal_.stage = RunStage::Running;
                SaveJournal();
                return Outcome::NothingCommitted;
            }
            return Forward();
        }
        journal_.committed.push_back(file);
        journal_.committing.clear();
        RunCheckpoint("commit");
    }
    journal_.stage = RunStage::Committed;
    // Unrecorded, the next start finds every database in its state after
    // the run and only removes the files.
    SaveJournal();
    ReportLateRows(kind_, source_, pidList_, false);
    return Outcome::Committed;
}

RunSafety::Outcome RunSafety::Forward() {
    // What is not committed is discarded and settled from the journal and
    // the tables, as a start after a crash here would do it.
    EndTransactions();
    switch (RunResolution(journal_, source_, target_).Resolve()) {
        case Resolution::Forward:
            break;
        case Resolution::Backward:
            AppendLog("Der Vorgang wurde zurückgenommen: die Patienten sind wieder ganz in " +
                          source_->DisplayName + ".",
                      ColourRed);
            // A restore taken back has taken patients out of Velunda again.
            if (kind_ == RunKind::Restore) AnnounceDeletion(target_);
            if (target_) ReportLateRows(kind_, target_, pidList_, true);
            return Outcome::NothingCommitted;
        case Resolution::NothingCommitted:
            return Outcome::NothingCommitted;
        case Resolution::Stopped:
            journal_.stage = RunStage::Committing;
            SaveJournal();
            AppendLog(
                "Der Vorgang konnte noch nicht zu Ende geführt werden. " + RetriedAtNextStart(),
                ColourRed);
            return Outcome::Interrupted;
        case Resolution::Undecided:
            journal_.stage = RunStage::Undecided;
            SaveJournal();
            AppendLog(UndecidedText(), ColourRed);
            return Outcome::Interrupted;
    }
    journal_.stage = RunStage::Committed;
    SaveJournal();
    ReportLateRows(kind_, source_, pidList_, false);
    return Outcome::Committed;
}

void RunSafety::Finish() {
    // A power cut after the backups are gone must not find pages of the
    // databases still in memory.
    FlushDatabaseFiles(source_);
    FlushDatabaseFiles(target_);
    RemoveRunFiles(journal_);
}

void RunSafety::Discard() {
    EndTransactions();
    // Without a journal no backup of this run can be left (the journal is
    // written before the first one).
    if (!journalWritten_) return;
    journal_.stage = RunStage::Unchanged;
    // Unrecorded, the next start finds a run that committed nothing and
    // removes the same backups.
    SaveJournal();
    RemoveRunFiles(journal_);
}

bool RunSafety::RollBack() {
    // The engines' roll-back is the roll-back. A database whose roll-back
    // failed has lost its connection with it.
    std::vector<ArchiveDbPair*> unsure;
    for (ArchiveDbPair* db : Databases()) {
        bool rolledBack = db->Connection.IsOpen();
        if (db->Connection.InTransaction()) {
            rolledBack = db->Connection.EndTransaction(false);
            if (!rolledBack)
                AppendLog("Fehler beim Zurücksetzen der Transaktion in " + db->File() + ": " +
                              db->Connection.TransactionError(),
                          ColourRed);
        }
        // A database file that someone removed meanwhile cannot be taken for
        // rolled back, whatever its engine said.
        struct stat st {};
        if (rolledBack && ::stat(fspath::ToFileSystem(DatabasePath(*db)).c_str(), &st) == 0)
            continue;
        unsure.push_back(db);
    }
    std::vector<std::string> keep;
    journal_.pending.clear();
    for (ArchiveDbPair* db : unsure) {
        db->Connection.Disconnect();
        // A database that opens again has discarded the run's changes: the
        // engines never let an uncommitted transaction's changes live on
        // (Firebird keeps them invisible for good, the Access kind's engine
        // plays its journal back at the next open).
        // A Firebird server that restarts is waited for; a file that its
        // engine cannot open does not open by waiting.
        ShortFaultRetry retry(kind_);
        if (KindOfExtension(db->Extension) == DatabaseKind::Firebird ? Reconnect(*db, retry)
                                                                     : Connect(*db)) {
            AppendLog("• " + db->File() + ": die Datenbank hat den Vorgang verworfen.");
            continue;
        }
        if (PutBackIfSafe(journal_, db->File())) {
            Connect(*db);
            continue;
        }
        keep.push_back(db->File());
        journal_.pending.push_back(db->File());
    }
    if (!journal_.pending.empty()) {
        journal_.stage = RunStage::Failed;
        SaveJournal();
        RemoveBackups(journal_, keep);
        std::string files;
        for (const std::string& f : journal_.pending)
            files += (files.empty() ? "" : ", ") + DatabaseDir + "/" + f + ".bak";
        AppendLog("Die Datensicherung " + files + " bleibt erhalten. " +
                      RunsLockedUntil("die Datenbank wieder geöffnet werden kann (Tamaro prüft "
                                      "es bei jedem Start) oder ein Administrator sie aus der "
                                      "Datensicherung zurückgelegt und die Journal-Datei " +
                                      RunJournal::Path() + " entfernt hat"),
                  ColourRed);
        return false;
    }
    journal_.stage = RunStage::RolledBack;
    SaveJournal();
    RemoveRunFiles(journal_, keep);
    return true;
}
