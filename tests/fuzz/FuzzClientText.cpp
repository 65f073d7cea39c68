// What an application hands the drivers as values and names, taken apart by
// the shared plumbing: narrow text in UTF-8, catalog search patterns, SQL
// text with escape sequences in both lexical forms of the dialects, and a
// parameter value of any C type converted to any SQL type. Each is read or
// refused with a driver error, never more. Short texts are also nested: their
// first half opened up to twenty thousand times around their second half
// closed as often ("{fn ABS(" and ")}"), which the limits on nesting must
// stop in time.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "drivers/common/base/Backend.h"
#include "drivers/common/sql/EscapeSql.h"
#include "drivers/common/sql/SearchPattern.h"
#include "drivers/common/values/ClientCharset.h"
#include "drivers/common/values/ParamConverter.h"
#include "drivers/common/values/TypeInfo.h"
#include "drivers/firebird/FbLongLiterals.h"

namespace {

constexpr SQLSMALLINT kCTypes[] = {
    SQL_C_CHAR,      SQL_C_WCHAR,     SQL_C_BINARY,         SQL_C_BIT,    SQL_C_STINYINT,
    SQL_C_UTINYINT,  SQL_C_SSHORT,    SQL_C_USHORT,         SQL_C_SLONG,  SQL_C_ULONG,
    SQL_C_SBIGINT,   SQL_C_UBIGINT,   SQL_C_FLOAT,          SQL_C_DOUBLE, SQL_C_NUMERIC,
    SQL_C_TYPE_DATE, SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP, SQL_C_DEFAULT};
constexpr SQLSMALLINT kSqlTypes[] = {
    SQL_CHAR,          SQL_VARCHAR,   SQL_LONGVARCHAR,    SQL_WVARCHAR,    SQL_BINARY,
    SQL_LONGVARBINARY, SQL_BIT,       SQL_TINYINT,        SQL_SMALLINT,    SQL_INTEGER,
    SQL_BIGINT,        SQL_REAL,      SQL_DOUBLE,         SQL_NUMERIC,     SQL_DECIMAL,
    SQL_TYPE_DATE,     SQL_TYPE_TIME, SQL_TYPE_TIMESTAMP, SQL_UNKNOWN_TYPE};

// A dialect of each lexical form, with functions of every arity.
odbcdrv::EscapeDialect Dialect(bool accessForm) {
    return {{{"UCASE", 1, "UPPER($1)"},
             {"LOCATE", 2, "POSITION($1, $2)"},
             {"LOCATE", 3, "InStr($3, $2, $1)"},
             {"PI", 0, "PI()"}},
            {{"SQL_INTEGER", SQL_CVT_INTEGER, "CAST($1 AS INTEGER)"}},
            accessForm ? "#" : "DATE '",
            accessForm ? "#" : "'",
            accessForm ? "#" : "TIME '",
            accessForm ? "#" : "'",
            accessForm ? "#" : "TIMESTAMP '",
            accessForm ? "#" : "'",
            accessForm ? 0 : 4,
            SQL_OJ_LEFT,
            !accessForm,
            accessForm,
            accessForm,
            accessForm,
            !accessForm};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const SQLSMALLINT cType = kCTypes[data[0] % (sizeof kCTypes / sizeof kCTypes[0])];
    const SQLSMALLINT sqlType = kSqlTypes[data[1] % (sizeof kSqlTypes / sizeof kSqlTypes[0])];
    const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const odbcdrv::ClientCharset utf8 = odbcdrv::ClientCharset::Utf8Text();
    try {
        utf8.FromClient(rest);
    } catch (const odbcdrv::DriverError&) {
    }
    const size_t half = rest.size() / 2;
    std::string nested;
    if (rest.size() <= 64) {
        const size_t times = rest.size() > 16 ? 320000 / rest.size() : 20000;
        for (size_t k = 0; k < times; ++k) nested += rest.substr(0, half);
        for (size_t k = 0; k < times; ++k) nested += rest.substr(half);
    }
    for (const std::string* sql : std::initializer_list<const std::string*>{&rest, &nested}) {
        for (bool accessForm : {false, true}) {
            try {
                odbcdrv::EscapeSql::Translate(*sql, Dialect(accessForm),
                                              [](const std::string& name, const std::string& args) {
                                                  return "EXECUTE PROCEDURE " + name + "(" + args +
                                                         ")";
                                              });
            } catch (const odbcdrv::DriverError&) {
            }
        }
        fbdrv::FbLongLiterals literals(*sql);
        if (literals.Any()) literals.Value(0);
    }
    const std::string pattern = rest.substr(0, half);
    odbcdrv::SearchPattern(&pattern).Matches(rest.substr(half));
    odbcdrv::SearchPattern(&pattern, true).Matches(rest.substr(half));
    // A value in its own aligned buffer, as an application binds it.
    const SQLLEN fixed = odbcdrv::ParamConverter::FixedSize(
        cType == SQL_C_DEFAULT ? odbcdrv::DefaultCType(sqlType, false) : cType);
    if (fixed > 0 && rest.size() < static_cast<size_t>(fixed)) return 0;
    std::vector<uint64_t> buffer(rest.size() / 8 + 1);
    std::memcpy(buffer.data(), rest.data(), rest.size());
    try {
        odbcdrv::ParamConverter::Convert(cType, sqlType, buffer.data(),
                                         static_cast<SQLLEN>(rest.size()), utf8);
    } catch (const odbcdrv::DriverError&) {
    }
    return 0;
}
