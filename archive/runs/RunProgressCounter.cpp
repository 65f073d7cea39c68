#include "archive/runs/RunProgressCounter.h"

#include "archive/rows/PatientRows.h"
#include "archive/rows/PidList.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RunProgress.h"
#include "db/ArchiveDbPair.h"
#include "platform/StopSignals.h"

bool StopRequestedDuringRun() {
    static bool said = false;
    if (!stopsignals::Requested()) return false;
    if (!said) {
        said = true;
        AppendLog("\r\nTamaro soll beendet werden: der Vorgang wird abgebrochen.", ColourRed);
    }
    return true;
}

bool RunProgressCounter::CountRows(ArchiveDbPair* list, const std::vector<std::string>& pidParts,
                                   int passes) {
    uint64_t rows = 0;
    for (ArchiveDbPair* db = list; db; db = db->Next) {
        for (const std::string& table : SplitTableList(db->Tables)) {
            int64_t n = 0;
            if (!CountPatientRows(*db, table, pidParts, n)) {
                rows = 0;
                break;
            }
            rows += uint64_t(n);
        }
    }
    total_ = rows * uint64_t(passes);
    active_ = true;
    ReportRunProgress(what_, 0, total_);
    return true;
}

bool RunProgressCounter::Step(int64_t rows) {
    if (rows > 0) done_ += uint64_t(rows);
    // A report per thousandth of the whole, and a look for a stop request
    // every few rows, keep both cheap on runs of millions of rows.
    const uint64_t grain = total_ / 1000 + 1;
    if (done_ - reported_ >= grain || done_ >= total_) {
        reported_ = done_;
        ReportRunProgress(what_, done_, total_);
    }
    sinceCheck_ += rows > 0 ? uint64_t(rows) : 1;
    if (sinceCheck_ < 64) return true;
    sinceCheck_ = 0;
    return !StopRequestedDuringRun();
}

void RunProgressCounter::End() {
    if (!active_) return;
    active_ = false;
    EndRunProgress();
}
