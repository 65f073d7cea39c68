// The exported wide-character entry points, for Unicode clients (pyodbc,
// LibreOffice, iusql). Text arrives and leaves as UTF-16; the shims convert
// it to and from code page 1252 and call the same handle operations as the
// narrow entry points. A connection opened here describes its text columns
// with the wide types (TypeInfo.h), so that such clients read them as UTF-16.
#pragma GCC visibility push(default)
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#pragma GCC visibility pop

#include <string>

#include "drivers/common/api/DiagnosticsApi.h"
#include "drivers/common/api/EntryGuard.h"
#include "drivers/common/values/WideText.h"

using namespace odbcdrv;

namespace {

// An optional wide argument: null stays null (no pattern, no catalog).
struct OptionalText {
    OptionalText(const SQLWCHAR* s, SQLINTEGER length) : present(s != nullptr) {
        if (present) text = FromWide(s, length);
    }
    const std::string* get() const { return present ? &text : nullptr; }
    bool present;
    std::string text;
};

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC h, SQLHWND, SQLWCHAR* in, SQLSMALLINT inLength,
                                    SQLWCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                    SQLUSMALLINT) {
    return Dbc(h, [&](DbcHandle& d) {
        if (!in) return d.Fail(state::kInvalidNullPointer);
        return d.DriverConnect(FromWide(in, inLength), out, outMax, outLength, TextForm::WideChars);
    });
}

SQLRETURN SQL_API SQLConnectW(SQLHDBC h, SQLWCHAR* dsn, SQLSMALLINT dsnLength, SQLWCHAR* uid,
                              SQLSMALLINT uidLength, SQLWCHAR* pwd, SQLSMALLINT pwdLength) {
    return Dbc(h, [&](DbcHandle& d) {
        return d.Connect(FromWide(dsn, dsnLength), FromWide(uid, uidLength),
                         FromWide(pwd, pwdLength), TextForm::WideChars);
    });
}

SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER length) {
    return Stmt(h, [&](StmtHandle& s) {
        if (!text) return s.Fail(state::kInvalidNullPointer);
        return s.ExecDirect(FromWide(text, length));
    });
}

SQLRETURN SQL_API SQLPrepareW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER length) {
    return Stmt(h, [&](StmtHandle& s) {
        if (!text) return s.Fail(state::kInvalidNullPointer);
        return s.Prepare(FromWide(text, length));
    });
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT h, SQLUSMALLINT column, SQLWCHAR* name,
                                  SQLSMALLINT bufferLength, SQLSMALLINT* nameLength,
                                  SQLSMALLINT* dataType, SQLULEN* columnSize,
                                  SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
    return Stmt(h, [&](StmtHandle& s) {
        return s.DescribeCol(column, name, bufferLength, nameLength, dataType, columnSize,
                             decimalDigits, nullable, TextForm::WideChars);
    });
}

SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT field,
                                   SQLPOINTER charValue, SQLSMALLINT bufferLength,
                                   SQLSMALLINT* stringLength, SQLLEN* numericValue) {
    return Stmt(h, [&](StmtHandle& s) {
        return s.ColAttribute(column, field, charValue, bufferLength, stringLength, numericValue,
                              TextForm::WideBytes);
    });
}

SQLRETURN SQL_API SQLColumnsW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                              SQLWCHAR* table, SQLSMALLINT tableLength, SQLWCHAR* column,
                              SQLSMALLINT columnLength) {
    return Stmt(h, [&](StmtHandle& s) {
        OptionalText t(table, tableLength), c(column, columnLength);
        return s.Columns(t.get(), c.get());
    });
}

SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                  SQLWCHAR* table, SQLSMALLINT tableLength) {
    return Stmt(h, [&](StmtHandle& s) {
        OptionalText t(table, tableLength);
        return s.PrimaryKeys(t.get());
    });
}

SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                 SQLWCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT unique,
                                 SQLUSMALLINT) {
    return Stmt(h, [&](StmtHandle& s) {
        OptionalText t(table, tableLength);
        return s.Statistics(t.get(), unique);
    });
}

SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT h, SQLUSMALLINT identifierType, SQLWCHAR*,
                                     SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR* table,
                                     SQLSMALLINT tableLength, SQLUSMALLINT, SQLUSMALLINT nullable) {
    return Stmt(h, [&](StmtHandle& s) {
        OptionalText t(table, tableLength);
        return s.SpecialColumns(identifierType, t.get(), nullable);
    });
}

SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT h, SQLSMALLINT dataType) {
    return Stmt(h, [&](StmtHandle& s) { return s.GetTypeInfo(dataType); });
}

SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                  SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                  SQLSMALLINT, SQLWCHAR*, SQLSMALLINT) {
    return Stmt(h, [&](StmtHandle& s) { return s.ForeignKeys(); });
}

SQLRETURN SQL_API SQLProceduresW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                 SQLWCHAR*, SQLSMALLINT) {
    return Stmt(h, [&](StmtHandle& s) { return s.Procedures(); });
}

SQLRETURN SQL_API SQLProcedureColumnsW(SQLHSTMT h, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                       SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT) {
    return Stmt(h, [&](StmtHandle& s) { return s.ProcedureColumns(); });
}

SQLRETURN SQL_API SQLTablesW(SQLHSTMT h, SQLWCHAR* catalog, SQLSMALLINT catalogLength,
                             SQLWCHAR* schema, SQLSMALLINT schemaLength, SQLWCHAR* table,
                             SQLSMALLINT tableLength, SQLWCHAR* types, SQLSMALLINT typesLength) {
    return Stmt(h, [&](StmtHandle& s) {
        OptionalText c(catalog, catalogLength), sc(schema, schemaLength), t(table, tableLength),
            ty(types, typesLength);
        return s.Tables(c.get(), sc.get(), t.get(), ty.get());
    });
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value,
                              SQLSMALLINT bufferLength, SQLSMALLINT* length) {
    return Dbc(h, [&](DbcHandle& d) {
        return d.GetInfo(type, value, bufferLength, length, TextForm::WideBytes);
    });
}

SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC h, SQLINTEGER attribute, SQLPOINTER value,
                                     SQLINTEGER bufferLength, SQLINTEGER* length) {
    return Dbc(h, [&](DbcHandle& d) {
        return d.GetAttr(attribute, value, bufferLength, length, TextForm::WideBytes);
    });
}

// No attribute the driver keeps is text, so the values pass unchanged.
SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC h, SQLINTEGER attribute, SQLPOINTER value,
                                     SQLINTEGER length) {
    return Dbc(h, [&](DbcHandle& d) { return d.SetAttr(attribute, value, length); });
}

SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT h, SQLINTEGER attribute, SQLPOINTER value,
                                  SQLINTEGER bufferLength, SQLINTEGER* length) {
    return Stmt(h,
                [&](StmtHandle& s) { return s.GetAttr(attribute, value, bufferLength, length); });
}

SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    return Stmt(h, [&](StmtHandle& s) { return s.SetAttr(attribute, value); });
}

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                 SQLWCHAR* sqlstate, SQLINTEGER* native, SQLWCHAR* message,
                                 SQLSMALLINT bufferLength, SQLSMALLINT* textLength) {
    return GetDiagRec(type, h, record, sqlstate, native, message, bufferLength, textLength,
                      TextForm::WideChars);
}

SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                   SQLSMALLINT field, SQLPOINTER info, SQLSMALLINT bufferLength,
                                   SQLSMALLINT* stringLength) {
    return GetDiagField(type, h, record, field, info, bufferLength, stringLength,
                        TextForm::WideBytes);
}

SQLRETURN SQL_API SQLErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* sqlstate,
                            SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT bufferLength,
                            SQLSMALLINT* textLength) {
    return Error(env, dbc, stmt, sqlstate, native, message, bufferLength, textLength,
                 TextForm::WideChars);
}

}  // extern "C"
