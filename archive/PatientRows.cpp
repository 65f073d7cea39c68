#include "archive/PatientRows.h"

#include <cstdlib>

#include "archive/ColumnText.h"
#include "archive/StatementObserver.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"

bool CountPatientRows(ArchiveDbPair& db, const std::string& table,
                      const std::vector<std::string>& pidParts, int64_t& rows, std::string* error,
                      const std::string& condition) {
    int64_t total = 0;
    for (const std::string& part : pidParts) {
        ODBCStmt stmt(db.Connection);
        const std::string sql = "select count(*) from " + table + " where pid in (" + part + ")" +
                                (condition.empty() ? "" : " and " + condition);
        std::string text;
        SQLLEN indicator = 0;
        ObserveStatement(db, sql);
        if (!SqlExecuted(stmt.Execute(sql)) || !stmt.Fetch() ||
            !ReadColumnText(stmt.Handle(), 1, text, indicator) || indicator < 1) {
            if (error) *error = db.Connection.GetErrorText(stmt.Handle());
            return false;
        }
        total += std::atoll(text.c_str());
    }
    rows = total;
    return true;
}
