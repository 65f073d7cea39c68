// Turns an application's parameter value, given in a C type, into a Value of
// the SQL type the application declared for the marker (SQLBindParameter),
// following ODBC's rules for converting C data to SQL data.
#pragma once

#include "drivers/common/base/Backend.h"
#include "drivers/common/values/ClientCharset.h"

namespace odbcdrv {

class ParamConverter {
  public:
    // `data` holds the value; `length` is its length in bytes for the
    // character and binary C types (for SQL_C_CHAR in `charset`, the
    // application's character set) and is ignored for the others. Throws
    // DriverError: 22018 for text that is no number of the type, 22003 for a
    // number out of the type's range, 22007/22008 for bad dates, 22021 for
    // characters code page 1252 lacks, 07006 for conversions ODBC does not
    // define.
    static Value Convert(SQLSMALLINT cType, SQLSMALLINT sqlType, const void* data, SQLLEN length,
                         const ClientCharset& charset);
    // Bytes of one value of a fixed-size C type; 0 for the character and
    // binary types, whose values have lengths of their own; -1 for a C type
    // the driver does not take.
    static SQLLEN FixedSize(SQLSMALLINT cType);
    // True for the character and binary C types.
    static bool IsVariable(SQLSMALLINT cType) { return FixedSize(cType) == 0; }
};

}  // namespace odbcdrv
