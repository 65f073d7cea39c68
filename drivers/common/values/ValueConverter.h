// Delivers one result value into an application buffer of the C type it asks
// for (SQLGetData). Text and binary values can be read in pieces: the caller
// keeps a GetDataState per column between calls.
#pragma once

#include "drivers/common/base/Backend.h"
#include "drivers/common/base/Diagnostics.h"
#include "drivers/common/values/ClientCharset.h"

namespace odbcdrv {

struct GetDataState {
    size_t offset = 0;  // bytes already delivered of a text or binary value
    bool done = false;  // a text or binary value was delivered completely
    // The value converted for the C type of the first piece, kept for the
    // following pieces, so that reading in pieces costs once the value.
    SQLSMALLINT convertedFor = 0;
    std::string converted;
};

class ValueConverter {
  public:
    // Text delivered as SQL_C_CHAR is in `charset`, the application's. With
    // `maxLength` (SQL_ATTR_MAX_LENGTH) a character or binary column gives
    // at most that many bytes, without a truncation warning.
    static SQLRETURN Deliver(const Value& v, const ColumnInfo& col, SQLSMALLINT cType,
                             SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator,
                             GetDataState& state, Diagnostics& diag,
                             const ClientCharset& charset = ClientCharset(), SQLULEN maxLength = 0);
    // The value as text: numbers in plain notation, dates as yyyy-mm-dd,
    // times as hh:mm:ss, binary as hexadecimal digits.
    static std::string ToText(const Value& v, const ColumnInfo& col);

    // Readings of text, shared with the parameters: a whole number, a number
    // (blanks around and a leading "+" allowed), and "yyyy-mm-dd",
    // "hh:mm:ss[.f]" or both.
    static bool ParseInteger(const std::string& s, int64_t& out);
    static bool ParseNumber(const std::string& s, double& out);
    static bool ParseDatetime(const std::string& s, SQL_TIMESTAMP_STRUCT& ts, bool& hasDate,
                              bool& hasTime);
    // The shortest text that reads back as the same double (or float).
    static std::string FormatDouble(double d, bool single);
};

}  // namespace odbcdrv
