// A patient's record as the export reads it: every row of the patient in
// every table of one side, in the order of the side's database list, each
// value typed as the database holds it.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <vector>

#include "patient/PatientInfo.h"

enum class ValueKind : uint8_t {
    Null,
    Integer,    // integer: tinyint to bigint
    Decimal,    // text: the exact number as the database writes it ("12.50")
    Real,       // real: double precision and float
    Boolean,    // integer: 0 or 1
    Date,       // when: year, month, day
    Time,       // when: hour, minute, second, fraction
    Timestamp,  // when: all of it
    Text,       // text: code page 1252
    Binary      // text: the bytes
};

struct RecordValue {
    ValueKind kind = ValueKind::Null;
    int64_t integer = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT when{};  // fraction in nanoseconds
    std::string text;
};

struct RecordColumn {
    std::string name;      // lower case
    SQLSMALLINT type = 0;  // the SQL type the driver describes
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
};

struct RecordTable {
    std::string database;  // display name: "Velunda", "Kartei", "Archiv"
    std::string table;     // as the database's table list names it
    std::vector<RecordColumn> columns;
    std::vector<std::vector<RecordValue>> rows;
    // The columns of the table's primary key in key order (indexes into
    // columns); empty when the table has none.
    std::vector<size_t> key;
};

struct PatientRecord {
    int32_t pid = 0;
    std::string side;  // "Velunda" or "Archiv"
    // The non-empty master-data lines of the patient information: "Titel",
    // "Vorname", "Zusatz", "Name", "Straße", "PLZ", "Ort", "Geboren".
    std::vector<PatientInfoLine> masterData;
    std::vector<RecordTable> tables;  // every table of the side, also without rows

    // The value of a master-data line, empty without one.
    std::string Master(const std::string& label) const;
    int64_t Rows() const;
};
