// The Firebird driver's profile for the shared driver tests.
#include "tests/drivers/DriverProfile.h"

namespace drivertest {
namespace {

std::string FirebirdConnect(const std::filesystem::path& file, bool create) {
    return "DRIVER=Firebird/InterBase(r) driver;AutoQuotedIdentifier=false;"
           "client=/nonexistent/Module/ETC/fbclient.dll;DBNAME=" +
           file.string() + ";UID=SYSDBA;PWD=tilvormex" +
           (create ? ";CREATEDB=1;FORCEDWRITES=0" : "");
}

DriverProfileRegistration firebird({
    "Firebird",
    TAMARO_FB_DRIVER_LIB,
    FirebirdConnect,
    ".fdb",
    "varchar",
    "blob sub_type text",
    "blob",
    "integer",
    "||",
    {
        {"integer", SQL_INTEGER, "123456", "123456", 4},
        {"smallint", SQL_SMALLINT, "-5", "-5", 2},
        {"bigint", SQL_BIGINT, "12345678901", "12345678901", 8},
        {"float", SQL_REAL, "1.5", "1.5", 4},
        {"double precision", SQL_DOUBLE, "2.25", "2.25", 8},
        {"numeric(10,2)", SQL_NUMERIC, "12.34", "12.34", 5},
        {"decimal(12,3)", SQL_DECIMAL, "-0.005", "-0.005", 6},
        {"char(5)", SQL_CHAR, "'ab'", "ab   ", 5},
        {"varchar(20)", SQL_VARCHAR, "'xyz'", "xyz", 3},
        {"blob sub_type text", SQL_LONGVARCHAR, "'memo'", "memo", 4},
        {"blob", SQL_LONGVARBINARY, "x'00FF41'", "00FF41", 3},
        {"date", SQL_TYPE_DATE, "'2024-02-29'", "2024-02-29", 6},
        {"time", SQL_TYPE_TIME, "'13:45:10'", "13:45:10", 6},
        {"timestamp", SQL_TYPE_TIMESTAMP, "'2024-02-29 13:45:10'", "2024-02-29 13:45:10", 16},
        {"boolean", SQL_BIT, "true", "1", 1},
    },
    "selec * from rdb$database",
    "Dynamic SQL Error\n-SQL error code = -104\n-Token unknown - line 1, column 1\n-selec",
    "select * from nosuchtable",
    "Dynamic SQL Error\n-SQL error code = -204\n-Table unknown\n-NOSUCHTABLE\n-At line 1, column "
    "15",
    [](const std::filesystem::path& file) {
        return "I/O error during \"open\" operation for file \"" + file.string() +
               "\"\n-Error while trying to open file\n-No such file or directory";
    },
});

}  // namespace
}  // namespace drivertest
