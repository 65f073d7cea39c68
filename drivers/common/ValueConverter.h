// Delivers one result value into an application buffer of the C type it asks
// for (SQLGetData). Text and binary values can be read in pieces: the caller
// keeps a GetDataState per column between calls.
#pragma once

#include "common/Backend.h"
#include "common/Diagnostics.h"

namespace odbcdrv {

struct GetDataState {
    size_t offset = 0;  // bytes already delivered of a text or binary value
    bool done = false;  // a text or binary value was delivered completely
};

class ValueConverter {
  public:
    static SQLRETURN Deliver(const Value& v, const ColumnInfo& col, SQLSMALLINT cType,
                             SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator,
                             GetDataState& state, Diagnostics& diag);
    // The value as text: numbers in plain notation, dates as yyyy-mm-dd,
    // times as hh:mm:ss, binary as hexadecimal digits.
    static std::string ToText(const Value& v, const ColumnInfo& col);
};

}  // namespace odbcdrv
