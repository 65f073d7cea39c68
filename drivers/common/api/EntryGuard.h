// What every exported entry point does around its work: take a lease on the
// handle from the registry (SQL_INVALID_HANDLE for a null, foreign or freed
// one), wait for its turn (the calls on one connection and its statements
// take turns), clear its diagnostics, and run the handle's own operation
// inside a try block that turns every exception into a diagnostic record, so
// that none crosses the entry point.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <new>
#include <string>
#include <utility>

#include "drivers/common/base/Backend.h"
#include "drivers/common/base/SqlStates.h"
#include "drivers/common/handles/DbcHandle.h"
#include "drivers/common/handles/HandleRegistry.h"
#include "drivers/common/handles/StmtHandle.h"

namespace odbcdrv {

// What a call does when another thread's call has the turn: wait for it, or
// (a call that would end what the other works on) refuse at once.
enum class WhenBusy { Wait, Refuse };

inline constexpr const char* kInUse =
    "Function sequence error: another thread is at work on the handle.";

template <class H, class F>
SQLRETURN Guard(SQLHANDLE handle, SQLSMALLINT type, F&& f, WhenBusy busy = WhenBusy::Wait) {
    const HandleRegistry::Lease lease = HandleRegistry::Use(handle, type);
    if (!lease) return SQL_INVALID_HANDLE;
    H* h = static_cast<H*>(lease.get());
    std::unique_lock<std::mutex> turn(h->Turn(), std::defer_lock);
    if (busy == WhenBusy::Wait) {
        turn.lock();
    } else if (!turn.try_lock()) {
        h->diag.Refuse(state::kSequenceError, kInUse);
        return SQL_ERROR;
    }
    h->diag.Clear();
    SQLRETURN rc;
    try {
        h->Enter();
        rc = f(*h);
    } catch (const DriverError& e) {
        h->diag.Add(e.sqlstate.size() == 5 ? e.sqlstate : state::kGeneralError, e.message,
                    e.native);
        rc = SQL_ERROR;
    } catch (const std::bad_alloc&) {
        h->diag.Add(state::kMemory);
        rc = SQL_ERROR;
    } catch (const std::exception& e) {
        h->diag.Add(state::kGeneralError, e.what());
        rc = SQL_ERROR;
    } catch (...) {
        h->diag.Add(state::kGeneralError);
        rc = SQL_ERROR;
    }
    try {
        h->Leave(rc);
    } catch (...) {
    }
    h->diag.SetReturn(rc);
    return rc;
}

template <class F>
SQLRETURN Stmt(SQLHSTMT h, F&& f) {
    return Guard<StmtHandle>(h, SQL_HANDLE_STMT, std::forward<F>(f));
}

template <class F>
SQLRETURN Dbc(SQLHDBC h, F&& f) {
    return Guard<DbcHandle>(h, SQL_HANDLE_DBC, std::forward<F>(f));
}

// A narrow text argument of the given length (or SQL_NTS).
inline std::string Text(const SQLCHAR* s, SQLINTEGER length) {
    if (!s) return {};
    if (length == SQL_NTS) return reinterpret_cast<const char*>(s);
    if (length < 0) return {};
    return std::string(reinterpret_cast<const char*>(s), static_cast<size_t>(length));
}

// A narrow text argument in the application's character set (ClientCharset.h),
// as code page 1252. Throws DriverError 22021 for text code page 1252 cannot
// hold.
inline std::string Narrow(const Handle& h, const SQLCHAR* s, SQLINTEGER length) {
    std::string text = Text(s, length);
    if (h.Charset().Utf8()) text = h.Charset().FromClient(text);
    return text;
}

// An optional narrow argument: null stays null (no pattern, no name).
struct OptionalNarrow {
    OptionalNarrow(const Handle& h, const SQLCHAR* s, SQLINTEGER length) : present(s != nullptr) {
        if (present) text = Narrow(h, s, length);
    }
    const std::string* get() const { return present ? &text : nullptr; }
    bool present;
    std::string text;
};

}  // namespace odbcdrv
