// The one rule by which every caller judges the result of an ODBC execution.
#pragma once

#include <sql.h>
#include <sqlext.h>

// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO and SQL_NO_DATA count as executed.
// SQL_INVALID_HANDLE shows the message box "Invalid Handle" at once and is a
// failure; everything else is a failure.
bool SqlExecuted(SQLRETURN rc);

// Fetching, reading and allocating: only SQL_SUCCESS and SQL_SUCCESS_WITH_INFO.
inline bool SqlSucceeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// The message box of SQL_INVALID_HANDLE, for callers that classify themselves.
void ShowInvalidHandle();
