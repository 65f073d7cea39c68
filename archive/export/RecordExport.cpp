#include "archive/export/RecordExport.h"

#include "archive/export/ExportAdmission.h"
#include "archive/export/PatientRecordReader.h"
#include "archive/export/RecordFolderName.h"
#include "archive/export/RecordFolderWriter.h"
#include "archive/runs/RunProgressCounter.h"
#include "archive/safety/RunGate.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RunProgress.h"
#include "core/WindowServices.h"
#include "db/DatabaseSet.h"
#include "platform/DurableFile.h"
#include "platform/PrivateFolder.h"
#include "platform/SystemError.h"
#include "users/AuditLog.h"

namespace {

const char* kNothingExported = "Es wird nichts exportiert.";

std::string Quoted(const std::string& path) {
    return "„" + path + "“";
}

// A target that is new (its parent a folder) or an empty folder; otherwise
// a message box says why not.
bool AdmitTarget(const std::string& target, bool& exists) {
    if (target.empty()) {
        ShowWarning(std::string("Es ist kein Zielordner angegeben.\n") + kNothingExported);
        return false;
    }
    int error = 0;
    switch (privatefolder::Inspect(target, error)) {
        case privatefolder::State::Empty:
            exists = true;
            return true;
        case privatefolder::State::NotEmpty:
            ShowWarning("Der Zielordner " + Quoted(target) +
                        " ist nicht leer.\nTamaro exportiert nur in einen neuen oder leeren "
                        "Ordner und überschreibt nichts. " +
                        kNothingExported);
            return false;
        case privatefolder::State::NotAFolder:
            ShowWarning(Quoted(target) + " ist kein Ordner. " + kNothingExported);
            return false;
        case privatefolder::State::Unreadable:
            ShowWarning("Der Zielordner " + Quoted(target) + " kann nicht gelesen werden (" +
                        SystemErrorText(error) + "). " + kNothingExported);
            return false;
        case privatefolder::State::Missing:
            break;
    }
    exists = false;
    const std::string parent = FolderOf(target);
    const privatefolder::State state = privatefolder::Inspect(parent, error);
    if (state == privatefolder::State::Empty || state == privatefolder::State::NotEmpty)
        return true;
    ShowWarning(
        "Der Zielordner " + Quoted(target) + " kann nicht angelegt werden: " + Quoted(parent) +
        (state == privatefolder::State::Missing ? " ist nicht vorhanden." : " ist kein Ordner.") +
        " " + kNothingExported);
    return false;
}

class ExportRun {
  public:
    ExportRun(DatabaseSet& set, const std::string& target, const ExportContext& context,
              ExportReport& report)
        : source_(set.SourceList), target_(target), context_(context), report_(report) {}

    bool Run(const std::vector<int32_t>& pids, bool targetExists);

  private:
    bool Fail(const std::string& what);
    bool ExportOne(PatientRecordReader& reader, int32_t pid);
    bool MoveIntoPlace();

    ArchiveDbPair* source_;
    std::string target_;
    const ExportContext& context_;
    ExportReport& report_;
    bool createdTarget_ = false;
    bool lineOpen_ = false;  // a patient's line waits for its end
    std::string staging_;
    std::vector<std::string> names_;   // each patient's folder name in staging_
    std::vector<std::string> placed_;  // folders already moved into target_
};

bool ExportRun::Fail(const std::string& what) {
    AppendLog((lineOpen_ ? "\r\n" : "") + what, ColourRed);
    lineOpen_ = false;
    bool removed = true;
    for (const std::string& folder : placed_)
        removed = privatefolder::RemoveTree(folder) && removed;
    if (!staging_.empty()) removed = privatefolder::RemoveTree(staging_) && removed;
    // The folder the export made goes too, unless someone put something in it.
    if (createdTarget_) removed = privatefolder::RemoveIfEmpty(target_) && removed;
    SyncFolder(createdTarget_ ? FolderOf(target_) : target_);
    report_.records.clear();
    if (removed)
        AppendLog("Der Export wurde abgebrochen; was er schon geschrieben hatte, ist entfernt.",
                  ColourRed);
    else
        AppendLog(
            "Der Export wurde abgebrochen; nicht alles, was er geschrieben hatte, konnte "
            "entfernt werden. Bitte löschen Sie den Ordner " +
                Quoted(createdTarget_ ? target_ : staging_) + ".",
            ColourRed);
    return false;
}

bool ExportRun::ExportOne(PatientRecordReader& reader, int32_t pid) {
    PatientRecord record;
    std::string error;
    AppendLog("• Patient " + std::to_string(pid) + "...", 0, LogNoLineEnd);
    lineOpen_ = true;
    if (!reader.Read(pid, record, error))
        return Fail("Fehler beim Lesen der Patientenakte " + std::to_string(pid) + ": " + error);
    const std::string name = RecordFolderName(pid, record.Master("Name"), record.Master("Vorname"));
    RecordFolderWriter writer(staging_ + "/" + name);
    if (!writer.Write(record, context_, error))
        return Fail("Fehler beim Schreiben der Patientenakte " + std::to_string(pid) + ": " +
                    error);
    names_.push_back(name);
    report_.records.push_back(
        {pid, target_ + "/" + name, record.Rows(), writer.Files().size() + 1});
    AppendLog(" " + name + " (" + std::to_string(record.Rows()) + " Einträge, " +
                  std::to_string(writer.Files().size() + 1) + " Dateien)",
              ColourCount);
    lineOpen_ = false;
    return true;
}

bool ExportRun::MoveIntoPlace() {
    // Every file and folder entry on the disk before any record gets its
    // name: not even a power cut leaves a named record without its files.
    int synced = 0;
    if (!privatefolder::SyncAll(staging_, synced))
        return Fail("Fehler beim Export: " + staging_ + ": " + SystemErrorText(synced));
    for (const std::string& name : names_) {
        int error = 0;
        const std::string to = target_ + "/" + name;
        if (!privatefolder::MoveNoReplace(staging_ + "/" + name, to, error))
            return Fail("Fehler beim Export: " + to + ": " + SystemErrorText(error));
        placed_.push_back(to);
    }
    // Every record is in place and complete: what follows cannot undo that.
    if (!privatefolder::RemoveTree(staging_))
        AppendLog("Der leere Ordner " + Quoted(staging_) + " konnte nicht entfernt werden.",
                  ColourRed);
    staging_.clear();
    SyncFolder(target_);
    if (createdTarget_) SyncFolder(FolderOf(target_));
    return true;
}

bool ExportRun::Run(const std::vector<int32_t>& pids, bool targetExists) {
    int error = 0;
    if (!targetExists) {
        if (!privatefolder::Make(target_, error))
            return Fail("Fehler beim Export: " + target_ + ": " + SystemErrorText(error));
        createdTarget_ = true;
    }
    if (!privatefolder::MakeUnique(target_, ".tamaro-export-", staging_, error)) {
        staging_.clear();
        return Fail("Fehler beim Export: " + target_ + ": " + SystemErrorText(error));
    }
    PatientRecordReader reader(source_);
    for (size_t i = 0; i < pids.size(); ++i) {
        if (StopRequestedDuringRun()) return Fail("Der Export wurde nicht beendet.");
        ReportRunProgress("Exportieren", i, pids.size());
        if (!ExportOne(reader, pids[i])) return false;
    }
    ReportRunProgress("Exportieren", pids.size(), pids.size());
    return MoveIntoPlace();
}

}  // namespace

std::string ExportAuditText(int32_t pid, const std::string& side) {
    return "Patientenakte exportiert (Patient " + std::to_string(pid) + ", " + side + ").";
}

bool ExportRecords(DatabaseSet& set, const std::vector<int32_t>& pids, const std::string& given,
                   const ExportContext& context, ExportReport& report) {
    report = ExportReport();
    // "/media/usb/akte/" names the folder "akte" (whose parent is "usb").
    std::string target = given;
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    bool targetExists = false;
    if (!AdmitTarget(target, targetExists)) return false;
    // Held while reading: no run moves a patient halfway through.
    RunGate gate;
    if (!gate.AdmitReader()) return false;
    if (!AdmitExport(set.SourceList, set.TargetList, pids)) return false;
    report.started = true;

    const uint64_t start = TickCount();
    WaitCursor cursor;
    const std::string side = set.SourceList->DisplayName;
    AppendLog("Patientenakten exportieren aus " + side + " nach " + target + " (" +
                  std::to_string(pids.size()) + (pids.size() == 1 ? " Patient" : " Patienten") +
                  ")...",
              ColourBlue);
    const bool ok = ExportRun(set, target, context, report).Run(pids, targetExists);
    EndRunProgress();
    if (ok) {
        for (const ExportedRecord& r : report.records)
            WriteAuditEntry(2, ExportAuditText(r.pid, side));
        const size_t n = report.records.size();
        AppendLog("Gesamt: " + std::to_string(n) + (n == 1 ? " Patientenakte" : " Patientenakten") +
                      " exportiert nach " + target + ".",
                  ColourCount);
    }
    LogReady(start);
    return ok;
}
