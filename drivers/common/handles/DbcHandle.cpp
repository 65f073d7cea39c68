#include "drivers/common/handles/DbcHandle.h"

#include <string>

#include "drivers/common/base/FaultInjector.h"
#include "drivers/common/base/SqlStates.h"
#include "drivers/common/handles/DbcStatement.h"
#include "drivers/common/handles/HandleRegistry.h"
#include "drivers/common/sql/ConnectString.h"
#include "drivers/common/values/StringOut.h"

namespace odbcdrv {

DbcHandle::DbcHandle(EnvHandle& e) : Handle(SQL_HANDLE_DBC), env(e) {
    ++env.connections;
}

DbcHandle::~DbcHandle() {
    // Its statements are gone before it (FreeHandle destroys them first).
    conn_.reset();
    --env.connections;
}

SQLRETURN DbcHandle::DriverConnect(const std::string& in, SQLPOINTER out, SQLSMALLINT outMax,
                                   SQLSMALLINT* outLength, TextForm form) {
    SQLRETURN rc = Open(ParseConnectString(in), form);
    if (rc != SQL_SUCCESS || !(out || outLength)) return rc;
    return CopyOut(in, out, outMax, outLength, diag, form);
}

SQLRETURN DbcHandle::Connect(const std::string& dsn, const std::string& uid, const std::string& pwd,
                             TextForm form) {
    ConnectKeys keys{{"DSN", dsn}};
    if (!uid.empty()) keys["UID"] = uid;
    if (!pwd.empty()) keys["PWD"] = pwd;
    return Open(std::move(keys), form);
}

SQLRETURN DbcHandle::Open(ConnectKeys keys, TextForm form) {
    if (conn_) return Fail(state::kConnectionInUse);
    // Set before connecting: the driver manager reads a failed connect's
    // diagnostics through the functions of the same width.
    wide_ = form != TextForm::Narrow;
    charset_ = ClientCharset();
    auto given = keys.find("CHARSET");
    std::string chosen = given == keys.end() ? std::string() : given->second;
    ConnectKeys dsnKeys;
    if (auto dsn = keys.find("DSN"); dsn != keys.end()) {
        std::string name = dsn->second;
        if (form == TextForm::Narrow) name = ClientCharset::Choose(chosen).FromClient(name);
        dsnKeys = DataSourceKeys(name);
        if (auto key = dsnKeys.find("CHARSET"); chosen.empty() && key != dsnKeys.end())
            chosen = key->second;
    }
    const ClientCharset charset = ClientCharset::Choose(chosen);
    if (form == TextForm::Narrow)
        for (auto& [key, value] : keys) value = charset.FromClient(value);
    charset_ = charset;
    for (auto& [key, value] : dsnKeys) keys.emplace(key, value);
    keys_ = std::move(keys);
    if (loginTimeout_ > 0 && !keys_.count("LOGIN_TIMEOUT"))
        keys_["LOGIN_TIMEOUT"] = std::to_string(loginTimeout_);
    conn_ = TheBackend().Connect(keys_);
    if (!conn_) return Fail(state::kUnableToConnect);
    if (isolation_ != SQL_TXN_READ_COMMITTED) conn_->SetIsolation(isolation_);
    if (readOnly_) conn_->SetReadOnly(true);
    if (!autocommit_) conn_->SetAutocommit(false);
    return SQL_SUCCESS;
}

SQLRETURN DbcHandle::Disconnect() {
    if (!conn_) return Fail(state::kNotConnected);
    // A statement that another thread's call waits to work on (or cancels)
    // keeps the connection: the driver manager would free its statements
    // after a disconnect, under that call.
    if (HandleRegistry::AnyInUse(statements))
        return Fail(state::kSequenceError,
                    "Function sequence error: another thread is at work on a statement of "
                    "this connection.");
    // A transaction in progress is the application's to end first; the
    // connection, its statements and the transaction stay as they are.
    if (!autocommit_ && conn_->InTransaction())
        return Fail(state::kTransactionState,
                    "Invalid transaction state: a transaction is in progress; end it with "
                    "SQLEndTran before disconnecting.");
    // Statements go back to the state before their preparation: what the
    // engine prepared belongs to the attachment that ends here.
    for (DbcStatement* s : statements) s->DropEngineState();
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
                for (DbcStatement* s : statements) s->CloseResults();
                conn_->SetAutocommit(on);
            }
            autocommit_ = on;
            return SQL_SUCCESS;
        }
        case SQL_ATTR_TXN_ISOLATION: {
            if (v != SQL_TXN_READ_UNCOMMITTED && v != SQL_TXN_READ_COMMITTED &&
                v != SQL_TXN_REPEATABLE_READ && v != SQL_TXN_SERIALIZABLE)
                return Fail(state::kInvalidValue);
            // Read uncommitted is not offered: the next stricter level serves.
            const bool substituted = v == SQL_TXN_READ_UNCOMMITTED;
            if (substituted) v = SQL_TXN_READ_COMMITTED;
            if (conn_) conn_->SetIsolation(static_cast<SQLUINTEGER>(v));
            isolation_ = static_cast<SQLUINTEGER>(v);
            return substituted ? Warn(state::kOptionChanged) : SQL_SUCCESS;
        }
        case SQL_ATTR_ACCESS_MODE:
            if (v != SQL_MODE_READ_ONLY && v != SQL_MODE_READ_WRITE)
                return Fail(state::kInvalidValue);
            if (conn_) conn_->SetReadOnly(v == SQL_MODE_READ_ONLY);
            readOnly_ = v == SQL_MODE_READ_ONLY;
            return SQL_SUCCESS;
        case SQL_ATTR_METADATA_ID:
            // The connection's statements take it, those to come and those
            // that exist.
            metadataId_ = v == SQL_TRUE;
            for (DbcStatement* s : statements) s->SetMetadataId(metadataId_);
            return SQL_SUCCESS;
        case SQL_ATTR_CONNECTION_TIMEOUT:
            // Requests other than queries never wait on their own: no
            // time-out but the statements' query time-out.
            connectionTimeout_ = 0;
            return v == 0 ? SQL_SUCCESS : Warn(state::kOptionChanged);
        case SQL_ATTR_PACKET_SIZE:
            // The embedded engine and the file of the Access kind have no
            // network packets.
            return Fail(state::kNotImplemented);
        case SQL_ATTR_CURRENT_CATALOG:
            // Neither database kind has catalogs.
            return Fail(state::kNotImplemented);
        case SQL_ATTR_QUIET_MODE:
        case SQL_ATTR_TRACE:
        case SQL_ATTR_TRACEFILE:
        case SQL_ATTR_ODBC_CURSORS:
            // The driver manager's own.
            return SQL_SUCCESS;
        case SQL_ATTR_ASYNC_ENABLE:
            return v == SQL_ASYNC_ENABLE_OFF ? SQL_SUCCESS : Warn(state::kOptionChanged);
        default:
            return Fail(state::kInvalidAttribute);
    }
}

SQLRETURN DbcHandle::GetAttr(SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                             SQLINTEGER* length, TextForm form) {
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
            v = readOnly_ ? SQL_MODE_READ_ONLY : SQL_MODE_READ_WRITE;
            break;
        case SQL_ATTR_TXN_ISOLATION:
            v = isolation_;
            break;
        case SQL_ATTR_METADATA_ID:
            v = metadataId_ ? SQL_TRUE : SQL_FALSE;
            break;
        case SQL_ATTR_CONNECTION_TIMEOUT:
            v = connectionTimeout_;
            break;
        case SQL_ATTR_ASYNC_ENABLE:
            v = SQL_ASYNC_ENABLE_OFF;
            break;
        case SQL_ATTR_CURRENT_CATALOG:
            return CopyOut(std::string(), value, bufferLength, length, diag, form);
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
    for (DbcStatement* s : statements) s->CloseResults();
    if (FaultInjector::EndShouldFail(completion == SQL_COMMIT ? "COMMIT" : "ROLLBACK")) {
        if (completion == SQL_COMMIT && FaultInjector::Late()) conn_->EndTransaction(true);
        return Fail(FaultInjector::State(), FaultInjector::Message());
    }
    conn_->EndTransaction(completion == SQL_COMMIT);
    return SQL_SUCCESS;
}

}  // namespace odbcdrv
