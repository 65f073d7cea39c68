// ODBC's escape sequences in SQL text: date, time and timestamp literals
// ({d '...'}, {t '...'}, {ts '...'}), scalar functions ({fn ...}), outer
// joins ({oj ...}), the LIKE escape character ({escape '...'}) and procedure
// calls ({call ...}), in the short form and in the long one
// (--(*vendor(Microsoft),product(ODBC) ... *)--), turned into the engine's
// own SQL as its EscapeDialect writes it. Text without escapes stays as it is.
#pragma once

#include <functional>
#include <string>

#include "drivers/common/base/Backend.h"

namespace odbcdrv {

class EscapeSql {
  public:
    // The engine's text of {call name(arguments)}.
    using CallText = std::function<std::string(const std::string&, const std::string&)>;

    // Throws DriverError: 22007 for a datetime escape that is no date or time
    // literal, 22008 for one that names no existing date or time, 42000 for
    // an escape that is not closed, unknown, or a scalar function given the
    // wrong number of arguments, 54000 for escapes nested more than 64 deep,
    // HYC00 for {?= call ...}.
    static std::string Translate(const std::string& sql, const EscapeDialect& dialect,
                                 const CallText& call);

    // SQLGetInfo's bitmasks for the scalar functions the dialect writes:
    // SQL_STRING_FUNCTIONS, SQL_NUMERIC_FUNCTIONS, SQL_TIMEDATE_FUNCTIONS or
    // SQL_SYSTEM_FUNCTIONS.
    static SQLUINTEGER FunctionBits(const EscapeDialect& dialect, SQLUSMALLINT infoType);
    // The SQL_CVT_ bits of the target types of {fn CONVERT(...)}.
    static SQLUINTEGER ConversionBits(const EscapeDialect& dialect);
};

}  // namespace odbcdrv
