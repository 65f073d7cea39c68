// Text operations shared by the SQL-building code: the placeholders that let
// one schema statement run on both kinds, ODBC type names, string quoting.
#pragma once

#include <cstdint>
#include <string>

// Replaces the placeholders ("§VARCHAR§", "§MEMO§", ...) by the wording of the
// kind named by extension (".mdb" = Access, anything else Firebird).
std::string TranslateSQL(const char* sql, const char* extension);

// Type name of an ODBC SQL data type code (DATA_TYPE of SQLColumns); "" when unknown.
std::string SQLTypeName(int32_t code);

// The type of a column as a statement that creates or changes one declares
// it on the database kind named by extension, from the column's ODBC type
// code, size (characters, bytes or precision) and decimal digits: every type
// either kind's driver reports, in that kind's wording (a Firebird boolean,
// binary string or binary blob; an Access byte, yes/no, binary or long
// binary), a text blob as "§MEMO§"; "" for a code neither kind has.
std::string ColumnDeclaration(int code, int size, int digits, const char* extension);

// The text with every "'" doubled, for use inside an SQL string literal.
std::string EscapeSQL(const char* text);
inline std::string EscapeSQL(const std::string& text) {
    return EscapeSQL(text.c_str());
}
