#include "archive/rows/BinaryValues.h"

#include <algorithm>

#include "db/OdbcResult.h"
#include "db/ValueBuffer.h"

bool ReadColumnBytes(SQLHSTMT stmt, SQLUSMALLINT n, std::string& bytes, SQLLEN& indicator) {
    bytes.clear();
    SQLLEN part = 0;
    SQLRETURN rc = SQLGetData(stmt, n, SQL_C_BINARY, ValueBuffer, ValueBufferSize, &part);
    if (!SqlSucceeded(rc)) return false;
    indicator = part;
    if (part == SQL_NULL_DATA) return true;
    for (;;) {
        // A part that fills the buffer says so by a length beyond it (or no
        // length at all); the last part gives its own length.
        const bool full = part == SQL_NO_TOTAL || part > SQLLEN(ValueBufferSize);
        bytes.append(ValueBuffer, full ? ValueBufferSize : size_t(std::max<SQLLEN>(part, 0)));
        if (rc == SQL_SUCCESS || !full) break;
        rc = SQLGetData(stmt, n, SQL_C_BINARY, ValueBuffer, ValueBufferSize, &part);
        if (rc == SQL_NO_DATA) break;
        if (!SqlSucceeded(rc)) return false;
    }
    indicator = SQLLEN(bytes.size());
    return true;
}

bool BinaryValues::Bind(SQLHSTMT stmt) {
    lengths_.assign(values_.size(), 0);
    for (size_t i = 0; i < values_.size(); ++i) {
        std::string& v = values_[i];
        lengths_[i] = SQLLEN(v.size());
        const SQLRETURN rc = SQLBindParameter(
            stmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
            std::max<SQLULEN>(v.size(), 1), 0, v.data(), SQLLEN(v.size()), &lengths_[i]);
        if (!SqlSucceeded(rc)) return false;
    }
    return true;
}

void BinaryValues::Clear() {
    values_.clear();
    lengths_.clear();
}
