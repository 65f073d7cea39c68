// Column values written as SQL literal text for the inserts of a transfer.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

// The shortest fixed notation that reads back as the same double (2.5, 3, 0,
// 0.3333333333333333, 0.0000001), always with "." as the decimal point,
// whatever the process locale. The engines read a fixed literal exactly only
// while its digits, taken as one integer, are a double themselves and at most
// 18 of them follow the point; any other value is written in the shortest
// exponent notation that reads back (1e+300).
std::string DoubleLiteral(double value);
// 'text' with every apostrophe doubled; nothing else is escaped.
std::string TextLiteral(const std::string& text);
// q is the date quote: "'" for a Firebird destination, "#" otherwise.
std::string DateLiteral(const SQL_DATE_STRUCT& d, char q);
std::string TimeLiteral(const SQL_TIME_STRUCT& t, char q);
// A fraction of the second that is not zero follows the seconds, without
// trailing zeros ("08:05:09.25").
std::string TimestampLiteral(const SQL_TIMESTAMP_STRUCT& ts, char q);
// A column as the transfer's statements name it: "text" and "update", which
// are key words, in double quotes and lower case, any other name as given.
std::string ColumnReference(const std::string& column);
