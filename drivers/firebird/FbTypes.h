// The engine's type codes and the ODBC description of a column of each type,
// one map for result columns and catalog rows alike.
#pragma once

#include <cstdint>

#include "firebird/FbApi.h"

namespace fbdrv {

// Engine message types (the engine's own codes; its header names clash with
// the ODBC type names of the same spelling).
namespace fbtype {
constexpr unsigned kVarying = 448;
constexpr unsigned kText = 452;
constexpr unsigned kDouble = 480;
constexpr unsigned kFloat = 482;
constexpr unsigned kLong = 496;
constexpr unsigned kShort = 500;
constexpr unsigned kTimestamp = 510;
constexpr unsigned kBlob = 520;
constexpr unsigned kDFloat = 530;
constexpr unsigned kTime = 560;
constexpr unsigned kDate = 570;
constexpr unsigned kInt64 = 580;
constexpr unsigned kBoolean = 32764;
}  // namespace fbtype

// Character sets (the engine's own ids).
constexpr unsigned kOctets = 1;  // binary data
constexpr unsigned kWin1252 = 53;

// The message type of a column whose system tables give it the field type
// `fieldType` (RDB$FIELDS.RDB$FIELD_TYPE); 0 for a type this driver reads as
// text of its declared length.
unsigned MessageTypeOfField(int64_t fieldType);

// Sets the SQL type, type name, size and decimal digits of `c` for a column
// of message type `type`. An integer with a scale or a NUMERIC or DECIMAL
// sub-type is a scaled number and reports the most digits its storage holds;
// `length` is the size of a text column, `charSet` tells binary text apart.
void DescribeType(unsigned type, int subType, int scale, unsigned charSet, SQLULEN length,
                  odbcdrv::ColumnInfo& c);

}  // namespace fbdrv
