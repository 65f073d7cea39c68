// The result sets of the catalog functions in their standard shape (names,
// types and order of the columns ODBC defines), and the rows that describe a
// column, a data type or a row identifier in them.
#pragma once

#include <vector>

#include "drivers/common/base/Backend.h"

namespace odbcdrv {

class CatalogResults {
  public:
    static std::vector<ColumnInfo> ColumnsShape();
    static std::vector<ColumnInfo> TablesShape();
    static std::vector<ColumnInfo> PrimaryKeysShape();
    static std::vector<ColumnInfo> StatisticsShape();
    static std::vector<ColumnInfo> SpecialColumnsShape();
    static std::vector<ColumnInfo> TypeInfoShape();
    static std::vector<ColumnInfo> ForeignKeysShape();
    static std::vector<ColumnInfo> ProceduresShape();
    static std::vector<ColumnInfo> ProcedureColumnsShape();

    // A row of SQLColumns for column `c` (its type as the connection
    // describes it) at position `ordinal` of `table`.
    static std::vector<Value> ColumnRow(const ColumnInfo& c, const std::string& table, int ordinal);
    // A row of SQLGetTypeInfo for `t`, with DATA_TYPE `reportedType`.
    static std::vector<Value> TypeRow(const TypeInfoRow& t, SQLSMALLINT reportedType);
    // A row of SQLSpecialColumns for the key column `c`.
    static std::vector<Value> SpecialColumnRow(const ColumnInfo& c);
};

}  // namespace odbcdrv
