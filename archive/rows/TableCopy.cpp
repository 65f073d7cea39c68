#include "archive/rows/TableCopy.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "archive/rows/BinaryValues.h"
#include "archive/rows/ColumnText.h"
#include "archive/rows/PidIndex.h"
#include "archive/rows/SqlLiteral.h"
#include "archive/rows/StatementObserver.h"
#include "core/AsciiText.h"
#include "core/ContentHash.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"
#include "db/ValueBuffer.h"

namespace {

bool EqualNoCase(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

bool IsTextType(SQLSMALLINT type) {
    return type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR ||
           type == SQL_NUMERIC || type == SQL_DECIMAL || type == SQL_BIGINT;
}

bool IsBinaryType(SQLSMALLINT type) {
    return type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
}

char QuoteOf(const ArchiveDbPair& dest) {
    return dest.Extension == ".fdb" ? '\'' : '#';
}

void TrimCommaBlank(std::string& s) {
    while (!s.empty() && (s.back() == ',' || s.back() == ' ')) s.pop_back();
}

}  // namespace

bool TableCopy::Copy(ArchiveDbPair& source, const std::string& table, ArchiveDbPair* targetList,
                     int64_t& rows, RowsPrint* print) {
    rows = 0;
    failures_ = 0;
    quiet_ = false;
    printer_.reset();
    ArchiveDbPair* dest = FindDatabaseForTable(targetList, table);
    if (!dest) {
        AppendLog("Tabelle " + table + " in " + targetList->DisplayName + " nicht gefunden.",
                  ColourRed);
        return false;
    }
    AppendLog("• " + source.DisplayName + "." + table + "...", 0, LogNoLineEnd);
    ODBCStmt select(source.Connection);
    ODBCStmt insert(dest->Connection);
    quote_ = QuoteOf(*dest);
    blankColumns_.clear();
    prepared_.clear();
    heads_.clear();
    literalTable_ = false;

    // Long pid lists are selected in parts (Firebird's in-list limit), by
    // ranged conditions where the table has no pid index on Firebird.
    bool selected = true;
    const std::vector<std::string> conditions = PidConditions(source, table, pidParts_);
    for (size_t i = 0; i < conditions.size(); ++i) {
        if (i > 0) select.Reset();
        const std::string sql = "select * from " + table + " where " + conditions[i];
        ObserveStatement(source, sql);
        if (!SqlExecuted(select.Execute(sql))) {
            AppendLog(
                "\r\nFehler beim Transfer: " + source.Connection.GetErrorText(select.Handle()),
                ColourRed);
            failures_ = 1;
            selected = false;
            break;
        }
        if (!CopyRows(source, select, dest, &insert, table, rows)) break;
    }
    if (print) *print = printer_ ? printer_->Total() : RowsPrint();

    if (selected) {
        for (const std::string& column : blankColumns_) {
            const std::string name = ColumnReference(column);
            const std::string sql =
                "update " + table + " set " + name + "='' where " + name + " is null";
            ObserveStatement(*dest, sql);
            insert.Execute(sql);
            insert.Reset();
        }
    }
    blankColumns_.clear();
    prepared_.clear();
    heads_.clear();
    select.Reset();
    if (failures_ == 0) AppendLog(" (" + std::to_string(rows) + " Einträge)", ColourCount);
    return failures_ == 0;
}

bool TableCopy::Print(ArchiveDbPair& db, const std::string& table, const ArchiveDbPair& quoteOf,
                      RowsPrint& total, std::map<int64_t, RowsPrint>* perPatient,
                      std::string* error) {
    failures_ = 0;
    quiet_ = true;
    printer_.reset();
    quote_ = QuoteOf(quoteOf);
    ODBCStmt select(db.Connection);
    int64_t rows = 0;
    bool ok = true;
    const std::vector<std::string> conditions = PidConditions(db, table, pidParts_);
    for (size_t i = 0; i < conditions.size() && ok; ++i) {
        if (i > 0) select.Reset();
        const std::string sql = "select * from " + table + " where " + conditions[i];
        ok =
            SqlExecuted(select.Execute(sql)) && CopyRows(db, select, nullptr, nullptr, table, rows);
    }
    if (!ok && error) *error = db.Connection.GetErrorText(select.Handle());
    blankColumns_.clear();
    quiet_ = false;
    if (!ok) return false;
    total = printer_ ? printer_->Total() : RowsPrint();
    if (perPatient)
        *perPatient = printer_ ? printer_->PerPatient() : std::map<int64_t, RowsPrint>();
    return true;
}

bool TableCopy::CopyRows(ArchiveDbPair& source, ODBCStmt& select, ArchiveDbPair* dest,
                         ODBCStmt* insert, const std::string& table, int64_t& rows) {
    const char quote = quote_;
    const char* skipped = RenumberedColumn(table);
    // The result columns are the same for every row of the select.
    const std::vector<Column> columns = select.ResultColumns();
    std::vector<Bound> bound;
    if (!printer_) {
        std::vector<std::string> names;
        for (const Column& c : columns) names.push_back(c.name);
        printer_ = std::make_unique<RowPrinter>(table, names);
    }
    while (true) {
        SQLRETURN rc = SQLFetch(select.Handle());
        if (rc == SQL_NO_DATA) return true;
        if (!SqlSucceeded(rc)) {
            // Rows not fetched would be deleted uncopied: the run must fail.
            if (!quiet_)
                AppendLog(
                    "\r\nFehler beim Transfer: " + source.Connection.GetErrorText(select.Handle()),
                    ColourRed);
            failures_ = 1;
            return false;
        }
        std::string key(columns.size(), '-');  // the columns the row names
        literals_.clear();
        bound.clear();
        for (size_t i = 0; i < columns.size(); ++i) {
            const Column& column = columns[i];
            std::string literal;
            Bound value;
            const Outcome outcome =
                ColumnLiteral(source, select, SQLUSMALLINT(i + 1), column, quote, literal, value);
            if (outcome == Outcome::ReadFailed) break;
            if (outcome == Outcome::LeftOut) continue;
            if (skipped && EqualNoCase(column.name, skipped)) continue;
            if (outcome == Outcome::UnknownType) {
                if (!quiet_)
                    AppendLog("\r\nUnbekannter Datentyp " + column.name + ":" +
                                  std::to_string(column.type),
                              ColourRed);
                ++failures_;
                continue;
            }
            key[i] = '+';
            printer_->Value(i, literal == "?" ? binaryPrint_ : literal);
            literals_.push_back(std::move(literal));
            bound.push_back(std::move(value));
        }
        if (failures_ != 0) {
            binaryValues_.Clear();
            return false;
        }
        if (!dest) {
            // Read for a print only.
            binaryValues_.Clear();
            printer_->EndRow();
            ++rows;
            continue;
        }

        const std::string& names = InsertHead(table, columns, key);
        // The literal text: executed on the literal path, otherwise made for
        // a listener or the failure message only.
        auto literalText = [&] {
            std::string text = names;
            for (const std::string& literal : literals_) text += literal + ", ";
            TrimCommaBlank(text);
            return text + ")";
        };
        bool inserted = false;
        SQLHSTMT failedHandle = insert->Handle();
        if (!literalInserts_ && !literalTable_) {
            if (StatementObserverSet()) ObserveStatement(*dest, literalText());
            void* handle = nullptr;
            const Insert outcome = InsertBound(*dest, key, names, bound, &handle);
            inserted = outcome == Insert::Done;
            if (handle) failedHandle = static_cast<SQLHSTMT>(handle);
            // A destination that cannot prepare the insert gets this
            // table's rows as literal statements.
            literalTable_ = outcome == Insert::NotPrepared;
        }
        if (literalInserts_ || literalTable_) {
            if (!literalInserts_)
                for (Bound& value : bound)
                    if (value.cType == SQL_C_BINARY) binaryValues_.Add(std::move(value.bytes));
            const std::string sql = literalText();
            ObserveStatement(*dest, sql);
            const bool bindOk = binaryValues_.Empty() || binaryValues_.Bind(insert->Handle());
            inserted = bindOk && SqlExecuted(insert->Execute(sql));
            failedHandle = insert->Handle();
            if (!binaryValues_.Empty()) SQLFreeStmt(insert->Handle(), SQL_RESET_PARAMS);
            if (inserted) insert->Reset();
        }
        binaryValues_.Clear();
        if (!inserted) {
            AppendLog("\r\nFehler beim Einfügen:\r\n" + literalText() + "\r\n" +
                          dest->Connection.GetErrorText(failedHandle),
                      ColourRed);
            failures_ = 1;
            return false;
        }
        printer_->EndRow();
        ++rows;
        rowsInserted_ = true;
        if (hook_ && !hook_()) {
            failures_ = 1;
            return false;
        }
    }
}

const std::string& TableCopy::InsertHead(const std::string& table,
                                         const std::vector<Column>& columns,
                                         const std::string& key) {
    std::string& head = heads_[key];
    if (!head.empty()) return head;
    head = "insert into " + table + " (";
    for (size_t i = 0; i < columns.size(); ++i)
        if (key[i] == '+') head += ColumnReference(columns[i].name) + ", ";
    TrimCommaBlank(head);
    head = asciitext::Lower(head + ") values (");
    return head;
}

TableCopy::Outcome TableCopy::ColumnLiteral(ArchiveDbPair& source, ODBCStmt& select,
                                            unsigned short n, const Column& column, char quote,
                                            std::string& literal, Bound& bound) {
    const SQLHSTMT h = select.Handle();
    SQLLEN indicator = 0;
    SQLRETURN rc = SQL_SUCCESS;
    std::string text;
    auto read = [&](SQLSMALLINT cType, SQLLEN size) {
        ValueBuffer[0] = 0;
        rc = SQLGetData(h, n, cType, ValueBuffer, size, &indicator);
    };
    switch (column.type) {
        case SQL_BIT:
            read(SQL_C_BIT, 1);
            break;
        case SQL_TINYINT:
            read(SQL_C_UTINYINT, 1);
            break;
        case SQL_INTEGER:
            read(SQL_C_SLONG, 4);
            break;
        case SQL_SMALLINT:
            read(SQL_C_SSHORT, 2);
            break;
        case SQL_DOUBLE:
        case SQL_FLOAT:
        case SQL_REAL:
            read(SQL_C_DOUBLE, 8);
            break;
        case SQL_TYPE_DATE:
            read(SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT));
            break;
        case SQL_TYPE_TIME:
            read(SQL_C_TYPE_TIME, sizeof(SQL_TIME_STRUCT));
            break;
        case SQL_TYPE_TIMESTAMP:
            read(SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT));
            break;
        default:
            if (IsTextType(column.type)) {
                // Numbers of these types are asked for as text: their
                // default C types would deliver them in binary form.
                rc = ReadColumnText(h, n, text, indicator) ? SQL_SUCCESS : SQL_ERROR;
            } else if (IsBinaryType(column.type)) {
                rc = ReadColumnBytes(h, n, text, indicator) ? SQL_SUCCESS : SQL_ERROR;
            } else {
                read(SQL_C_DEFAULT, SQLLEN(ValueBufferSize));
            }
            break;
    }
    if (!SqlSucceeded(rc)) {
        // Without a value of its own the column cannot be written, and
        // leaving it out would lose it: the row fails the run.
        if (!quiet_)
            AppendLog("\r\nFehler beim Lesen von " + column.name + ": " +
                          source.Connection.GetErrorText(h),
                      ColourRed);
        failures_ = 1;
        return Outcome::ReadFailed;
    }
    if (IsBinaryType(column.type) && indicator != SQL_NULL_DATA) {
        // An empty binary value stays empty, as a parameter of no bytes.
        literal = "?";
        // Its fingerprint stands for the bytes in the row's print.
        ContentHash bytes;
        bytes.Update(text.data(), text.size());
        binaryPrint_ =
            "bytes:" + std::to_string(text.size()) + ":" + ContentHash::Hex(bytes.Value());
        bound.cType = SQL_C_BINARY;
        bound.sqlType = SQL_LONGVARBINARY;
        bound.indicator = long(text.size());
        if (literalInserts_)
            binaryValues_.Add(std::move(text));
        else
            bound.bytes = std::move(text);
        return Outcome::Written;
    }
    if (indicator < 1) {
        if (IsTextType(column.type)) blankColumns_.insert(column.name);
        return Outcome::LeftOut;
    }

    switch (column.type) {
        case SQL_BIT: {
            // A Firebird boolean takes no number.
            if (quote == '\'')
                literal = ValueBuffer[0] != 0 ? "true" : "false";
            else
                literal = ValueBuffer[0] != 0 ? "1" : "0";
            const char bit = ValueBuffer[0] != 0 ? 1 : 0;
            bound = {SQL_C_BIT, SQL_BIT, std::string(1, bit), 0};
            break;
        }
        case SQL_TINYINT:
            literal = std::to_string(int(static_cast<unsigned char>(ValueBuffer[0])));
            bound = {SQL_C_UTINYINT, SQL_TINYINT, std::string(ValueBuffer, 1), 0};
            break;
        case SQL_INTEGER: {
            int32_t v;
            std::memcpy(&v, ValueBuffer, sizeof v);
            literal = std::to_string(v);
            bound = {SQL_C_SLONG, SQL_INTEGER, std::string(ValueBuffer, sizeof v), 0};
            break;
        }
        case SQL_SMALLINT: {
            int16_t v;
            std::memcpy(&v, ValueBuffer, sizeof v);
            literal = std::to_string(v);
            bound = {SQL_C_SSHORT, SQL_SMALLINT, std::string(ValueBuffer, sizeof v), 0};
            break;
        }
        case SQL_DOUBLE:
        case SQL_FLOAT:
        case SQL_REAL: {
            double v;
            std::memcpy(&v, ValueBuffer, sizeof v);
            literal = DoubleLiteral(v);
            // The literal reads back as exactly this double.
            bound = {SQL_C_DOUBLE, SQL_DOUBLE, std::string(ValueBuffer, sizeof v), 0};
            break;
        }
        case SQL_TYPE_DATE: {
            SQL_DATE_STRUCT d;
            std::memcpy(&d, ValueBuffer, sizeof d);
            literal = DateLiteral(d, quote);
            bound = {SQL_C_TYPE_DATE, SQL_TYPE_DATE, std::string(ValueBuffer, sizeof d), 0};
            break;
        }
        case SQL_TYPE_TIME: {
            SQL_TIME_STRUCT t;
            std::memcpy(&t, ValueBuffer, sizeof t);
            literal = TimeLiteral(t, quote);
            bound = {SQL_C_TYPE_TIME, SQL_TYPE_TIME, std::string(ValueBuffer, sizeof t), 0};
            break;
        }
        case SQL_TYPE_TIMESTAMP: {
            SQL_TIMESTAMP_STRUCT ts;
            std::memcpy(&ts, ValueBuffer, sizeof ts);
            literal = TimestampLiteral(ts, quote);
            // The literal keeps nanoseconds, the struct's whole fraction.
            ts.fraction %= 1000000000u;
            bound = {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP,
                     std::string(reinterpret_cast<const char*>(&ts), sizeof ts), 0};
            break;
        }
        default:
            if (!IsTextType(column.type)) return Outcome::UnknownType;
            if (text.empty()) {
                literal = "null";
                blankColumns_.insert(column.name);
                bound = {SQL_C_CHAR, SQL_VARCHAR, std::string(), SQL_NULL_DATA};
            } else {
                literal = TextLiteral(text);
                // Numbers read as text go in as text, as their literal does:
                // the destination converts them the way it reads the literal.
                const short sqlType =
                    column.type == SQL_LONGVARCHAR ? SQL_LONGVARCHAR : SQL_VARCHAR;
                const long length = long(text.size());
                bound = {SQL_C_CHAR, sqlType, std::move(text), length};
            }
            break;
    }
    return Outcome::Written;
}

TableCopy::Insert TableCopy::InsertBound(ArchiveDbPair& dest, const std::string& key,
                                         const std::string& names, std::vector<Bound>& values,
                                         void** handle) {
    std::unique_ptr<Prepared>& prepared = prepared_[key];
    if (!prepared) {
        std::string sql = names;
        for (size_t i = 0; i < values.size(); ++i) sql += i == 0 ? "?" : ", ?";
        sql += ")";
        auto made = std::make_unique<Prepared>();
        made->stmt = std::make_unique<ODBCStmt>(dest.Connection);
        if (!SqlSucceeded(SQLPrepare(made->stmt->Handle(), reinterpret_cast<SQLCHAR*>(sql.data()),
                                     SQLINTEGER(sql.size())))) {
            prepared_.erase(key);
            return Insert::NotPrepared;
        }
        made->values.resize(values.size());
        made->indicators.resize(values.size());
        made->boundAt.assign(values.size(), nullptr);
        made->boundSize.assign(values.size(), 0);
        prepared = std::move(made);
    }
    Prepared& p = *prepared;
    const SQLHSTMT h = p.stmt->Handle();
    *handle = h;
    for (size_t i = 0; i < values.size(); ++i) {
        const Bound& v = values[i];
        Bound& slot = p.values[i];
        const bool variable = v.cType == SQL_C_CHAR || v.cType == SQL_C_BINARY;
        const bool retyped = slot.cType != v.cType || slot.sqlType != v.sqlType;
        slot.cType = v.cType;
        slot.sqlType = v.sqlType;
        slot.bytes.assign(v.bytes);
        p.indicators[i] = v.indicator == SQL_NULL_DATA ? SQL_NULL_DATA
                          : variable                   ? SQLLEN(slot.bytes.size())
                                                       : 0;
        if (!retyped && p.boundAt[i] == slot.bytes.data() && slot.bytes.size() <= p.boundSize[i])
            continue;
        // Texts and bytes are bound with the room their buffer has, so that
        // the next rows' values of up to that length need no new binding.
        const SQLULEN size =
            variable ? std::max<SQLULEN>(std::max(slot.bytes.size(), slot.bytes.capacity()), 1) : 0;
        // A timestamp's fraction is bound whole, to the nanosecond.
        const SQLSMALLINT digits = v.cType == SQL_C_TYPE_TIMESTAMP ? 9 : 0;
        if (!SqlSucceeded(SQLBindParameter(h, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, slot.cType,
                                           slot.sqlType, size, digits, slot.bytes.data(),
                                           SQLLEN(size), &p.indicators[i]))) {
            p.boundAt[i] = nullptr;
            return Insert::Refused;
        }
        p.boundAt[i] = slot.bytes.data();
        p.boundSize[i] = variable ? size : SQLULEN(slot.bytes.size());
    }
    // A refusal keeps its diagnostics on the handle for the message.
    if (!SqlExecuted(SQLExecute(h))) return Insert::Refused;
    SQLFreeStmt(h, SQL_CLOSE);
    return Insert::Done;
}
