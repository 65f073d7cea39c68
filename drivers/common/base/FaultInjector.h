// Test hook shared by both drivers, so that roll-back paths can be driven
// against the real engines:
//   TAMARO_ODBC_FAIL_AFTER=N   the (N+1)-th statement execution of the process
//                              fails once with SQLSTATE HY000 and the message
//                              "Injected fault (TAMARO_ODBC_FAIL_AFTER)";
//   TAMARO_ODBC_FAIL_MATCH=t   only executions whose SQL text contains t
//                              (without regard to case) are counted.
// Both variables are read at each execution; changing either starts the
// count afresh.
//   TAMARO_ODBC_FAIL_STATE=s   the injected fault has SQLSTATE s instead of
//                              HY000 (08S01 a lost connection, HYT00 a busy
//                              file).
// The end of a manual transaction (SQLEndTran) counts as an execution of
// the text "COMMIT" or "ROLLBACK", but only while TAMARO_ODBC_FAIL_MATCH
// names it; a commit that fails is left open, unless
//   TAMARO_ODBC_FAIL_LATE=1    the commit is done first and its success then
//                              reported as the fault (a connection that broke
//                              after the engine had committed).
//   TAMARO_ODBC_FAIL_CATALOG=t[:n]  the column catalog (SQLColumns) of table
//                              t (without regard to case) fails with the
//                              message "Injected fault
//                              (TAMARO_ODBC_FAIL_CATALOG)": at the call, or,
//                              with n, at the fetch after its n-th row.
// Without them nothing happens.
#pragma once

#include <string>

namespace odbcdrv {

class FaultInjector {
  public:
    // Counts the execution of `sql`; true when this one is to fail.
    static bool ShouldFail(const std::string& sql);
    // Counts the end of a transaction ("COMMIT" or "ROLLBACK") when the
    // match names it; true when it is to fail.
    static bool EndShouldFail(const char* end);
    static bool Late();
    static const char* Message() { return "Injected fault (TAMARO_ODBC_FAIL_AFTER)"; }
    static const char* State();
    // Whether the column catalog of `table` is to fail; *rowsBefore receives
    // the rows it delivers first, -1 when the call itself fails.
    static bool CatalogFails(const std::string& table, long long* rowsBefore);
    static const char* CatalogMessage() { return "Injected fault (TAMARO_ODBC_FAIL_CATALOG)"; }
};

}  // namespace odbcdrv
