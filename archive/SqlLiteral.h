// Column values written as SQL literal text for the inserts of a transfer.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

// "%f" with trailing zeros and then a trailing "." removed (2.5, 3, 0),
// always with "." as the decimal point, whatever the process locale.
std::string DoubleLiteral(double value);
// 'text' with every apostrophe doubled; nothing else is escaped.
std::string TextLiteral(const std::string& text);
// q is the date quote: "'" for a Firebird destination, "#" otherwise.
std::string DateLiteral(const SQL_DATE_STRUCT& d, char q);
std::string TimeLiteral(const SQL_TIME_STRUCT& t, char q);
// The fraction of the second is dropped.
std::string TimestampLiteral(const SQL_TIMESTAMP_STRUCT& ts, char q);
