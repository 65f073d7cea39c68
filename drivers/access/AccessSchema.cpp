#include "drivers/access/AccessSchema.h"

#include <strings.h>

#include <algorithm>
#include <set>

#include "core/AsciiText.h"
#include "drivers/access/AccessError.h"
#include "drivers/access/AccessMeta.h"
#include "drivers/access/AccessTranslator.h"
#include "drivers/access/SqliteStatement.h"

namespace accessdrv {

namespace {

using asciitext::Lower;

const std::set<std::string> kConstraintWords = {
    "not", "null", "primary", "unique", "default", "constraint", "references", "with", "check"};

bool SameName(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string Q(const std::string& s) {
    return AccessTranslator::QuoteName(s);
}

// Access keeps index names per table; SQLite per database.
std::string IndexName(const std::string& table, const std::string& index) {
    return Lower(table) + ":" + index;
}

}  // namespace

const SqlToken& AccessSchema::Peek(size_t ahead) const {
    static const SqlToken end{SqlToken::Kind::Synthetic, "", ""};
    return pos_ + ahead < t_.size() ? t_[pos_ + ahead] : end;
}

bool AccessSchema::Accept(const char* word) {
    if (!Peek().Is(word)) return false;
    ++pos_;
    return true;
}

void AccessSchema::Expect(const char* word) {
    if (!Accept(word)) Syntax(std::string("expected '") + word + "'");
}

void AccessSchema::Syntax(const std::string& what) const {
    std::string near = pos_ < t_.size() ? " near '" + t_[pos_].text + "'" : " at the end";
    throw AccessError::Make("42000",
                            "Syntax error in data definition statement: " + what + near + ".");
}

std::string AccessSchema::Name() {
    const SqlToken& t = Peek();
    if (t.kind != SqlToken::Kind::Word && t.kind != SqlToken::Kind::Name) Syntax("name expected");
    if (SameName(t.text, AccessMeta::kTable))
        throw AccessError::Make("42S02", "The name '" + t.text + "' is reserved for the driver.");
    ++pos_;
    return t.text;
}

void AccessSchema::ExpectEnd() {
    Accept(";");
    if (pos_ != t_.size()) Syntax("characters found after the end of the statement");
}

std::vector<std::string> AccessSchema::NameList() {
    std::vector<std::string> names;
    Expect("(");
    do {
        names.push_back(Name());
        if (!Accept("asc")) Accept("desc");
    } while (Accept(","));
    Expect(")");
    return names;
}

void AccessSchema::Exec(const std::string& sql) {
    char* err = nullptr;
    int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK) throw AccessError::FromSqlite(db_, rc);
}

namespace {
// The tables of the database without SQLite's own and the driver's metadata.
constexpr const char* kUserTables =
    "SELECT name FROM sqlite_master WHERE type='table' "
    "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND name <> 'tamaro_meta'";
}  // namespace

std::string AccessSchema::StoredTableName(const std::string& table) {
    SqliteStatement s(db_, std::string(kUserTables) + " AND name=?1 COLLATE NOCASE");
    s.Bind(1, table);
    return s.Step() ? s.Text(0) : std::string();
}

std::vector<std::string> AccessSchema::TableNames() {
    SqliteStatement s(db_, std::string(kUserTables) + " ORDER BY name COLLATE NOCASE");
    std::vector<std::string> names;
    while (s.Step()) names.push_back(s.Text(0));
    return names;
}

std::string AccessSchema::RequireTable(const std::string& table) {
    std::string stored = StoredTableName(table);
    if (stored.empty())
        throw AccessError::Make("42S02", "The table '" + table + "' does not exist.");
    return stored;
}

std::vector<ColumnDef> AccessSchema::Columns(const std::string& storedTable) {
    std::vector<ColumnDef> cols;
    SqliteStatement s(db_, "SELECT name, type, \"notnull\", dflt_value FROM pragma_table_info(?1)");
    s.Bind(1, storedTable);
    while (s.Step()) {
        ColumnDef c;
        c.name = s.Text(0);
        c.type = AccessType::FromStored(s.Text(1));
        c.notNull = sqlite3_column_int(s.get(), 2) != 0;
        if (sqlite3_column_type(s.get(), 3) != SQLITE_NULL) c.defaultSql = s.Text(3);
        cols.push_back(std::move(c));
    }
    return cols;
}

std::string AccessSchema::ColumnSql(const ColumnDef& c) {
    std::string sql = Q(c.name) + " " + c.type.StoredName();
    if (c.notNull) sql += " NOT NULL";
    if (!c.defaultSql.empty()) sql += " DEFAULT (" + c.defaultSql + ")";
    return sql + c.type.Constraints(Q(c.name), c.name);
}

// name type [(size[, scale])] {NOT NULL | NULL | PRIMARY KEY | UNIQUE |
// DEFAULT value | CONSTRAINT name ... | REFERENCES t [(c)] | WITH COMP[RESSION]}
ColumnDef AccessSchema::ColumnDefinition(std::vector<std::string>* uniqueIndexes, bool* primaryKey,
                                         std::string* constraintName) {
    ColumnDef c;
    c.name = Name();
    std::string words;
    while (Peek().kind == SqlToken::Kind::Word && !kConstraintWords.count(Lower(Peek().text))) {
        words += (words.empty() ? "" : " ") + Lower(Peek().text);
        ++pos_;
    }
    if (words.empty()) Syntax("type expected for field '" + c.name + "'");
    int length = -1;
    if (Accept("(")) {
        if (Peek().kind != SqlToken::Kind::Number) Syntax("length expected");
        length = std::atoi(Peek().text.c_str());
        ++pos_;
        while (Accept(",")) {
            if (Peek().kind != SqlToken::Kind::Number) Syntax("number expected");
            ++pos_;
        }
        Expect(")");
    }
    if (words == "counter" || words == "autoincrement" || words == "identity") length = -1;
    auto type = AccessType::FromDeclaration(words, length);
    if (!type && AccessType::IsTypeName(words))
        throw AccessError::Make("42000", "The size of the field '" + c.name + "' (" +
                                             std::to_string(length) + ") is not valid for " +
                                             words + "; it must lie between 1 and 255.");
    if (!type) Syntax("unknown field type '" + words + "'");
    c.type = *type;
    for (;;) {
        std::string name;
        if (Accept("constraint")) name = Name();
        if (Accept("not")) {
            Expect("null");
            c.notNull = true;
        } else if (Accept("null")) {
        } else if (Accept("primary")) {
            Expect("key");
            if (primaryKey) *primaryKey = true;
            if (constraintName && !name.empty()) *constraintName = name;
        } else if (Accept("unique")) {
            if (uniqueIndexes) uniqueIndexes->push_back(name.empty() ? c.name : name);
        } else if (Accept("default")) {
            std::string expr;
            int depth = 0;
            while (pos_ < t_.size()) {
                const SqlToken& t = Peek();
                if (depth == 0 &&
                    (t.Is(",") || t.Is(")") || t.Is(";") ||
                     (t.kind == SqlToken::Kind::Word && kConstraintWords.count(Lower(t.text)))))
                    break;
                if (t.Is("(")) ++depth;
                if (t.Is(")")) --depth;
                expr += t.space + AccessTranslator::TokenText(t);
                ++pos_;
            }
            if (expr.empty()) Syntax("default value expected");
            c.defaultSql = expr;
        } else if (Accept("references")) {
            Name();
            if (Peek().Is("(")) NameList();
        } else if (Accept("with")) {
            if (!Accept("compression") && !Accept("comp")) Syntax("COMPRESSION expected");
        } else if (!name.empty()) {
            Syntax("constraint expected");
        } else {
            break;
        }
    }
    return c;
}

void AccessSchema::Execute(const std::vector<SqlToken>& tokens) {
    t_ = tokens;
    pos_ = 0;
    if (Accept("create")) {
        if (Accept("table")) return CreateTable();
        bool unique = Accept("unique");
        Expect("index");
        return CreateIndex(unique);
    }
    if (Accept("alter")) {
        Expect("table");
        return AlterTable();
    }
    Expect("drop");
    if (Accept("table")) return DropTable();
    Expect("index");
    DropIndex();
}

void AccessSchema::MakeIndex(const std::string& table, const std::string& index,
                             const std::vector<std::string>& cols, bool unique, bool primaryKey) {
    std::string sql = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                      Q(IndexName(table, index)) + " ON " + Q(table) + " (";
    for (size_t i = 0; i < cols.size(); ++i) sql += (i ? ", " : "") + Q(cols[i]);
    Exec(sql + ")");
    if (primaryKey) {
        SqliteStatement keep(db_,
                             "INSERT OR REPLACE INTO tamaro_meta (key, value) VALUES (?1, ?2)");
        keep.Bind(1, "primarykey:" + Lower(table));
        keep.Bind(2, IndexName(table, index));
        keep.StepDone();
    }
}

void AccessSchema::ForgetPrimaryKey(const std::string& table, const std::string* index) {
    SqliteStatement forget(db_, index ? "DELETE FROM tamaro_meta WHERE key = ?1 AND value = ?2 "
                                        "COLLATE NOCASE"
                                      : "DELETE FROM tamaro_meta WHERE key = ?1");
    forget.Bind(1, "primarykey:" + Lower(table));
    if (index) forget.Bind(2, *index);
    forget.StepDone();
}

std::vector<AccessIndex> AccessSchema::Indexes(const std::string& storedTable) {
    std::string recorded;
    {
        SqliteStatement s(db_, "SELECT value FROM tamaro_meta WHERE key = ?1");
        s.Bind(1, "primarykey:" + Lower(storedTable));
        if (s.Step()) recorded = s.Text(0);
    }
    const std::string prefix = Lower(storedTable) + ":";
    std::vector<AccessIndex> out;
    SqliteStatement list(db_, "SELECT name, \"unique\" FROM pragma_index_list(?1) ORDER BY name");
    list.Bind(1, storedTable);
    while (list.Step()) {
        const std::string stored = list.Text(0);
        if (stored.compare(0, prefix.size(), prefix) != 0) continue;
        AccessIndex index;
        index.name = stored.substr(prefix.size());
        if (index.name.rfind("counter:", 0) == 0) continue;
        index.unique = sqlite3_column_int(list.get(), 1) != 0;
        index.primaryKey =
            strcasecmp(stored.c_str(), recorded.c_str()) == 0 || SameName(index.name, "PrimaryKey");
        SqliteStatement cols(db_,
                             "SELECT name, \"desc\" FROM pragma_index_xinfo(?1) WHERE key = 1 "
                             "ORDER BY seqno");
        cols.Bind(1, stored);
        while (cols.Step()) {
            index.columns.push_back(cols.Text(0));
            if (sqlite3_column_int(cols.get(), 1)) index.descending = true;
        }
        out.push_back(std::move(index));
    }
    return out;
}

// Access numbers a counter column itself when an insert leaves it empty.
// The index keeps the search for the highest number from reading the table.
void AccessSchema::MakeCounterTrigger(const std::string& table, const std::string& column) {
    Exec("CREATE INDEX IF NOT EXISTS " + Q(Lower(table) + ":counter:" + column) + " ON " +
         Q(table) + " (" + Q(column) + ")");
    Exec("CREATE TRIGGER " + Q(Lower(table) + ":counter:" + column) + " AFTER INSERT ON " +
         Q(table) + " WHEN NEW." + Q(column) + " IS NULL BEGIN UPDATE " + Q(table) + " SET " +
         Q(column) + " = (SELECT ifnull(max(" + Q(column) + "), 0) + 1 FROM " + Q(table) +
         ") WHERE rowid = NEW.rowid; END");
}

void AccessSchema::CreateTable() {
    std::string table = Name();
    if (!StoredTableName(table).empty())
        throw AccessError::Make("42S01", "The table '" + table + "' already exists.");
    Expect("(");
    std::vector<ColumnDef> cols;
    struct Index {
        std::string name;
        std::vector<std::string> cols;
        bool unique;
        bool primaryKey = false;
    };
    std::vector<Index> indexes;
    do {
        std::string cname;
        if (Accept("constraint")) cname = Name();
        if (Accept("primary")) {
            Expect("key");
            indexes.push_back({cname.empty() ? "PrimaryKey" : cname, NameList(), true, true});
        } else if (Accept("unique")) {
            auto names = NameList();
            indexes.push_back({cname.empty() ? names.front() : cname, names, true});
        } else if (Accept("foreign")) {
            // Relationships are not enforced by this driver.
            Expect("key");
            NameList();
            Expect("references");
            Name();
            if (Peek().Is("(")) NameList();
        } else {
            if (!cname.empty()) Syntax("constraint expected");
            std::vector<std::string> uniques;
            bool pk = false;
            std::string pkName = "PrimaryKey";
            ColumnDef c = ColumnDefinition(&uniques, &pk, &pkName);
            for (const ColumnDef& o : cols)
                if (SameName(o.name, c.name))
                    throw AccessError::Make(
                        "42S21", "The field '" + c.name + "' is defined more than once.");
            if (pk) indexes.push_back({pkName, {c.name}, true, true});
            for (auto& u : uniques) indexes.push_back({u, {c.name}, true});
            cols.push_back(std::move(c));
        }
    } while (Accept(","));
    Expect(")");
    ExpectEnd();
    if (cols.empty()) Syntax("field definition expected");
    std::string sql = "CREATE TABLE " + Q(table) + " (";
    for (size_t i = 0; i < cols.size(); ++i) sql += (i ? ", " : "") + ColumnSql(cols[i]);
    Exec("SAVEPOINT tamaro_ddl");
    try {
        Exec(sql + ")");
        for (const Index& ix : indexes)
            MakeIndex(table, ix.name, ix.cols, ix.unique, ix.primaryKey);
        for (const ColumnDef& c : cols)
            if (c.type.kind() == AccessType::Kind::Counter) MakeCounterTrigger(table, c.name);
        Exec("RELEASE tamaro_ddl");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK TO tamaro_ddl; RELEASE tamaro_ddl", nullptr, nullptr, nullptr);
        throw;
    }
}

// CREATE [UNIQUE] INDEX name ON table (col [ASC|DESC], ...)
//   [WITH PRIMARY | DISALLOW NULL | IGNORE NULL]
void AccessSchema::CreateIndex(bool unique) {
    std::string index = Name();
    Expect("on");
    std::string table = RequireTable(Name());
    auto cols = NameList();
    bool primaryKey = false;
    if (Accept("with")) {
        do {
            if (Accept("primary"))
                unique = primaryKey = true;
            else if (Accept("disallow") || Accept("ignore"))
                Expect("null");
            else
                Syntax("PRIMARY, DISALLOW NULL or IGNORE NULL expected");
        } while (Peek().kind == SqlToken::Kind::Word);
    }
    ExpectEnd();
    MakeIndex(table, index, cols, unique, primaryKey);
}

void AccessSchema::DropIndex() {
    std::string index = Name();
    Expect("on");
    std::string table = RequireTable(Name());
    ExpectEnd();
    const std::string stored = IndexName(table, index);
    Exec("DROP INDEX " + Q(stored));
    ForgetPrimaryKey(table, &stored);
}

void AccessSchema::DropTable() {
    std::string table = RequireTable(Name());
    ExpectEnd();
    Exec("DROP TABLE " + Q(table));
    ForgetPrimaryKey(table, nullptr);
}

void AccessSchema::AlterTable() {
    std::string table = RequireTable(Name());
    if (Accept("add")) {
        std::string cname;
        bool isConstraint = false;
        if (Accept("constraint")) {
            cname = Name();
            isConstraint = true;
        }
        if (isConstraint || Peek().Is("primary") || Peek().Is("unique")) {
            bool pk = Accept("primary");
            if (pk)
                Expect("key");
            else
                Expect("unique");
            auto cols = NameList();
            ExpectEnd();
            return MakeIndex(table, cname.empty() ? (pk ? "PrimaryKey" : cols.front()) : cname,
                             cols, true, pk);
        }
        Accept("column");
        std::vector<std::string> uniques;
        bool pk = false;
        std::string pkName = "PrimaryKey";
        ColumnDef c = ColumnDefinition(&uniques, &pk, &pkName);
        ExpectEnd();
        for (const ColumnDef& o : Columns(table))
            if (SameName(o.name, c.name))
                throw AccessError::Make(
                    "42S21",
                    "The field '" + c.name + "' already exists in the table '" + table + "'.");
        Exec("SAVEPOINT tamaro_ddl");
        try {
            Exec("ALTER TABLE " + Q(table) + " ADD COLUMN " + ColumnSql(c));
            if (c.type.kind() == AccessType::Kind::Counter) {
                Exec("UPDATE " + Q(table) + " SET " + Q(c.name) + " = rowid");
                MakeCounterTrigger(table, c.name);
            }
            if (pk) MakeIndex(table, pkName, {c.name}, true, true);
            for (auto& u : uniques) MakeIndex(table, u, {c.name}, true);
            Exec("RELEASE tamaro_ddl");
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK TO tamaro_ddl; RELEASE tamaro_ddl", nullptr, nullptr,
                         nullptr);
            throw;
        }
        return;
    }
    if (Accept("alter")) {
        Accept("column");
        ColumnDef c = ColumnDefinition(nullptr, nullptr, nullptr);
        ExpectEnd();
        auto cols = Columns(table);
        std::vector<std::string> sources;
        bool found = false;
        for (ColumnDef& o : cols) {
            if (SameName(o.name, c.name)) {
                found = true;
                c.name = o.name;
                std::string q = Q(o.name);
                if (c.type.IsInteger() && !o.type.IsInteger())
                    sources.push_back("CASE WHEN typeof(" + q + ")='real' THEN CAST(round(" + q +
                                      ") AS INTEGER) WHEN typeof(" + q + ")='text' AND trim(" + q +
                                      ")='' THEN NULL ELSE " + q + " END");
                else
                    sources.push_back(q);
                o = c;
            } else {
                sources.push_back(Q(o.name));
            }
        }
        if (!found)
            throw AccessError::Make(
                "42S22", "The field '" + c.name + "' does not exist in the table '" + table + "'.");
        return Rebuild(table, cols, sources, "");
    }
    Expect("drop");
    if (Accept("constraint")) {
        std::string name = Name();
        ExpectEnd();
        SqliteStatement s(db_,
                          "SELECT name FROM sqlite_master WHERE type='index' AND tbl_name=?1 "
                          "COLLATE NOCASE AND name=?2 COLLATE NOCASE");
        s.Bind(1, table);
        s.Bind(2, IndexName(table, name));
        if (!s.Step())
            throw AccessError::Make("42S12",
                                    "The table '" + table + "' has no constraint '" + name + "'.");
        std::string stored = s.Text(0);
        s = SqliteStatement();
        Exec("DROP INDEX " + Q(stored));
        ForgetPrimaryKey(table, &stored);
        return;
    }
    Accept("column");
    std::string column = Name();
    ExpectEnd();
    auto old = Columns(table);
    std::vector<ColumnDef> cols;
    std::vector<std::string> sources;
    std::string dropped;
    for (const ColumnDef& o : old) {
        if (SameName(o.name, column)) {
            dropped = o.name;
            continue;
        }
        cols.push_back(o);
        sources.push_back(Q(o.name));
    }
    if (dropped.empty())
        throw AccessError::Make(
            "42S22", "The field '" + column + "' does not exist in the table '" + table + "'.");
    if (cols.empty())
        throw AccessError::Make("42000",
                                "The last field of the table '" + table + "' cannot be deleted.");
    Rebuild(table, cols, sources, dropped);
}

void AccessSchema::Rebuild(const std::string& table, const std::vector<ColumnDef>& cols,
                           const std::vector<std::string>& sources, const std::string& dropped) {
    // Indexes (other than SQLite's own) are re-created on the new table; one
    // that covers a dropped column goes with it.
    std::vector<std::string> indexSql;
    {
        SqliteStatement s(db_,
                          "SELECT name, sql FROM sqlite_master WHERE type='index' AND tbl_name=?1 "
                          "AND sql IS NOT NULL");
        s.Bind(1, table);
        while (s.Step()) {
            std::string name = s.Text(0), sql = s.Text(1);
            bool keep = true;
            if (!dropped.empty()) {
                SqliteStatement info(db_, "SELECT name FROM pragma_index_info(?1)");
                info.Bind(1, name);
                while (info.Step())
                    if (SameName(info.Text(0), dropped)) keep = false;
            }
            if (keep) indexSql.push_back(sql);
        }
    }
    std::string tmp = "tamaro_rebuild_" + table;
    std::string create = "CREATE TABLE " + Q(tmp) + " (";
    std::string into, select;
    for (size_t i = 0; i < cols.size(); ++i) {
        create += (i ? ", " : "") + ColumnSql(cols[i]);
        if (sources[i].empty()) continue;
        into += (into.empty() ? "" : ", ") + Q(cols[i].name);
        select += (select.empty() ? "" : ", ") + sources[i];
    }
    Exec("SAVEPOINT tamaro_rebuild");
    try {
        Exec(create + ")");
        Exec("INSERT INTO " + Q(tmp) + " (" + into + ") SELECT " + select + " FROM " + Q(table) +
             " ORDER BY rowid");
        Exec("DROP TABLE " + Q(table));
        Exec("ALTER TABLE " + Q(tmp) + " RENAME TO " + Q(table));
        for (const std::string& sql : indexSql) Exec(sql);
        for (const ColumnDef& c : cols)
            if (c.type.kind() == AccessType::Kind::Counter) MakeCounterTrigger(table, c.name);
        Exec("RELEASE tamaro_rebuild");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK TO tamaro_rebuild; RELEASE tamaro_rebuild", nullptr, nullptr,
                     nullptr);
        throw;
    }
}

}  // namespace accessdrv
