// The exported narrow (ANSI) ODBC entry points; the wide ones are in
// OdbcApiWide.cpp. Each is a thin shim that runs the handle's own operation
// inside Guard (EntryGuard.h). Everything else in the driver library has
// hidden visibility.
#pragma GCC visibility push(default)
#include <sql.h>
#include <sqlext.h>
#pragma GCC visibility pop

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "drivers/common/api/DiagnosticsApi.h"
#include "drivers/common/api/EntryGuard.h"
#include "drivers/common/handles/EnvHandle.h"

using namespace odbcdrv;

namespace {

// Not through Guard, which would touch the handle after it is gone. Also
// used by SQLFreeStmt: calling the exported SQLFreeHandle from inside the
// library could reach the driver manager's function of that name.
//
// A handle that another thread's call works on (or waits to), or for a
// connection one of its statements, is not freed: HY010 at once, and the
// handle stays as it was. The driver manager, which unixODBC does not lock
// for these drivers, then keeps its own handle too. What is freed leaves
// the registry under its lock, so that no call can find it any more, and is
// destroyed after.
SQLRETURN FreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    try {
        std::vector<std::unique_ptr<Handle>> doomed;  // statements before their connection
        HandleRegistry::Lease connection;  // a freed statement's, until the statement is gone
        const SQLRETURN rc = HandleRegistry::WithLock([&](const HandleRegistry::Locked& r) {
            Handle* h = r.Find(handle, type);
            if (!h) return SQLRETURN{SQL_INVALID_HANDLE};
            // The records of a handle in use are the working call's; the
            // refusal is kept for this thread.
            const bool inUse = r.InUse(*h);
            if (!inUse) h->diag.Clear();
            auto refuse = [&](const char* message) {
                if (inUse)
                    h->diag.Refuse(state::kSequenceError, message);
                else
                    h->diag.Add(state::kSequenceError, message);
                return SQLRETURN{SQL_ERROR};
            };
            if (inUse) return refuse(kInUse);
            if (type == SQL_HANDLE_ENV) {
                if (static_cast<EnvHandle*>(h)->connections > 0)
                    return refuse(
                        "Function sequence error: a connection of the environment is "
                        "still allocated.");
            } else if (type == SQL_HANDLE_DBC) {
                auto* dbc = static_cast<DbcHandle*>(h);
                if (dbc->Connected())
                    return refuse("Function sequence error: the connection is still open.");
                for (DbcStatement* s : dbc->statements)
                    if (r.InUse(*s)) return refuse(kInUse);
                for (DbcStatement* s : dbc->statements) doomed.push_back(r.Take(s));
            } else {
                connection = r.Use(static_cast<StmtHandle*>(h)->dbc);
            }
            doomed.push_back(r.Take(h));
            return SQLRETURN{SQL_SUCCESS};
        });
        if (rc != SQL_SUCCESS) return rc;
        // A statement's engine state goes with it, in its connection's turn.
        std::unique_lock<std::mutex> turn;
        if (connection) turn = std::unique_lock<std::mutex>(connection.get()->Turn());
        for (std::unique_ptr<Handle>& h : doomed) h.reset();
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
    return Dbc(h, [&](DbcHandle& d) {
        return d.GetAttr(attribute, value, bufferLength, length, d.NarrowForm());
    });
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC h, SQLHWND, SQLCHAR* in, SQLSMALLINT inLength,
                                   SQLCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                   SQLUSMALLINT) {
    return Dbc(h, [&](DbcHandle& d) {
        if (!in) return d.Fail(state::kInvalidNullPointer);
        return d.DriverConnect(Text(in, inLength), out, outMax, outLength, TextForm::Narrow);
    });
}

SQLRETURN SQL_API SQLConnect(SQLHDBC h, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* uid,
                             SQLSMALLINT uidLength, SQLCHAR* pwd, SQLSMALLINT pwdLength) {
    return Dbc(h, [&](DbcHandle& d) {
        return d.Connect(Text(dsn, dsnLength), Text(uid, uidLength), Text(pwd, pwdLength),
                         TextForm::Narrow);
    });
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC h) {
    // A connection that another thread's call works on is not ended under
    // it, nor does the disconnect wait for it: HY010 at once.
    return Guard<DbcHandle>(
        h, SQL_HANDLE_DBC, [&](DbcHandle& d) { return d.Disconnect(); }, WhenBusy::Refuse);
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value,
                             SQLSMALLINT bufferLength, SQLSMALLINT* length) {
    return Dbc(h, [&](DbcHandle& d) {
        return d.GetInfo(type, value, bufferLength, length, d.NarrowForm());
    });
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
        return s.ExecDirect(Narrow(s, text, length));
    });
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT h, SQLCHAR* text, SQLINTEGER length) {
    return Stmt(h, [&](StmtHandle& s) {
        if (!text) return s.Fail(state::kInvalidNullPointer);
        return s.Prepare(Narrow(s, text, length));
    });
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT h) {
    return Stmt(h, [&](StmtHandle& s) { return s.Execute(); });
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT h, SQLSMALLINT* count) {
    return Stmt(h, [&](StmtHandle& s) { return s.NumParams(count); });
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT ioType,
                                   SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN columnSize,
                                   SQLSMALLINT decimalDigits, SQLPOINTER value, SQLLEN bufferLength,
                                   SQLLEN* indicator) {
    return Stmt(h, [&](StmtHandle& s) {
        return s.BindParameter(number, ioType, cType, sqlType, columnSize, decimalDigits, value,
                               bufferLength, indicator);
    });
}

SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT* dataType,
                                   SQLULEN* size, SQLSMALLINT* decimalDigits,
                                   SQLSMALLINT* nullable) {
    return Stmt(h, [&](StmtHandle& s) {
        return s.DescribeParam(number, dataType, size, decimalDigits, nullable);
    });
}

SQLRETURN SQL_API SQLParamData(SQLHSTMT h, SQLPOINTER* token) {
    return Stmt(h, [&](StmtHandle& s) { return s.ParamData(token); });
}

SQLRETURN SQL_API SQLPutData(SQLHSTMT h, SQLPOINTER data, SQLLEN length) {
    return Stmt(h, [&](StmtHandle& s) { return s.PutData(data, length); });
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
                             decimalDigits, nullable, s.NarrowForm());
    });
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT field,
                                  SQLPOINTER charValue, SQLSMALLINT bufferLength,
                                  SQLSMALLINT* stringLength, SQLLEN* numericValue) {
    return Stmt(h, [&](StmtHandle& s) {
        return s.ColAttribute(column, field, charValue, bufferLength, stringLength, numericValue,
                              s.NarrowForm());
    });
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT h, SQLLEN* count) {
    return Stmt(h, [&](StmtHandle& s) { return s.RowCount(count); });
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
    return Stmt(h, [&](StmtHandle& s) { return s.Fetch(); });
}

SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT h, SQLSMALLINT orientation, SQLLEN offset) {
    return Stmt(h, [&](StmtHandle& s) { return s.FetchScroll(orientation, offset); });
}

SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT h, SQLUSMALLINT orientation, SQLLEN offset,
                                   SQLULEN* rowCount, SQLUSMALLINT* rowStatus) {
    return Stmt(h, [&](StmtHandle& s) {
        return s.ExtendedFetch(orientation, offset, rowCount, rowStatus);
    });
}

SQLRETURN SQL_API SQLSetPos(SQLHSTMT h, SQLSETPOSIROW row, SQLUSMALLINT operation,
                            SQLUSMALLINT lock) {
    return Stmt(h, [&](StmtHandle& s) { return s.SetPos(row, operation, lock); });
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
        OptionalNarrow t(s, table, tableLength), c(s, column, columnLength);
        return s.Columns(t.get(), c.get());
    });
}

SQLRETURN SQL_API SQLTables(SQLHSTMT h, SQLCHAR* catalog, SQLSMALLINT catalogLength,
                            SQLCHAR* schema, SQLSMALLINT schemaLength, SQLCHAR* table,
                            SQLSMALLINT tableLength, SQLCHAR* types, SQLSMALLINT typesLength) {
    return Stmt(h, [&](StmtHandle& s) {
        OptionalNarrow c(s, catalog, catalogLength), sc(s, schema, schemaLength),
            t(s, table, tableLength), ty(s, types, typesLength);
        return s.Tables(c.get(), sc.get(), t.get(), ty.get());
    });
}

SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                 SQLCHAR* table, SQLSMALLINT tableLength) {
    return Stmt(h, [&](StmtHandle& s) {
        OptionalNarrow t(s, table, tableLength);
        return s.PrimaryKeys(t.get());
    });
}

SQLRETURN SQL_API SQLStatistics(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                SQLCHAR* table, SQLSMALLINT tableLength, SQLUSMALLINT unique,
                                SQLUSMALLINT) {
    return Stmt(h, [&](StmtHandle& s) {
        OptionalNarrow t(s, table, tableLength);
        return s.Statistics(t.get(), unique);
    });
}

SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT h, SQLUSMALLINT identifierType, SQLCHAR*, SQLSMALLINT,
                                    SQLCHAR*, SQLSMALLINT, SQLCHAR* table, SQLSMALLINT tableLength,
                                    SQLUSMALLINT, SQLUSMALLINT nullable) {
    return Stmt(h, [&](StmtHandle& s) {
        OptionalNarrow t(s, table, tableLength);
        return s.SpecialColumns(identifierType, t.get(), nullable);
    });
}

SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT h, SQLSMALLINT dataType) {
    return Stmt(h, [&](StmtHandle& s) { return s.GetTypeInfo(dataType); });
}

SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                 SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                 SQLCHAR*, SQLSMALLINT) {
    return Stmt(h, [&](StmtHandle& s) { return s.ForeignKeys(); });
}

SQLRETURN SQL_API SQLProcedures(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*,
                                SQLSMALLINT) {
    return Stmt(h, [&](StmtHandle& s) { return s.Procedures(); });
}

SQLRETURN SQL_API SQLProcedureColumns(SQLHSTMT h, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                      SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT) {
    return Stmt(h, [&](StmtHandle& s) { return s.ProcedureColumns(); });
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT h) {
    // Not through Guard: a cancel from another thread neither waits for the
    // turn nor clears the diagnostics the running call is about to write.
    const HandleRegistry::Lease lease = HandleRegistry::Use(h, SQL_HANDLE_STMT);
    if (!lease) return SQL_INVALID_HANDLE;
    try {
        return static_cast<StmtHandle*>(lease.get())->Cancel();
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
    return GetDiagRec(type, h, record, sqlstate, native, message, bufferLength, textLength,
                      TextForm::Narrow);
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                                  SQLSMALLINT field, SQLPOINTER info, SQLSMALLINT bufferLength,
                                  SQLSMALLINT* stringLength) {
    return GetDiagField(type, h, record, field, info, bufferLength, stringLength, TextForm::Narrow);
}

SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* sqlstate,
                           SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT bufferLength,
                           SQLSMALLINT* textLength) {
    return Error(env, dbc, stmt, sqlstate, native, message, bufferLength, textLength,
                 TextForm::Narrow);
}

}  // extern "C"
