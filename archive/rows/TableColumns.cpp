#include "archive/rows/TableColumns.h"

#include <cstring>

#include "core/Globals.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "db/ValueBuffer.h"

namespace {

// Lower case of the code page 1252 letters: ASCII, Latin-1 and the four
// pairs of the 0x80..0x9F range.
char LowerCp1252(char ch) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return char(c + 32);
    if (c == 0x8A || c == 0x8C || c == 0x8E) return char(c + 16);
    if (c == 0x9F) return char(0xFF);
    return ch;
}

std::string Lower(std::string s) {
    for (char& c : s) c = LowerCp1252(c);
    return s;
}

int ReadInt(ODBCStmt& stmt, SQLUSMALLINT n, bool* ok = nullptr) {
    SQLLEN indicator = 0;
    ValueBuffer[0] = 0;
    const bool read =
        n != 0 && stmt.GetColumnData(n, ValueBuffer, ValueBufferSize, &indicator) && indicator >= 0;
    if (ok) *ok = read;
    if (!read) return 0;
    if (indicator == 2) {
        int16_t v16;
        std::memcpy(&v16, ValueBuffer, sizeof v16);
        return v16;
    }
    return ValueBufferInt();
}

}  // namespace

bool ReadCatalogColumns(ODBCStmt& stmt, const std::string& table, std::vector<CatalogColumn>& out) {
    out.clear();
    SQLRETURN rc = SQLColumns(stmt.Handle(), nullptr, SQL_NTS, nullptr, SQL_NTS,
                              reinterpret_cast<SQLCHAR*>(const_cast<char*>(table.c_str())), SQL_NTS,
                              nullptr, SQL_NTS);
    if (rc == SQL_INVALID_HANDLE) ShowInvalidHandle();
    if (!SqlSucceeded(rc)) return false;
    const SQLUSMALLINT nameColumn = stmt.FindColumn("COLUMN_NAME");
    const SQLUSMALLINT sizeColumn = stmt.FindColumn("COLUMN_SIZE");
    const SQLUSMALLINT typeColumn = stmt.FindColumn("DATA_TYPE");
    const SQLUSMALLINT digitsColumn = stmt.FindColumn("DECIMAL_DIGITS");
    while ((rc = SQLFetch(stmt.Handle())) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        CatalogColumn c;
        ValueBuffer[0] = 0;
        if (nameColumn) stmt.GetColumnData(nameColumn, ValueBuffer, ValueBufferSize);
        c.name = Lower(ValueBuffer);
        c.code = int16_t(ReadInt(stmt, typeColumn));
        if (c.code == SQL_CHAR || c.code == SQL_VARCHAR || c.code == SQL_BINARY ||
            c.code == SQL_VARBINARY || c.code == SQL_NUMERIC || c.code == SQL_DECIMAL) {
            bool sized = false;
            c.size = ReadInt(stmt, sizeColumn, &sized);
            if (!sized) c.size = 0;
            if (c.code == SQL_NUMERIC || c.code == SQL_DECIMAL)
                c.digits = ReadInt(stmt, digitsColumn);
        }
        out.push_back(std::move(c));
    }
    // A catalog that breaks off half way must not pass for a shorter table:
    // the archive's other columns would then be dropped.
    return rc == SQL_NO_DATA;
}


bool ReadTableColumns(ArchiveDbPair& db, const std::string& table,
                      std::vector<CatalogColumn>& out) {
    ODBCStmt stmt(db.Connection);
    return ReadCatalogColumns(stmt, table, out);
}
