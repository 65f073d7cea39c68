// The diagnostic records of one handle: filled by the failing call, served as
// records 1..n by SQLGetDiagRec/SQLGetDiagField and handed out one at a time
// by SQLError. Every entry point clears the list before it does its work.
// Another thread may read them while a call works on the handle, or be
// refused because one does (HY010): the list has a lock of its own, and a
// refusal is kept for the thread that was refused, which reads it instead
// of the working call's records until its next call on the handle.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace odbcdrv {

struct DiagRecord {
    std::string sqlstate;
    std::string message;
    SQLINTEGER native = 0;
};

class Diagnostics {
  public:
    // Clears the records for the calling thread's new call.
    void Clear();
    // Adds a record; an empty message takes the standard text of the state.
    void Add(const std::string& sqlstate, const std::string& message = {}, SQLINTEGER native = 0);
    // The refusal of the calling thread's call, which met another's at work.
    void Refuse(const std::string& sqlstate, const std::string& message);
    size_t Count() const;
    // Record n (1-based); false when there is none.
    bool Get(size_t n, DiagRecord& out) const;
    // The next record SQLError has not handed out yet; false when none is left.
    bool NextForSQLError(DiagRecord& out);
    // What the handle's last call returned (SQL_DIAG_RETURNCODE).
    void SetReturn(SQLRETURN rc);
    SQLRETURN LastReturn() const;

  private:
    struct Refusal {
        std::thread::id thread;
        DiagRecord record;
        bool handedOut = false;
    };
    // The calling thread's refusal, or null; with the lock held.
    const Refusal* Mine() const;

    mutable std::mutex lock_;
    std::vector<DiagRecord> records_;
    size_t handedOut_ = 0;
    SQLRETURN lastReturn_ = SQL_SUCCESS;
    std::vector<Refusal> refusals_;
};

}  // namespace odbcdrv
