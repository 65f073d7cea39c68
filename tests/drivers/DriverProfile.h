// What the shared driver tests need to know about one driver: how to make a
// fresh database and its connection string, the type names of its dialect
// and the texts of its errors. Each driver's test file registers one profile
// with a static DriverProfileRegistration; the parameterised fixtures run
// every shared test once per registered profile.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace drivertest {

// One column type: created from `ddl`, filled from `literal`.
struct TypeCase {
    std::string ddl;
    SQLSMALLINT sqlType;  // as SQLDescribeCol and SQLColumns report it
    std::string literal;
    std::string text;    // the value read as SQL_C_CHAR
    SQLLEN defaultSize;  // length indicator of SQL_C_DEFAULT
};

struct DriverProfile {
    std::string name;     // test-name suffix
    std::string library;  // path of the driver library (for calls that bypass unixODBC)
    // Connection string of a database file; with `create` the string asks the
    // driver to create the file (key CREATEDB=1).
    std::function<std::string(const std::filesystem::path& file, bool create)> connectString;
    std::string extension;    // ".fdb"
    std::string varcharType;  // "varchar" (followed by "(n)")
    std::string memoType;     // a long text type
    std::string binaryType;   // a long binary type
    std::string integerType;  // a 32-bit integer type
    std::string concat;       // text concatenation operator ("||")
    std::vector<TypeCase> types;
    // A statement with a syntax error and a query of a missing table
    // ("nosuchtable"), with the whole message text the driver gives for each.
    std::string syntaxErrorSql;
    std::string syntaxErrorText;
    std::string missingTableSql;
    std::string missingTableText;
    // Message text for a database file that does not exist.
    std::function<std::string(const std::filesystem::path& file)> missingFileText;
};

std::vector<DriverProfile>& DriverProfiles();

struct DriverProfileRegistration {
    explicit DriverProfileRegistration(DriverProfile p) {
        DriverProfiles().push_back(std::move(p));
    }
};

const DriverProfile& ProfileNamed(const std::string& name);
std::vector<std::string> ProfileNames();

}  // namespace drivertest
