#include "archive/RunSafety.h"

#include <sys/stat.h>

#include <ctime>
#include <vector>

#include "archive/DatabaseBackup.h"
#include "archive/OtherAttachments.h"
#include "archive/PidList.h"
#include "archive/RunCheckpoint.h"
#include "archive/RunForward.h"
#include "core/FsPath.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RunProgress.h"
#include "core/WindowServices.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseKind.h"
#include "platform/DurableFile.h"
#include "platform/UserAndHost.h"

namespace {

std::string FileOf(const ArchiveDbPair& db) {
    return db.FileName + db.Extension;
}

const char* kLockedUntilRecovered =
    "Weitere Vorgänge sind gesperrt, bis die Datenbanken wiederhergestellt sind; Tamaro "
    "versucht es beim nächsten Start erneut.";

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
    return gate_.AdmitRun(source_, target_);
}

bool RunSafety::Backup() {
    journal_.kind = kind_;
    journal_.stage = RunStage::Backup;
    journal_.pids = pidList_;
    journal_.started = int64_t(std::time(nullptr));
    if (!GetLoginName(journal_.user)) journal_.user.clear();
    if (!GetHostName(journal_.host)) journal_.host.clear();
    for (ArchiveDbPair* db = source_; db; db = db->Next)
        journal_.sourceFiles.push_back(FileOf(*db));
    for (ArchiveDbPair* db = target_; db; db = db->Next)
        journal_.targetFiles.push_back(FileOf(*db));
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
            AppendLog("Fehler beim Beginnen der Transaktion in " + FileOf(*db) + ": " +
                          db->Connection.GetErrorText(nullptr),
                      ColourRed);
            return false;
        }
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
    if (!SaveJournal()) {
        journal_.stage = RunStage::Running;
        return Outcome::NothingCommitted;
    }
    bool broken = false;
    for (ArchiveDbPair* db : CommitOrder()) {
        if (!db->Connection.EndTransaction(true)) {
            AppendLog("Fehler beim Speichern der Änderungen in " + FileOf(*db) + ": " +
                          db->Connection.TransactionError(),
                      ColourRed);
            if (journal_.committed.empty()) {
                // Nothing is committed: the run can still be rolled back whole.
                journal_.stage = RunStage::Running;
                SaveJournal();
                return Outcome::NothingCommitted;
            }
            broken = true;
            break;
        }
        journal_.committed.push_back(FileOf(*db));
        // Unrecorded, the commit would be taken for undone by the next start.
        SaveJournal();
        RunCheckpoint("commit");
    }
    if (broken) {
        // What is not committed is discarded and done again in transactions
        // of its own, as a start after a crash here would do it.
        EndTransactions();
        for (ArchiveDbPair* db : Databases())
            if (!db->Connection.IsOpen()) Connect(*db);
        AppendLog("• Der Vorgang wird zu Ende geführt...");
        if (!FinishForward(journal_, source_, target_)) {
            journal_.stage = RunStage::Undecided;
            SaveJournal();
            AppendLog(
                "Der Vorgang konnte nicht zu Ende geführt werden; Tamaro ändert nichts mehr "
                "daran. Weitere Vorgänge sind gesperrt, bis ein Administrator den "
                "Datenbestand geprüft und die Journal-Datei " +
                    RunJournal::Path() + " entfernt hat.",
                ColourRed);
            return Outcome::Interrupted;
        }
    }
    journal_.stage = RunStage::Committed;
    SaveJournal();
    return Outcome::Committed;
}

void RunSafety::RemoveBackups(const std::vector<std::string>& keep) {
    for (ArchiveDbPair* db : Databases()) {
        bool kept = false;
        for (const std::string& k : keep) kept = kept || k == FileOf(*db);
        if (!kept) std::remove(fspath::ToFileSystem(BackupPath(*db)).c_str());
        RunCheckpoint("removal");
    }
    // The backups are gone for good before the journal that names them.
    SyncFolder(DatabaseDir);
    RunJournal::Remove();
}

void RunSafety::Finish() {
    // A power cut after the backups are gone must not find pages of the
    // databases still in memory.
    FlushDatabaseFiles(source_);
    FlushDatabaseFiles(target_);
    RemoveBackups();
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
    RemoveBackups();
}

bool RunSafety::RollBack() {
    struct State {
        ArchiveDbPair* db;
        bool undone;  // the engine rolled the run's transaction back
        bool held;    // another connection uses the database
    };
    std::vector<State> states;
    for (ArchiveDbPair* db : Databases()) {
        bool undone = true;
        if (db->Connection.InTransaction() && !db->Connection.EndTransaction(false)) {
            undone = false;
            AppendLog("Fehler beim Zurücksetzen der Transaktion in " + FileOf(*db) + ": " +
                          db->Connection.TransactionError(),
                      ColourRed);
        }
        states.push_back({db, undone, undone && UsedByOthers(*db)});
    }
    for (ArchiveDbPair* db : Databases()) db->Connection.Disconnect();

    std::vector<std::string> keep;
    journal_.pending.clear();
    for (const State& s : states) {
        const std::string file = FileOf(*s.db);
        if (s.held) {
            AppendLog("• " + file +
                      " wird von einer anderen Verbindung benutzt; die Datenbank bleibt, wie "
                      "das Zurücksetzen der Transaktion sie hinterlassen hat.");
            continue;
        }
        const BackupRecord* record = journal_.BackupOf(file);
        const PutBack result =
            record ? PutBackFile(DatabasePath(*s.db), *record) : PutBack::Missing;
        if (result == PutBack::Done || result == PutBack::AlreadyBack) continue;
        if (result == PutBack::Damaged) keep.push_back(file);
        if (s.undone) {
            AppendLog("• " + file +
                      " bleibt, wie das Zurücksetzen der Transaktion sie hinterlassen hat.");
        } else {
            keep.push_back(file);
            journal_.pending.push_back(file);
        }
    }
    for (ArchiveDbPair* db : Databases()) Connect(*db);
    if (!journal_.pending.empty()) {
        journal_.stage = RunStage::Failed;
        SaveJournal();
        AppendLog(kLockedUntilRecovered, ColourRed);
        return false;
    }
    journal_.stage = RunStage::RolledBack;
    SaveJournal();
    RemoveBackups(keep);
    return true;
}
