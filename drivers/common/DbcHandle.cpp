#include "common/DbcHandle.h"

#include <string>

#include "common/ConnectString.h"
#include "common/HandleRegistry.h"
#include "common/SqlStates.h"
#include "common/StmtHandle.h"
#include "common/StringOut.h"

namespace odbcdrv {

DbcHandle::DbcHandle(EnvHandle& e) : Handle(SQL_HANDLE_DBC), env(e) {
    ++env.connections;
}

DbcHandle::~DbcHandle() {
    // Statements still open belong to this connection and go with it, before
    // the engine connection they read from.
    std::set<StmtHandle*> left;
    left.swap(statements);
    for (StmtHandle* s : left) HandleRegistry::Remove(s);
    conn_.reset();
    --env.connections;
}

SQLRETURN DbcHandle::DriverConnect(const std::string& in, SQLCHAR* out, SQLSMALLINT outMax,
                                   SQLSMALLINT* outLength) {
    if (conn_) return Fail(state::kConnectionInUse);
    keys_ = ParseConnectString(in);
    if (loginTimeout_ > 0 && !keys_.count("LOGIN_TIMEOUT"))
        keys_["LOGIN_TIMEOUT"] = std::to_string(loginTimeout_);
    conn_ = TheBackend().Connect(keys_);
    if (!conn_) return Fail(state::kUnableToConnect);
    if (!autocommit_) conn_->SetAutocommit(false);
    if (out || outLength) return CopyOut(in, out, outMax, outLength, diag);
    return SQL_SUCCESS;
}

SQLRETURN DbcHandle::Disconnect() {
    if (!conn_) return Fail(state::kNotConnected);
    for (StmtHandle* s : statements) s->CloseResults();
    if (!autocommit_) {
        try {
            conn_->EndTransaction(false);
        } catch (const DriverError&) {
            // The connection goes away; work not committed is lost as the
            // application asked by disconnecting without SQLEndTran.
        }
    }
    conn_.reset();
    return SQL_SUCCESS;
}

SQLRETURN DbcHandle::SetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    auto v = static_cast<SQLULEN>(reinterpret_cast<SQLLEN>(value));
    switch (attribute) {
        case SQL_ATTR_LOGIN_TIMEOUT:
            loginTimeout_ = static_cast<SQLUINTEGER>(v);
            return SQL_SUCCESS;
        case SQL_ATTR_AUTOCOMMIT: {
            bool on = v != SQL_AUTOCOMMIT_OFF;
            if (on == autocommit_) return SQL_SUCCESS;
            if (conn_) {
                for (StmtHandle* s : statements) s->CloseResults();
                conn_->SetAutocommit(on);
            }
            autocommit_ = on;
            return SQL_SUCCESS;
        }
        case SQL_ATTR_CONNECTION_TIMEOUT:
        case SQL_ATTR_ACCESS_MODE:
        case SQL_ATTR_TXN_ISOLATION:
        case SQL_ATTR_QUIET_MODE:
        case SQL_ATTR_TRACE:
        case SQL_ATTR_TRACEFILE:
        case SQL_ATTR_PACKET_SIZE:
        case SQL_ATTR_ODBC_CURSORS:
        case SQL_ATTR_CURRENT_CATALOG:
        case SQL_ATTR_METADATA_ID:
            return SQL_SUCCESS;
        case SQL_ATTR_ASYNC_ENABLE:
            return v == SQL_ASYNC_ENABLE_OFF ? SQL_SUCCESS : Warn(state::kOptionChanged);
        default:
            return Fail(state::kInvalidAttribute);
    }
}

SQLRETURN DbcHandle::GetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                             SQLINTEGER* length) {
    SQLUINTEGER v;
    switch (attribute) {
        case SQL_ATTR_LOGIN_TIMEOUT:
            v = loginTimeout_;
            break;
        case SQL_ATTR_AUTOCOMMIT:
            v = autocommit_ ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
            break;
        case SQL_ATTR_CONNECTION_DEAD:
            v = conn_ ? SQL_CD_FALSE : SQL_CD_TRUE;
            break;
        case SQL_ATTR_ACCESS_MODE:
            v = SQL_MODE_READ_WRITE;
            break;
        case SQL_ATTR_TXN_ISOLATION:
            v = SQL_TXN_READ_COMMITTED;
            break;
        case SQL_ATTR_CONNECTION_TIMEOUT:
        case SQL_ATTR_ASYNC_ENABLE:
        case SQL_ATTR_PACKET_SIZE:
        case SQL_ATTR_QUIET_MODE:
        case SQL_ATTR_METADATA_ID:
            v = 0;
            break;
        case SQL_ATTR_CURRENT_CATALOG:
            return CopyOut(std::string(), value, bufferLength, length, diag);
        default:
            return Fail(state::kInvalidAttribute);
    }
    if (value) *static_cast<SQLUINTEGER*>(value) = v;
    if (length) *length = sizeof v;
    return SQL_SUCCESS;
}

SQLRETURN DbcHandle::EndTran(SQLSMALLINT completion) {
    if (completion != SQL_COMMIT && completion != SQL_ROLLBACK)
        return Fail(state::kInvalidTransactionOp);
    if (!conn_) return Fail(state::kNotConnected);
    if (autocommit_) return SQL_SUCCESS;
    // Cursors do not survive the end of the transaction they read in.
    for (StmtHandle* s : statements) s->CloseResults();
    conn_->EndTransaction(completion == SQL_COMMIT);
    return SQL_SUCCESS;
}

}  // namespace odbcdrv
