// Dates and times as ODBC writes them in text ("yyyy-mm-dd", "hh:mm:ss[.f]",
// "yyyy-mm-dd hh:mm:ss[.f]", or one of these inside a date, time or
// timestamp escape such as "{d '2004-03-31'}"), and the check that a date or
// time exists.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "drivers/common/base/Backend.h"

namespace odbcdrv {

// A date of the Gregorian calendar in the years 1 to 9999.
bool DateExists(int year, unsigned month, unsigned day);
// A time of day; fractions in nanoseconds.
bool TimeExists(unsigned hour, unsigned minute, unsigned second, unsigned long fraction = 0);

enum class DatetimeText {
    None,     // the text has none of the forms
    Invalid,  // one of the forms, but the date or time does not exist
    Valid,
};

// Reads text in one of the forms above, blanks around allowed. `hasDate` and
// `hasTime` tell which parts it gave; a timestamp escape without a time gives
// midnight.
DatetimeText ReadDatetime(const std::string& text, SQL_TIMESTAMP_STRUCT& ts, bool& hasDate,
                          bool& hasTime);

// A value of the kind (Date, Time or Timestamp) holding `ts`.
Value MakeDatetime(Value::Kind kind, const SQL_TIMESTAMP_STRUCT& ts);

// Gives `ts` today's date (local time), for a time that stands alone where a
// timestamp is wanted.
void SetToday(SQL_TIMESTAMP_STRUCT& ts);

// A date, time or timestamp value of the SQL type (SQL_TYPE_DATE, ...) from a
// value of another of these types or from text in one of the forms above,
// blanks around it ignored: the one rule for text in a date position, in a
// parameter and (on the Access kind) in a literal. Throws DriverError: 22007
// for text of no such form, 22008 for a date or time that does not exist or
// a part the type cannot hold, 07006 for other values.
Value ToDatetime(const Value& v, SQLSMALLINT sqlType);

// Throws DriverError 22008 for a date, time or timestamp structure whose
// fields name no existing date or time.
void CheckDate(const SQL_DATE_STRUCT& d);
void CheckTime(const SQL_TIME_STRUCT& t);
void CheckTimestamp(const SQL_TIMESTAMP_STRUCT& ts);

}  // namespace odbcdrv
