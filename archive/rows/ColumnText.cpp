#include "archive/rows/ColumnText.h"

#include <cstring>

#include "db/OdbcResult.h"
#include "db/ValueBuffer.h"

bool ReadColumnText(SQLHSTMT stmt, SQLUSMALLINT n, std::string& text, SQLLEN& indicator) {
    text.clear();
    ValueBuffer[0] = 0;
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(stmt, n, SQL_C_CHAR, ValueBuffer, ValueBufferSize, &ind);
    if (!SqlSucceeded(rc)) return false;
    indicator = ind;
    if (ind == SQL_NULL_DATA) return true;
    size_t part = strnlen(ValueBuffer, ValueBufferSize);
    text.assign(ValueBuffer, part);
    // A full buffer with the warning means the value goes on; the text ends
    // at its first NUL byte, so nothing after one is read.
    while (rc == SQL_SUCCESS_WITH_INFO && part == ValueBufferSize - 1 &&
           (ind == SQL_NO_TOTAL || ind >= SQLLEN(ValueBufferSize))) {
        ValueBuffer[0] = 0;
        rc = SQLGetData(stmt, n, SQL_C_CHAR, ValueBuffer, ValueBufferSize, &ind);
        if (rc == SQL_NO_DATA) break;
        if (!SqlSucceeded(rc)) return false;
        part = strnlen(ValueBuffer, ValueBufferSize);
        text.append(ValueBuffer, part);
    }
    return true;
}
