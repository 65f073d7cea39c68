// The values of a patient's record as text: in the machine-readable files
// (ISO 8601 dates and times, "." as the decimal mark, numbers exactly as
// stored) and in the readable document (German: dd.mm.yyyy, decimal comma,
// Ja/Nein, amounts with two decimals).
#pragma once

#include <cstdint>
#include <string>

#include "archive/export/PatientRecord.h"

// ISO form; text in UTF-8. Null gives "", a binary value "" (the caller
// names its attachment instead).
std::string IsoValueText(const RecordValue& value);
// True when IsoValueText of the value is a number that JSON takes as it is.
bool IsJsonNumber(const RecordValue& value);

// German form (code page 1252). A null value gives "–"; a binary value
// gives "" (the caller names its attachment instead).
std::string GermanValueText(const RecordValue& value, const RecordColumn& column);
// The day that seconds since 1970 stand for in this time zone, "dd.mm.yyyy",
// with " um hh:mm Uhr" when withTime.
std::string GermanLocalDay(int64_t seconds, bool withTime = false);
// n with a "." between each group of three digits: "102.400".
std::string GermanCount(uint64_t n);

// The column's type in a form that does not depend on the database kind:
// "integer", "decimal(12,2)", "varchar(60)", "text", "date", "binary", ...
std::string ColumnTypeName(const RecordColumn& column);
