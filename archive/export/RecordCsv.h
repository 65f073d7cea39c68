// One table of a patient's record as CSV (RFC 4180): UTF-8, a header row of
// the column names, lines ended by CR LF, a field quoted when it holds a
// comma, a quote or a line end (quotes doubled). Values in their ISO form
// (ValueText): "." as the decimal mark, ISO 8601 dates and times, true and
// false for flags; a null value is an empty field, an empty text "" (so
// the two stay apart), a binary value the name of its attachment.
#pragma once

#include <cstddef>
#include <string>

#include "archive/export/AttachmentNames.h"
#include "archive/export/PatientRecord.h"

// "daten/<database>.<table>.csv", e.g. "daten/Kartei.data.csv".
std::string CsvFileName(const RecordTable& table);

std::string TableCsv(const PatientRecord& record, size_t table, const AttachmentNames& names);
