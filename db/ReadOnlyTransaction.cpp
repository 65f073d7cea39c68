#include "db/ReadOnlyTransaction.h"

#include "db/ODBCConnection.h"
#include "db/OdbcResult.h"

namespace {

bool Set(SQLHDBC hdbc, SQLINTEGER attribute, SQLULEN value) {
    return SqlSucceeded(SQLSetConnectAttr(hdbc, attribute, reinterpret_cast<SQLPOINTER>(value), 0));
}

}  // namespace

bool ReadOnlyTransaction::Begin(std::string& error) {
    const SQLHDBC hdbc = connection_.HDbc();
    if (hdbc == SQL_NULL_HDBC) {
        error = "nicht verbunden";
        return false;
    }
    // In this order: the settings apply to the transaction that the first
    // statement after automatic commit is switched off begins.
    begun_ = true;
    if (Set(hdbc, SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY) &&
        Set(hdbc, SQL_ATTR_TXN_ISOLATION, SQL_TXN_REPEATABLE_READ) &&
        Set(hdbc, SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF))
        return true;
    error = connection_.GetErrorText(nullptr);
    End();
    return false;
}

bool ReadOnlyTransaction::End() {
    if (!begun_) return true;
    begun_ = false;
    const SQLHDBC hdbc = connection_.HDbc();
    if (hdbc == SQL_NULL_HDBC) return false;
    // Nothing was changed: the roll-back only lets go of the snapshot.
    bool ok = SqlSucceeded(SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_ROLLBACK));
    ok = Set(hdbc, SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON) && ok;
    ok = Set(hdbc, SQL_ATTR_TXN_ISOLATION, SQL_TXN_READ_COMMITTED) && ok;
    ok = Set(hdbc, SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_WRITE) && ok;
    return ok;
}
