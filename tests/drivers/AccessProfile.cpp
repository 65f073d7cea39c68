// The Access-kind driver's profile for the shared driver tests.
#include "tests/drivers/DriverProfile.h"

namespace drivertest {
namespace {

std::string AccessConnect(const std::filesystem::path& file, bool create) {
    return "Driver={Microsoft Access Driver (*.mdb)};Dbq=" + file.string() + ";Pwd=lamp(hurz);" +
           (create ? "CREATEDB=1;" : "");
}

DriverProfileRegistration access({
    "Access",
    TAMARO_ACCESS_DRIVER_LIB,
    AccessConnect,
    ".mdb",
    "text",
    "memo",
    "longbinary",
    "integer",
    "&",
    {
        {"integer", SQL_INTEGER, "123456", "123456", 4},
        {"long", SQL_INTEGER, "-7", "-7", 4},
        {"smallint", SQL_SMALLINT, "-5", "-5", 2},
        {"byte", SQL_TINYINT, "200", "200", 1},
        {"bit", SQL_BIT, "1", "1", 1},
        {"single", SQL_REAL, "1.5", "1.5", 4},
        {"real", SQL_REAL, "1.5", "1.5", 4},
        {"double", SQL_DOUBLE, "2.25", "2.25", 8},
        {"float", SQL_DOUBLE, "2.25", "2.25", 8},
        {"char(5)", SQL_CHAR, "'ab'", "ab", 2},
        {"text(20)", SQL_VARCHAR, "'xyz'", "xyz", 3},
        {"varchar(20)", SQL_VARCHAR, "'xyz'", "xyz", 3},
        {"memo", SQL_LONGVARCHAR, "'memo'", "memo", 4},
        {"date", SQL_TYPE_DATE, "#2024-02-29#", "2024-02-29", 6},
        {"time", SQL_TYPE_TIME, "#13:45:10#", "13:45:10", 6},
        {"datetime", SQL_TYPE_TIMESTAMP, "#2024-02-29 13:45:10#", "2024-02-29 13:45:10", 16},
        {"timestamp", SQL_TYPE_TIMESTAMP, "#2024-2-9 03:04:05#", "2024-02-09 03:04:05", 16},
    },
    "selec * from patienten",
    "[Tamaro][Access driver] Invalid SQL statement; expected 'DELETE', 'INSERT', 'SELECT', "
    "'UPDATE', 'CREATE', 'ALTER' or 'DROP'.",
    "select * from nosuchtable",
    "[Tamaro][Access driver] The table does not exist. (SQLite: no such table: nosuchtable)",
    [](const std::filesystem::path& file) {
        return "[Tamaro][Access driver] Could not find file '" + file.string() + "'.";
    },
});

}  // namespace
}  // namespace drivertest
