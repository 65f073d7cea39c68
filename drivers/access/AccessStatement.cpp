#include "drivers/access/AccessStatement.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

#include "core/Cp1252.h"
#include "drivers/access/AccessCollation.h"
#include "drivers/access/AccessError.h"
#include "drivers/access/AccessResultSet.h"
#include "drivers/access/AccessSchema.h"
#include "drivers/access/AccessTranslator.h"
#include "drivers/common/values/Datetime.h"
#include "drivers/common/values/TypeInfo.h"

namespace accessdrv {

namespace {

using odbcdrv::ColumnInfo;
using odbcdrv::Value;

bool IsName(const SqlToken& t) {
    return t.kind == SqlToken::Kind::Name || t.kind == SqlToken::Kind::Word;
}

bool IsComparison(const SqlToken& t) {
    static const char* ops[] = {"=", "<>", "!=", "<", ">", "<=", ">=", "like"};
    for (const char* op : ops)
        if (t.Is(op)) return true;
    return false;
}

// Dates are stored as 'YYYY-MM-DD HH:MM:SS'; a time alone on Access's day zero.
std::string StoredDate(const Value& v) {
    char buf[40];
    const SQL_TIMESTAMP_STRUCT& t = v.ts;
    if (v.kind == Value::Kind::Time)
        std::snprintf(buf, sizeof buf, "1899-12-30 %02u:%02u:%02u", t.hour, t.minute, t.second);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day,
                      v.kind == Value::Kind::Date ? 0u : t.hour,
                      v.kind == Value::Kind::Date ? 0u : t.minute,
                      v.kind == Value::Kind::Date ? 0u : t.second);
    return buf;
}

void Bind(sqlite3_stmt* s, int index, const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            sqlite3_bind_null(s, index);
            break;
        case Value::Kind::Int:
            sqlite3_bind_int64(s, index, v.i);
            break;
        case Value::Kind::Double:
            sqlite3_bind_double(s, index, v.d);
            break;
        case Value::Kind::Decimal:
            // The column's numeric affinity turns the digits into its number.
            sqlite3_bind_text(s, index, v.s.data(), int(v.s.size()), SQLITE_TRANSIENT);
            break;
        case Value::Kind::Text: {
            std::string u = cp1252::ToUtf8(v.s);
            sqlite3_bind_text(s, index, u.data(), int(u.size()), SQLITE_TRANSIENT);
            break;
        }
        case Value::Kind::Binary:
            sqlite3_bind_blob(s, index, v.s.data(), int(v.s.size()), SQLITE_TRANSIENT);
            break;
        case Value::Kind::Date:
        case Value::Kind::Time:
        case Value::Kind::Timestamp: {
            std::string d = StoredDate(v);
            sqlite3_bind_text(s, index, d.data(), int(d.size()), SQLITE_TRANSIENT);
            break;
        }
    }
}

}  // namespace

AccessStatement::AccessStatement(odbcdrv::Connection& conn, std::function<void()> beginIfManual,
                                 sqlite3* db, const std::string& sql1252, bool check)
    : conn_(conn),
      beginIfManual_(std::move(beginIfManual)),
      db_(db),
      tokens_(AccessLexer::Tokenize(cp1252::ToUtf8(sql1252))) {
    size_t first = 0;
    while (first < tokens_.size() && tokens_[first].Is("(")) ++first;
    if (first == tokens_.size())
        throw AccessError::Make("42000", "Invalid SQL statement: the statement is empty.");
    const SqlToken& verb = tokens_[first];
    markers_ = AccessTranslator::CountMarkers(tokens_);
    // SQLNumParams counts in a SQLSMALLINT.
    if (markers_ > 32767)
        throw AccessError::Make("42000", "The statement has " + std::to_string(markers_) +
                                             " parameter markers; at most 32767 are allowed.");
    if (verb.Is("create") || verb.Is("alter") || verb.Is("drop")) {
        define_ = true;
        return;
    }
    query_ = verb.Is("select");
    searched_ = verb.Is("update") || verb.Is("delete");
    insert_ = verb.Is("insert");
    if (!query_ && !searched_ && !insert_)
        throw AccessError::Make("42000",
                                "Invalid SQL statement; expected 'DELETE', 'INSERT', 'SELECT', "
                                "'UPDATE', 'CREATE', 'ALTER' or 'DROP'.");
    DatesFromText();
    sqlite_ = AccessTranslator::Translate(TextOrder());
    if (!check) return;
    SqliteStatement compiled = Compile();
    if (query_) {
        std::vector<AccessType> types;
        AccessResultSet::Describe(compiled.get(), false, columns_, types);
    }
}

SqliteStatement AccessStatement::Compile() const {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, sqlite_.c_str(), int(sqlite_.size()), &raw, &tail);
    SqliteStatement stmt(raw);
    if (rc != SQLITE_OK) throw AccessError::FromSqlite(db_, rc);
    if (!raw) throw AccessError::Make("42000", "Invalid SQL statement: the statement is empty.");
    for (; tail && *tail; ++tail)
        if (*tail != ';' && *tail != ' ' && *tail != '\t' && *tail != '\r' && *tail != '\n')
            throw AccessError::Make("42000", "Characters found after end of SQL statement.");
    // Only the numbered markers of the translation: SQLite's named forms
    // (":x", "@x", "$x") are no Access SQL.
    const int count = sqlite3_bind_parameter_count(raw);
    bool numbered = size_t(count) == markers_;
    for (int i = 1; numbered && i <= count; ++i) {
        const char* name = sqlite3_bind_parameter_name(raw, i);
        numbered = name && std::string(name) == "?" + std::to_string(i);
    }
    if (!numbered)
        throw AccessError::Make("42000",
                                "Syntax error: parameters are written as '?' in this dialect.");
    if (query_ && !sqlite3_stmt_readonly(raw))
        // A query must not change anything (SQLite would accept, e.g., a
        // RETURNING clause hidden in a sub-statement).
        throw AccessError::Make("42000", "Invalid SQL statement: a query must not change data.");
    return stmt;
}

odbcdrv::ExecResult AccessStatement::Execute(const std::vector<Value>& params) {
    if (params.size() < markers_) throw odbcdrv::UnboundParameters(markers_, params.size());
    beginIfManual_();
    odbcdrv::ExecResult result;
    if (define_) {
        AccessSchema(db_).Execute(tokens_);
        return result;
    }
    SqliteStatement stmt = !query_ && reusable_.get() ? std::move(reusable_) : Compile();
    for (size_t i = 0; i < markers_; ++i) Bind(stmt.get(), int(i + 1), params[i]);
    if (query_) {
        bool hasRow = stmt.Step();
        result.rows = std::make_unique<AccessResultSet>(std::move(stmt), hasRow);
        return result;
    }
    stmt.StepDone();
    result.rowCount = SQLLEN(sqlite3_changes(db_));
    result.searchedUpdateOrDelete = searched_;
    // Reset, it holds no lock; SQLite compiles it again by itself should the
    // schema change in between.
    sqlite3_reset(stmt.get());
    sqlite3_clear_bindings(stmt.get());
    reusable_ = std::move(stmt);
    return result;
}

std::string AccessStatement::ColumnOfMarker(size_t i, std::vector<std::string>& tables,
                                            bool* pattern) const {
    size_t at = tokens_.size(), seen = 0;
    for (size_t k = 0; k < tokens_.size() && at == tokens_.size(); ++k)
        if (tokens_[k].Is("?") && seen++ == i) at = k;
    return ColumnAt(at, tables, pattern);
}

const ColumnInfo* AccessStatement::FindColumn(const std::string& column,
                                              const std::vector<std::string>& tables) {
    const std::string name = cp1252::FromUtf8(column);
    for (const std::string& table : tables) {
        auto known = tableColumns_.find(table);
        if (known == tableColumns_.end())
            known = tableColumns_.emplace(table, conn_.TableColumns(cp1252::FromUtf8(table))).first;
        for (const ColumnInfo& c : known->second)
            if (strcasecmp(c.name.c_str(), name.c_str()) == 0) return &c;
    }
    return nullptr;
}

void AccessStatement::DatesFromText() {
    for (size_t k = 0; k < tokens_.size(); ++k) {
        SqlToken& t = tokens_[k];
        if (t.kind != SqlToken::Kind::String) continue;
        std::vector<std::string> tables;
        bool pattern = false;
        const std::string column = ColumnAt(k, tables, &pattern);
        if (column.empty() || pattern) continue;
        const ColumnInfo* c = FindColumn(column, tables);
        if (!c || !odbcdrv::IsDatetime(c->sqlType)) continue;
        // Read as a character parameter for the column is (StmtHandle).
        std::string content;
        for (size_t i = 1; i + 1 < t.text.size(); ++i) {
            content += t.text[i];
            if (t.text[i] == t.text[0]) ++i;  // a doubled quote stands for itself
        }
        content = cp1252::FromUtf8(content);
        t.kind = SqlToken::Kind::Date;
        t.text = StoredDate(odbcdrv::ToDatetime(Value::String(content), c->sqlType));
    }
}

std::vector<std::string> AccessStatement::Tables() const {
    std::vector<std::string> tables;
    for (size_t k = 0; k + 1 < tokens_.size(); ++k) {
        const SqlToken& t = tokens_[k];
        if ((t.Is("into") || t.Is("update") || t.Is("from") || t.Is("join")) &&
            IsName(tokens_[k + 1]))
            tables.push_back(tokens_[k + 1].text);
    }
    return tables;
}

std::vector<SqlToken> AccessStatement::TextOrder() {
    std::vector<std::string> tables;
    bool tablesRead = false;
    // Whether the token is a text literal or a text column of the tables.
    auto text = [&](size_t k) {
        if (k >= tokens_.size()) return false;
        const SqlToken& t = tokens_[k];
        if (t.kind == SqlToken::Kind::String) return true;
        if (!IsName(t)) return false;
        if (!tablesRead) tables = Tables(), tablesRead = true;
        const ColumnInfo* c = FindColumn(t.text, tables);
        return c && odbcdrv::IsCharType(c->sqlType);
    };
    std::vector<std::pair<size_t, const char*>> inserts;  // before the token at
    for (size_t k = 0; k < tokens_.size(); ++k) {
        const SqlToken& t = tokens_[k];
        if (t.kind == SqlToken::Kind::Punct &&
            (t.text == "<" || t.text == ">" || t.text == "<=" || t.text == ">=")) {
            if (k > 0 && (text(k - 1) || text(k + 1)))
                inserts.emplace_back(k, AccessCollation::kCompare);
        } else if (t.Is("between") && k > 0) {
            const size_t at = tokens_[k - 1].Is("not") ? k - 1 : k;
            const bool upper = k + 3 < tokens_.size() && tokens_[k + 2].Is("and");
            if (at > 0 && (text(at - 1) || text(k + 1) || (upper && text(k + 3))))
                inserts.emplace_back(at, AccessCollation::kCompare);
        } else if ((t.Is("min") || t.Is("max")) && k + 1 < tokens_.size() &&
                   tokens_[k + 1].Is("(")) {
            size_t close = k + 2;
            for (int depth = 1; close < tokens_.size(); ++close) {
                if (tokens_[close].Is("(")) ++depth;
                if (tokens_[close].Is(")") && --depth == 0) break;
            }
            if (close >= tokens_.size()) continue;
            // A single column or number keeps its own order (and the index
            // that finds it); an expression may be text.
            const bool single = close == k + 3 && (tokens_[k + 2].kind == SqlToken::Kind::Number ||
                                                   IsName(tokens_[k + 2]));
            if (!single || text(k + 2)) inserts.emplace_back(close, AccessCollation::kSort);
        }
    }
    if (inserts.empty()) return tokens_;
    std::sort(inserts.begin(), inserts.end());
    std::vector<SqlToken> out;
    out.reserve(tokens_.size() + inserts.size());
    size_t next = 0;
    for (size_t k = 0; k < tokens_.size(); ++k) {
        for (; next < inserts.size() && inserts[next].first == k; ++next) {
            SqlToken collate;
            collate.kind = SqlToken::Kind::Synthetic;
            collate.text = std::string("COLLATE ") + inserts[next].second;
            collate.space = " ";
            out.push_back(std::move(collate));
        }
        out.push_back(tokens_[k]);
    }
    return out;
}

std::string AccessStatement::ColumnAt(size_t at, std::vector<std::string>& tables,
                                      bool* pattern) const {
    tables = Tables();
    if (at >= tokens_.size()) return {};
    if (pattern) *pattern = false;
    // "col = ?", "t.col <> ?", "? = col", "col like ?"
    if (at >= 2 && IsComparison(tokens_[at - 1]) && IsName(tokens_[at - 2])) {
        if (pattern) *pattern = tokens_[at - 1].Is("like");
        return tokens_[at - 2].text;
    }
    if (at + 2 < tokens_.size() && IsComparison(tokens_[at + 1]) && IsName(tokens_[at + 2])) {
        if (pattern) *pattern = tokens_[at + 1].Is("like");
        return tokens_[at + 2].text;
    }
    // The name before `word` at `k` ("col [not] between", "col [not] in").
    auto nameBefore = [&](size_t k, const char* word) -> std::string {
        if (!tokens_[k].Is(word) || k < 1) return {};
        if (k >= 2 && tokens_[k - 1].Is("not")) --k;
        return IsName(tokens_[k - 1]) ? tokens_[k - 1].text : std::string();
    };
    // "col between ? and ?": the value right after BETWEEN or after its AND.
    if (at >= 2) {
        if (std::string c = nameBefore(at - 1, "between"); !c.empty()) return c;
        if (at >= 4 && tokens_[at - 1].Is("and"))
            if (std::string c = nameBefore(at - 3, "between"); !c.empty()) return c;
    }
    // "col in (?, 'x', ?)": values alone between the commas of the list.
    if (at >= 3 && (tokens_[at - 1].Is("(") || tokens_[at - 1].Is(",")) &&
        at + 1 < tokens_.size() && (tokens_[at + 1].Is(",") || tokens_[at + 1].Is(")"))) {
        size_t k = at - 1;
        while (k >= 2 && tokens_[k].Is(",")) k -= 2;
        if (tokens_[k].Is("(") && k >= 2)
            if (std::string c = nameBefore(k - 1, "in"); !c.empty()) return c;
    }
    if (!insert_) return {};
    // insert into t [(c1, c2, ...)] values (e1, e2, ...): the column of the
    // value that is this marker alone.
    size_t values = 0;
    while (values < tokens_.size() && !tokens_[values].Is("values")) ++values;
    if (values + 1 >= tokens_.size() || !tokens_[values + 1].Is("(") || at < values) return {};
    size_t position = 0;
    int depth = 0;
    for (size_t k = values + 1; k < at; ++k) {
        if (tokens_[k].Is("(")) ++depth;
        if (tokens_[k].Is(")")) --depth;
        if (depth == 1 && tokens_[k].Is(",")) ++position;
    }
    if (depth != 1 || !(tokens_[at - 1].Is("(") || tokens_[at - 1].Is(",")) ||
        at + 1 >= tokens_.size() || !(tokens_[at + 1].Is(",") || tokens_[at + 1].Is(")")))
        return {};
    std::vector<std::string> listed;
    size_t into = 0;
    while (into < values && !tokens_[into].Is("into")) ++into;
    if (into + 2 < values && tokens_[into + 2].Is("("))
        for (size_t k = into + 3; k < values && !tokens_[k].Is(")"); ++k)
            if (IsName(tokens_[k])) listed.push_back(tokens_[k].text);
    if (!listed.empty()) return position < listed.size() ? listed[position] : std::string();
    if (tables.empty()) return {};
    std::vector<ColumnInfo> cols = conn_.TableColumns(cp1252::FromUtf8(tables.front()));
    return position < cols.size() ? cp1252::ToUtf8(cols[position].name) : std::string();
}

ColumnInfo AccessStatement::DescribeParam(size_t i) {
    std::vector<std::string> tables;
    bool pattern = false;
    const std::string column = define_ ? std::string() : ColumnOfMarker(i, tables, &pattern);
    if (!column.empty())
        if (const ColumnInfo* c = FindColumn(column, tables);
            c && !(pattern && odbcdrv::IsDatetime(c->sqlType))) {
            ColumnInfo p = *c;
            p.name.clear();
            p.nullable = SQL_NULLABLE;
            return p;
        }
    ColumnInfo text;
    text.sqlType = SQL_VARCHAR;
    text.typeName = "VARCHAR";
    text.columnSize = 255;
    text.nullable = SQL_NULLABLE_UNKNOWN;
    return text;
}

}  // namespace accessdrv
