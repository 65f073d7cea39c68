// The catalog functions of StmtHandle: each builds its standard result set in
// memory from the engine's catalog and serves it through the ordinary fetch
// and get-data path.
#include <algorithm>
#include <cctype>

#include "drivers/common/base/FaultInjector.h"
#include "drivers/common/base/SqlStates.h"
#include "drivers/common/handles/StmtHandle.h"
#include "drivers/common/sql/CatalogResults.h"
#include "drivers/common/sql/MemoryResultSet.h"
#include "drivers/common/sql/SearchPattern.h"
#include "drivers/common/values/TypeInfo.h"

namespace odbcdrv {

namespace {

// Whether a list of table types ("TABLE,VIEW" or "'TABLE','VIEW'") names `type`.
bool NamesType(const std::string& list, const char* type) {
    std::string word;
    for (size_t i = 0; i <= list.size(); ++i) {
        char c = i < list.size() ? list[i] : ',';
        if (c == ',') {
            if (word == type) return true;
            word.clear();
        } else if (c != '\'' && c != ' ') {
            word.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        }
    }
    return false;
}

bool HasWildcard(const std::string& pattern) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\') {
            ++i;
            continue;
        }
        if (pattern[i] == '%' || pattern[i] == '_') return true;
    }
    return false;
}

// The name a pattern without wildcards stands for.
std::string Unescaped(const std::string& pattern) {
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\' && i + 1 < pattern.size()) ++i;
        out.push_back(pattern[i]);
    }
    return out;
}

}  // namespace

bool StmtHandle::BeginCatalog() {
    if (!Ready()) return false;
    if (!dbc.Connected()) {
        Fail(state::kNotConnected);
        return false;
    }
    DropEngineState();
    rowCount_ = -1;
    return true;
}

SQLRETURN StmtHandle::Columns(const std::string* table, const std::string* column) {
    if (!BeginCatalog()) return SQL_ERROR;
    Connection& conn = dbc.Conn();
    std::vector<std::string> tables;
    if (table && (metadataId_ || !HasWildcard(*table))) {
        tables.push_back(metadataId_ ? *table : Unescaped(*table));
    } else {
        SearchPattern pattern(table);
        for (const std::string& name : conn.TableNames())
            if (pattern.Matches(name)) tables.push_back(name);
        for (const std::string& name : conn.ViewNames())
            if (pattern.Matches(name)) tables.push_back(name);
        std::sort(tables.begin(), tables.end());
        // A name whose "_" was meant as itself, of a table the lists leave
        // out (the engine's own), as the name was taken before patterns.
        if (tables.empty() && table && table->find('%') == std::string::npos)
            tables.push_back(Unescaped(*table));
    }
    SearchPattern columnPattern(column, metadataId_);
    auto result = std::make_unique<MemoryResultSet>(CatalogResults::ColumnsShape());
    // Tests make the catalog of one table fail, at once or after some rows.
    if (tables.size() == 1) {
        long long rowsBefore = -1;
        if (FaultInjector::CatalogFails(tables.front(), &rowsBefore)) {
            if (rowsBefore < 0) return Fail(state::kGeneralError, FaultInjector::CatalogMessage());
            result->BreakAfter(size_t(rowsBefore),
                               DriverError(state::kGeneralError, FaultInjector::CatalogMessage()));
        }
    }
    for (const std::string& name : tables) {
        int ordinal = 0;
        for (const ColumnInfo& c : Described(conn.TableColumns(name))) {
            ++ordinal;
            if (columnPattern.Matches(c.name))
                result->AddRow(CatalogResults::ColumnRow(c, name, ordinal));
        }
    }
    SetResult(std::move(result));
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::Tables(const std::string* catalog, const std::string* schema,
                             const std::string* tablePattern, const std::string* types) {
    if (!BeginCatalog()) return SQL_ERROR;
    auto result = std::make_unique<MemoryResultSet>(CatalogResults::TablesShape());
    auto empty = [](const std::string* s) { return !s || s->empty(); };
    auto all = [](const std::string* s) { return s && *s == "%"; };
    // There are neither catalogs nor schemas; the table types are TABLE and VIEW.
    bool listsCatalogs = all(catalog) && empty(schema) && empty(tablePattern);
    bool listsSchemas = all(schema) && empty(catalog) && empty(tablePattern);
    bool listsTypes = all(types) && empty(catalog) && empty(schema) && empty(tablePattern);
    auto add = [&](const std::string& name, const char* type) {
        result->AddRow({Value::Null(), Value::Null(),
                        name.empty() ? Value::Null() : Value::String(name), Value::String(type),
                        Value::Null()});
    };
    if (listsTypes) {
        add("", "TABLE");
        add("", "VIEW");
    } else if (!listsCatalogs && !listsSchemas) {
        bool anyType = empty(types) || all(types);
        SearchPattern pattern(tablePattern, metadataId_);
        if (anyType || NamesType(*types, "TABLE"))
            for (const std::string& name : dbc.Conn().TableNames())
                if (pattern.Matches(name)) add(name, "TABLE");
        if (anyType || NamesType(*types, "VIEW"))
            for (const std::string& name : dbc.Conn().ViewNames())
                if (pattern.Matches(name)) add(name, "VIEW");
    }
    SetResult(std::move(result));
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::PrimaryKeys(const std::string* table) {
    if (!table) return Fail(state::kInvalidNullPointer);
    if (!BeginCatalog()) return SQL_ERROR;
    auto result = std::make_unique<MemoryResultSet>(CatalogResults::PrimaryKeysShape());
    std::vector<ColumnInfo> columns = dbc.Conn().TableColumns(*table);
    if (!columns.empty()) {
        const std::string& stored = columns.front().tableName;
        for (const IndexInfo& index : dbc.Conn().Indexes(*table)) {
            if (!index.primaryKey) continue;
            for (size_t k = 0; k < index.columns.size(); ++k)
                result->AddRow({Value::Null(), Value::Null(), Value::String(stored),
                                Value::String(index.columns[k]),
                                Value::Integer(static_cast<int64_t>(k + 1)),
                                Value::String(index.name)});
            break;
        }
    }
    SetResult(std::move(result));
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::Statistics(const std::string* table, SQLUSMALLINT unique) {
    if (!table) return Fail(state::kInvalidNullPointer);
    if (unique != SQL_INDEX_UNIQUE && unique != SQL_INDEX_ALL) return Fail(state::kInvalidValue);
    if (!BeginCatalog()) return SQL_ERROR;
    auto result = std::make_unique<MemoryResultSet>(CatalogResults::StatisticsShape());
    std::vector<ColumnInfo> columns = dbc.Conn().TableColumns(*table);
    if (!columns.empty()) {
        const Value stored = Value::String(columns.front().tableName);
        result->AddRow({Value::Null(), Value::Null(), stored, Value::Null(), Value::Null(),
                        Value::Null(), Value::Integer(SQL_TABLE_STAT), Value::Null(), Value::Null(),
                        Value::Null(), Value::Null(), Value::Null(), Value::Null()});
        std::vector<IndexInfo> indexes = dbc.Conn().Indexes(*table);
        // Ordered by NON_UNIQUE, TYPE, INDEX_NAME and ORDINAL_POSITION.
        std::stable_sort(indexes.begin(), indexes.end(),
                         [](const IndexInfo& a, const IndexInfo& b) {
                             if (a.unique != b.unique) return a.unique;
                             return a.name < b.name;
                         });
        for (const IndexInfo& index : indexes) {
            if (unique == SQL_INDEX_UNIQUE && !index.unique) continue;
            for (size_t k = 0; k < index.columns.size(); ++k)
                result->AddRow({Value::Null(), Value::Null(), stored,
                                Value::Integer(index.unique ? SQL_FALSE : SQL_TRUE), Value::Null(),
                                Value::String(index.name), Value::Integer(SQL_INDEX_OTHER),
                                Value::Integer(static_cast<int64_t>(k + 1)),
                                Value::String(index.columns[k]),
                                Value::String(index.descending ? "D" : "A"), Value::Null(),
                                Value::Null(), Value::Null()});
        }
    }
    SetResult(std::move(result));
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::SpecialColumns(SQLUSMALLINT identifierType, const std::string* table,
                                     SQLUSMALLINT nullable) {
    if (!table) return Fail(state::kInvalidNullPointer);
    if (identifierType != SQL_BEST_ROWID && identifierType != SQL_ROWVER)
        return Fail("HY097", "Column type out of range");
    if (!BeginCatalog()) return SQL_ERROR;
    auto result = std::make_unique<MemoryResultSet>(CatalogResults::SpecialColumnsShape());
    // The best row identifier is the primary key, else a unique index whose
    // columns hold no nulls (or may, when the application allows them). No
    // column changes by itself when a row is updated.
    std::vector<ColumnInfo> columns = identifierType == SQL_BEST_ROWID
                                          ? Described(dbc.Conn().TableColumns(*table))
                                          : std::vector<ColumnInfo>();
    if (!columns.empty()) {
        auto find = [&](const std::string& name) -> const ColumnInfo* {
            for (const ColumnInfo& c : columns)
                if (c.name == name) return &c;
            return nullptr;
        };
        std::vector<IndexInfo> indexes = dbc.Conn().Indexes(*table);
        std::stable_sort(
            indexes.begin(), indexes.end(),
            [](const IndexInfo& a, const IndexInfo& b) { return a.primaryKey && !b.primaryKey; });
        for (const IndexInfo& index : indexes) {
            if (!index.unique || index.columns.empty()) continue;
            std::vector<const ColumnInfo*> key;
            bool usable = true;
            for (const std::string& name : index.columns) {
                const ColumnInfo* c = find(name);
                if (!c ||
                    (!index.primaryKey && nullable == SQL_NO_NULLS && c->nullable != SQL_NO_NULLS))
                    usable = false;
                key.push_back(c);
            }
            if (!usable) continue;
            for (const ColumnInfo* c : key) result->AddRow(CatalogResults::SpecialColumnRow(*c));
            break;
        }
    }
    SetResult(std::move(result));
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::GetTypeInfo(SQLSMALLINT dataType) {
    if (!BeginCatalog()) return SQL_ERROR;
    // The SQL types ODBC defines (the interval types 101 to 113 among them);
    // a type the engine lacks gives an empty result, any other code HY004.
    const bool defined =
        dataType == SQL_ALL_TYPES || (dataType >= SQL_GUID && dataType <= -1) ||
        (dataType >= SQL_CHAR && dataType <= SQL_VARCHAR) ||
        (dataType >= SQL_TYPE_DATE && dataType <= SQL_TYPE_TIMESTAMP) ||
        (dataType >= SQL_INTERVAL_YEAR && dataType <= SQL_INTERVAL_MINUTE_TO_SECOND);
    if (!defined) return Fail(state::kInvalidSqlType);
    // Types of ODBC 2 name the same types as their ODBC 3 codes.
    if (dataType == SQL_DATE) dataType = SQL_TYPE_DATE;
    if (dataType == SQL_TIME) dataType = SQL_TYPE_TIME;
    if (dataType == SQL_TIMESTAMP) dataType = SQL_TYPE_TIMESTAMP;
    std::vector<std::pair<SQLSMALLINT, const TypeInfoRow*>> rows;
    // A connection that describes text with the wide types lists each text
    // type under both codes: its values come as SQL_C_CHAR or SQL_C_WCHAR alike.
    for (const TypeInfoRow& t : TheBackend().Types()) {
        const SQLSMALLINT wide = WideCharType(t.sqlType);
        if (dataType == SQL_ALL_TYPES) {
            rows.emplace_back(t.sqlType, &t);
            if (wide != t.sqlType && dbc.DescribesWide()) rows.emplace_back(wide, &t);
        } else if (dataType == t.sqlType || dataType == wide) {
            rows.emplace_back(dataType, &t);
        }
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    auto result = std::make_unique<MemoryResultSet>(CatalogResults::TypeInfoShape());
    for (const auto& [reported, t] : rows) result->AddRow(CatalogResults::TypeRow(*t, reported));
    SetResult(std::move(result));
    return SQL_SUCCESS;
}

// Neither kind keeps relationships between tables in a form the catalog
// reports, nor stored procedures that a client could call: these results are
// empty, in their standard shape.
SQLRETURN StmtHandle::ForeignKeys() {
    if (!BeginCatalog()) return SQL_ERROR;
    SetResult(std::make_unique<MemoryResultSet>(CatalogResults::ForeignKeysShape()));
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::Procedures() {
    if (!BeginCatalog()) return SQL_ERROR;
    SetResult(std::make_unique<MemoryResultSet>(CatalogResults::ProceduresShape()));
    return SQL_SUCCESS;
}

SQLRETURN StmtHandle::ProcedureColumns() {
    if (!BeginCatalog()) return SQL_ERROR;
    SetResult(std::make_unique<MemoryResultSet>(CatalogResults::ProcedureColumnsShape()));
    return SQL_SUCCESS;
}

}  // namespace odbcdrv
