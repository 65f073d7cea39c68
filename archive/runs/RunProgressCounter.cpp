#include "archive/runs/RunProgressCounter.h"

#include <algorithm>

#include "archive/rows/PidList.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "core/RunProgress.h"
#include "db/ArchiveDbPair.h"
#include "platform/StopSignals.h"

namespace {

// The whole in units of the display; the reading and the deletion are half
// of it each.
constexpr uint64_t kWhole = 1000000;
constexpr uint64_t kHalf = kWhole / 2;

}  // namespace

bool StopRequestedDuringRun() {
    static bool said = false;
    if (!stopsignals::Requested()) return false;
    if (!said) {
        said = true;
        AppendLog("\r\nTamaro soll beendet werden: der Vorgang wird abgebrochen.", ColourRed);
    }
    return true;
}

void RunProgressCounter::Start(ArchiveDbPair* list) {
    tables_ = 0;
    for (ArchiveDbPair* db = list; db; db = db->Next) tables_ += SplitTableList(db->Tables).size();
    active_ = true;
    reported_ = 0;
    ReportRunProgress(what_, 0, kWhole);
}

bool RunProgressCounter::RowRead() {
    ++rowsInTable_;
    Report(false);
    return CheckStop(1);
}

void RunProgressCounter::TableRead(int64_t rows) {
    ++tablesRead_;
    rowsRead_ += rows > 0 ? uint64_t(rows) : 0;
    rowsInTable_ = 0;
    Report(true);
}

bool RunProgressCounter::Deleted(int64_t rows) {
    ++tablesDeleted_;
    rowsDeleted_ += rows > 0 ? uint64_t(rows) : 0;
    Report(true);
    return CheckStop(rows > 0 ? uint64_t(rows) : 1);
}

void RunProgressCounter::Report(bool always) {
    if (!active_) return;
    double done = 0;
    if (tablesRead_ >= tables_) {
        // Every row and every table deleted counts the same, so that the
        // last table's deletion, even one of no rows, makes the whole.
        const double units = double(rowsRead_ + tables_);
        done = kHalf +
               (units > 0 ? kHalf * std::min(1.0, (rowsDeleted_ + tablesDeleted_) / units) : kHalf);
    } else {
        // Within a table the share moves towards the table's end as rows
        // come, half-way there after as many rows as a table read so far
        // held on average: it never reaches the end before the table does.
        const double average =
            tablesRead_ > 0 ? std::max(1.0, double(rowsRead_) / double(tablesRead_)) : 1.0;
        const double within = double(rowsInTable_) / (double(rowsInTable_) + average);
        done = kHalf * (double(tablesRead_) + within) / double(tables_);
    }
    const uint64_t units = std::min(kWhole, uint64_t(done));
    if (units < reported_) return;
    if (!always && units - reported_ < kWhole / 1000) return;
    reported_ = units;
    ReportRunProgress(what_, units, kWhole);
}

bool RunProgressCounter::CheckStop(uint64_t rows) {
    // A look for a stop request every few rows keeps it cheap on runs of
    // millions of rows.
    sinceCheck_ += rows;
    if (sinceCheck_ < 64) return true;
    sinceCheck_ = 0;
    return !StopRequestedDuringRun();
}

void RunProgressCounter::End() {
    if (!active_) return;
    active_ = false;
    EndRunProgress();
}
