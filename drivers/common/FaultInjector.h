// Test hook shared by both drivers, so that roll-back paths can be driven
// against the real engines:
//   TAMARO_ODBC_FAIL_AFTER=N   the (N+1)-th statement execution of the process
//                              fails once with SQLSTATE HY000 and the message
//                              "Injected fault (TAMARO_ODBC_FAIL_AFTER)";
//   TAMARO_ODBC_FAIL_MATCH=t   only executions whose SQL text contains t
//                              (without regard to case) are counted.
// Both variables are read at each execution; changing either starts the
// count afresh. Without them nothing happens.
#pragma once

#include <string>

namespace odbcdrv {

class FaultInjector {
  public:
    // Counts the execution of `sql`; true when this one is to fail.
    static bool ShouldFail(const std::string& sql);
    static const char* Message() { return "Injected fault (TAMARO_ODBC_FAIL_AFTER)"; }
};

}  // namespace odbcdrv
