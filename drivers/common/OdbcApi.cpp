// The exported ODBC entry points (ANSI; unixODBC maps the wide calls). Each
// is a thin shim: it looks its handle up in the registry, clears the handle's
// diagnostics and runs the handle's own operation inside Guard, which turns
// every exception into a diagnostic record. Everything else in the driver
// library has hidden visibility.
#pragma GCC visibility push(default)
#include <sql.h>
#include <sqlext.h>
#pragma GCC visibility pop

#include <cstring>
#include <new>
#include <string>

#include "common/DbcHandle.h"
#include "common/EnvHandle.h"
#include "common/HandleRegistry.h"
#include "common/SqlStates.h"
#include "common/StmtHandle.h"
#include "common/StringOut.h"

using namespace odbcdrv;

namespace {

template <class H, class F>
SQLRETURN Guard(SQLHANDLE handle, SQLSMALLINT type, F&& f) {
    H* h = HandleRegistry::Get<H>(handle, type);
    if (!h) return SQL_INVALID_HANDLE;
    h->diag.Clear();
    SQLRETURN rc;
    try {
        rc = f(*h);
    } catch (const DriverError& e) {
        h->diag.Add(e.sqlstate.size() == 5 ? e.sqlstate : state::kGeneralError, e.message,
                    e.native);
        rc = SQL_ERROR;
    } catch (const std::bad_alloc&) {
        h->diag.Add(state::kMemory);
        rc = SQL_ERROR;
    } catch (const std::exception& e) {
        h->diag.Add(state::kGeneralError, e.what());
        rc = SQL_ERROR;
    } catch (...) {
        h->diag.Add(state::kGeneralError);
        rc = SQL_ERROR;
    }
    h->diag.lastReturn = rc;
    return rc;
}

template <class F>
SQLRETURN Stmt(SQLHSTMT h, F&& f) {
    return Guard<StmtHandle>(h, SQL_HANDLE_STMT, std::forward<F>(f));
}

template <class F>
SQLRETURN Dbc(SQLHDBC h, F&& f) {
    return Guard<DbcHandle>(h, SQL_HANDLE_DBC, std::forward<F>(f));
}

std::string Text(const SQLCHAR* s, SQLINTEGER length) {
    if (!s) return {};
    if (length == SQL_NTS) return reinterpret_cast<const char*>(s);
    if (length < 0) return {};
    return std::string(reinterpret_cast<const char*>(s), static_cast<size_t>(length));
}

Handle* AnyHandle(SQLSMALLINT type, SQLHANDLE h) {
    switch (type) {
        case SQL_HANDLE_ENV:
        case SQL_HANDLE_DBC:
        case SQL_HANDLE_STMT:
            return HandleRegistry::Find(h, type);
        default:
            return nullptr;
    }
}

// "ISO 9075" for the classes the SQL standard defines, "ODBC 3.0" for ODBC's own.
const char* ClassOrigin(const std::string& s) {
    return s.compare(0, 2, "HY") == 0 || s.compare(0, 2, "IM") == 0 ? "ODBC 3.0" : "ISO 9075";
}

const char* SubclassOrigin(const std::string& s) {
    static const char* odbc[] = {"01S", "07S", "08S", "21S", "25S", "42S", "HY", "IM", "HYT"};
    for (const char* p : odbc)
        if (s.compare(0, std::strlen(p), p) == 0) return "ODBC 3.0";
    return "ISO 9075";
}

// Not through Guard, which would touch the handle after it is gone. Also
// used by SQLFreeStmt: calling the exported SQLFreeHandle from inside the
// library could reach the driver manager's function of that name.
SQLRETURN FreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    Handle* h = AnyHandle(type, handle);
    if (!h) return SQL_INVALID_HANDLE;
    h->diag.Clear();
    try {
        if (type == SQL_HANDLE_ENV && static_cast<EnvHandle*>(h)->connections > 0)
            return h->Fail(state::kSequenceError);
        if (type == SQL_HANDLE_DBC && static_cast<DbcHandle*>(h)->Connected())
            return h->Fail(state::kSequenceError);
        HandleRegistry::Remove(h);
        return SQL_SUCCESS;
    } catch (...) {
        return SQL_ERROR;
    }
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    try {
        if (type == SQL_HANDLE_ENV) {
            if (!output) return SQL_ERROR;
            *output = HandleRegistry::Add(std::make_unique<EnvHandle>());
            return SQL_SUCCESS;
        }
        if (type == SQL_HANDLE_DBC) {
            return Guard<EnvHandle>(input, SQL_HANDLE_ENV, [&](EnvHandle& env) {
                if (!output) return env.Fail(state::kInvalidNullPointer);
                *output = HandleRegistry::Add(std::make_unique<DbcHandle>(env));
                return SQLRETURN{SQL_SUCCESS};
            });
        }
        if (type == SQL_HANDLE_STMT) {
            return Dbc(input, [&](DbcHandle& dbc) {
                if (!output) return dbc.Fail(state::kInvalidNullPointer);
                *output = SQL_NULL_HSTMT;
                if (!dbc.Connected()) return dbc.Fail(state::kNotConnected);
                *output = HandleRegistry::Add(std::make_unique<StmtHandle>(dbc));
                return SQLRETURN{SQL_SUCCESS};
            });
        }
        if (type == SQL_HANDLE_DESC) {
            return Dbc(input, [&](DbcHandle& dbc) {
                if (output) *output = SQL_NULL_HDESC;
                return dbc.Fail(state::kNotImplemented);
            });
        }
        return SQL_ERROR;
    } catch (...) {
        return SQL_ERROR;
    }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    return FreeHandle(type, handle);
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
    if (option == SQL_DROP) return FreeHandle(SQL_HANDLE_STMT, h);
    return Stmt(h, [&](StmtHandle& s) { return s.FreeStmt(option); });
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    return Guard<EnvHandle>(h, SQL_HANDLE_ENV,
                            [&](EnvHandle& e) { return e.SetAttr(attribute, value); });
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                SQLINTEGER* length) {
    return Guard<EnvHandle>(h, SQL_HANDLE_ENV,
                            [&](EnvHandle& e) { return e.GetAttr(attribute, value, length); });
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC h, SQLINTEGER attribute, SQLPOINTER value,
                                    SQLINTEGER length) {
    return Dbc(h, [&](DbcHandle& d) { return d.SetAttr(attribute, value, length); });
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC h, SQLINTEGER attribute, SQLPOINTER value,
                                    SQLINTEGER bufferLength, SQLINTEGER* length) {
    return Dbc(h, [&](DbcHandle& d) { return d.GetAttr(attribute, value, bufferLength, length); });
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC h, SQLHWND, SQLCHAR* in, SQLSMALLINT inLength,
                                   SQLCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                   SQLUSMALLINT) {
    return Dbc(h, [&](DbcHandle& d) {
        if (!in) return d.Fail(state::kInvalidNullPointer);
        return d.DriverConnect(Text(in, inLength), out, outMax, outLength);
    });
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC h) {
    return Dbc(h, [&](DbcHandle& d) { return d.Disconnect(); });
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value,
                             SQLSMALLINT bufferLength, SQLSMALLINT* length) {
    return Dbc(h, [&](DbcHandle& d) { return d.GetInfo(type, value, bufferLength, length); });
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC h, SQLUSMALLINT function, SQLUSMALLINT* supported) {
    return Dbc(h, [&](DbcHandle& d) {
        if (!supported) return d.Fail(state::kInvalidNullPointer);
        return DbcHandle::GetFunctions(function, supported);
    });
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion) {
    if (type == SQL_HANDLE_ENV)
        return Guard<EnvHandle>(h, type, [&](EnvHandle& e) { return e.EndTran(completion); });
    if (type == SQL_HANDLE_DBC) return Dbc(h, [&](DbcHandle& d) { return d.EndTran(completion); });
    return SQL_INVALID_HANDLE;
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT h, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    return Stmt(h, [&](StmtHandle& s) { return s.SetAttr(attribute, value); });
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT h, SQLINTEGER attribute, SQLPOINTER value,
                                 SQLINTEGER bufferLength, SQLINTEGER* length) {
    return Stmt(h,
                [&](StmtHandle& s) { return s.GetAttr(attribute, value, bufferLength, length); });
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT h, SQLCHAR* text, SQLINTEGER length) {
    return Stmt(h, [&](StmtHandle& s) {
        if (!text) return s.Fail(state::kInvalidNullPointer);
        return s.ExecDirect(Text(text, length));
    });
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT h, SQLCHAR* text, SQLINTEGER length) {
    return Stmt(h, [&](StmtHandle& s) {
        if (!text) return s.Fail(state::kInvalidNullPointer);
        return s.Prepare(Text(text, length));
    });
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT h) {
    return Stmt(h, [&](StmtHandle& s) { return s.Execute(); });
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT h, SQLSMALLINT* count) {
    return Stmt(h, [&](StmtHandle& s) { return s.NumParams(count); });
}

SQLRETURN SQL_API SQLParamData(SQLHSTMT h, SQLPOINTER*) {
    // Nothing is ever bound for data at execution.
    return Stmt(h, [&](StmtHandle& s) { return s.Fail(state::kSequenceError); });
}

SQLRETURN SQL_API SQLPutData(SQLHSTMT h, SQLPOINTER, SQLLEN) {
    return Stmt(h, [&](StmtHandle& s) { return s.Fail(state::kSequenceError); });
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
    return Stmt(h, [&](StmtHandle& s) { return s.NumResultCols(count); });
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT h, SQLUSMALLINT column, SQLCHAR* name,
                                 SQLSMALLINT bufferLength, SQLSMALLINT* nameLength,
                                 SQLSMALLINT* dataType, SQLULEN* columnSize,
                                 SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
    return Stmt(h, [&](StmtHandle& s) {
        return s.DescribeCol(column, name, bufferLength, nameLength, dataType, columnSize,
                             decimalDigits, nullable);
    });
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT field,
                                  SQLPOINTER charValue, SQLSMALLINT bufferLength,
                                  SQLSMALLINT* stringLength, SQLLEN* numericValue) {
    return Stmt(h, [&](StmtHandle& s) {
        return s.ColAttribute(column, field, charValue, bufferLength, stringLength, numericValue);
    });
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT h, SQLLEN* count) {
    return Stmt(h, [&](StmtHandle& s) { return s.RowCount(count); });
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
    return Stmt(h, [&](StmtHandle& s) { return s.Fetch(); });
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                             SQLLEN bufferLength, SQLLEN* indicator) {
    return Stmt(h, [&](StmtHandle& s) {
        return s.GetData(column, cType, target, bufferLength, indicator);
    });
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target,
                             SQLLEN bufferLength, SQLLEN* indicator) {
    return Stmt(h, [&](StmtHandle& s) {
        return s.BindCol(column, cType, target, bufferLength, indicator);
    });
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                             SQLCHAR* table, SQLSMALLINT tableLength, SQLCHAR* column,
                             SQLSMALLINT columnLength) {
    return Stmt(h, [&](StmtHandle& s) {
        if (!table) return s.Fail(state::kNotImplemented, "SQLColumns needs a table name");
        std::string pattern = Text(column, columnLength);
        return s.Columns(Text(table, tableLength), column && pattern != "%" ? &pattern : nullptr);
    });
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT h) {
    // Not through Guard: a cancel from another thread must not clear the
    // diagnostics the running call is about to write.
    StmtHandle* s = HandleRegistry::Get<StmtHandle>(h, SQL_HANDLE_STMT);
    if (!s) return SQL_INVALID_HANDLE;
    try {
        return s->Cancel();
    } catch (...) {
        return SQL_ERROR;
    }
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT h) {
    return Stmt(h, [&](StmtHandle& s) { return s.CloseCursor(); });
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT h) {
    return Stmt(h, [&](StmtHandle& s) { return s.MoreResults(); });
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                SQLCHAR* sqlstate, SQLINTEGER* native, SQLCHAR* message,
                                SQLSMALLINT bufferLength, SQLSMALLINT* textLength) {
    Handle* handle = AnyHandle(type, h);
    if (!handle) return SQL_INVALID_HANDLE;
    if (record < 1 || bufferLength < 0) return SQL_ERROR;
    const auto& records = handle->diag.Records();
    if (static_cast<size_t>(record) > records.size()) return SQL_NO_DATA;
    const DiagRecord& r = records[record - 1];
    if (sqlstate) std::memcpy(sqlstate, r.sqlstate.c_str(), 6);
    if (native) *native = r.native;
    Diagnostics scratch;  // a cut message is not itself a diagnostic
    return CopyOut(r.message, message, bufferLength, textLength, scratch);
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                  SQLSMALLINT field, SQLPOINTER info, SQLSMALLINT bufferLength,
                                  SQLSMALLINT* stringLength) {
    Handle* handle = AnyHandle(type, h);
    if (!handle) return SQL_INVALID_HANDLE;
    Diagnostics scratch;
    const Diagnostics& d = handle->diag;
    try {
        switch (field) {
            case SQL_DIAG_NUMBER:
                if (info)
                    *static_cast<SQLINTEGER*>(info) = static_cast<SQLINTEGER>(d.Records().size());
                return SQL_SUCCESS;
            case SQL_DIAG_RETURNCODE:
                if (info) *static_cast<SQLRETURN*>(info) = d.lastReturn;
                return SQL_SUCCESS;
            case SQL_DIAG_ROW_COUNT:
            case SQL_DIAG_CURSOR_ROW_COUNT: {
                if (type != SQL_HANDLE_STMT) return SQL_ERROR;
                SQLLEN n = 0;
                if (field == SQL_DIAG_ROW_COUNT) static_cast<StmtHandle*>(handle)->RowCount(&n);
                if (info) *static_cast<SQLLEN*>(info) = n;
                return SQL_SUCCESS;
            }
            case SQL_DIAG_DYNAMIC_FUNCTION:
                return CopyOut(std::string(), info, bufferLength, stringLength, scratch);
            case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
                if (info) *static_cast<SQLINTEGER*>(info) = SQL_DIAG_UNKNOWN_STATEMENT;
                return SQL_SUCCESS;
            default:
                break;
        }
        if (record < 1) return SQL_ERROR;
        if (static_cast<size_t>(record) > d.Records().size()) return SQL_NO_DATA;
        const DiagRecord& r = d.Records()[record - 1];
        switch (field) {
            case SQL_DIAG_SQLSTATE:
                return CopyOut(r.sqlstate, info, bufferLength, stringLength, scratch);
            case SQL_DIAG_MESSAGE_TEXT:
                return CopyOut(r.message, info, bufferLength, stringLength, scratch);
            case SQL_DIAG_NATIVE:
                if (info) *static_cast<SQLINTEGER*>(info) = r.native;
                return SQL_SUCCESS;
            case SQL_DIAG_CLASS_ORIGIN:
                return CopyOut(std::string(ClassOrigin(r.sqlstate)), info, bufferLength,
                               stringLength, scratch);
            case SQL_DIAG_SUBCLASS_ORIGIN:
                return CopyOut(std::string(SubclassOrigin(r.sqlstate)), info, bufferLength,
                               stringLength, scratch);
            case SQL_DIAG_CONNECTION_NAME:
            case SQL_DIAG_SERVER_NAME:
                return CopyOut(std::string(), info, bufferLength, stringLength, scratch);
            case SQL_DIAG_COLUMN_NUMBER:
                if (info) *static_cast<SQLINTEGER*>(info) = SQL_NO_COLUMN_NUMBER;
                return SQL_SUCCESS;
            case SQL_DIAG_ROW_NUMBER:
                if (info) *static_cast<SQLLEN*>(info) = SQL_NO_ROW_NUMBER;
                return SQL_SUCCESS;
            default:
                return SQL_ERROR;
        }
    } catch (...) {
        return SQL_ERROR;
    }
}

SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* sqlstate,
                           SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT bufferLength,
                           SQLSMALLINT* textLength) {
    Handle* h = nullptr;
    if (stmt)
        h = HandleRegistry::Find(stmt, SQL_HANDLE_STMT);
    else if (dbc)
        h = HandleRegistry::Find(dbc, SQL_HANDLE_DBC);
    else if (env)
        h = HandleRegistry::Find(env, SQL_HANDLE_ENV);
    if (!h) return SQL_INVALID_HANDLE;
    const DiagRecord* r = h->diag.NextForSQLError();
    if (!r) return SQL_NO_DATA;
    if (sqlstate) std::memcpy(sqlstate, r->sqlstate.c_str(), 6);
    if (native) *native = r->native;
    Diagnostics scratch;
    try {
        return CopyOut(r->message, message, bufferLength, textLength, scratch);
    } catch (...) {
        return SQL_ERROR;
    }
}

}  // extern "C"
