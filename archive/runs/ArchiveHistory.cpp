#include "archive/runs/ArchiveHistory.h"

#include <cstdio>
#include <ctime>

#include "archive/rows/ColumnText.h"
#include "core/ComboBox.h"
#include "core/Globals.h"
#include "core/LogSink.h"
#include "db/ArchiveDbPair.h"
#include "db/ODBCStmt.h"
#include "db/OdbcResult.h"

std::string ArcHistText(int32_t datum) {
    int day = 0, month = 0, year = 0, hour = -1, minute = -1;
    time_t t = datum;
    struct tm local;
    if (localtime_r(&t, &local)) {
        day = local.tm_mday;
        month = local.tm_mon + 1;
        year = (local.tm_year + 1900) % 1000;
        hour = local.tm_hour;
        minute = local.tm_min;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%02d.%02d.%02d %02d:%02d", day, month, year, hour, minute);
    return text;
}

void FillArcHist(ArchiveDbPair& archive, IComboBox& combo) {
    combo.ResetContent();
    combo.SetItemData(combo.AddString("---"), 0);
    if (!archive.Connection.IsOpen()) return;

    ODBCStmt stmt(archive.Connection);
    if (!SqlExecuted(stmt.Execute("select datum from archist order by datum desc"))) {
        AppendLog("Fehler in FillArcHist: " + archive.Connection.GetErrorText(stmt.Handle()),
                  ColourRed);
        return;
    }
    while (stmt.Fetch()) {
        int32_t datum = 0;
        stmt.GetColumnInt(1, datum);
        combo.SetItemData(combo.AddString(ArcHistText(datum)), datum);
    }
    combo.SetCurSel(0);
}

std::string GetArcPIDsFromDate(ArchiveDbPair& archive, int32_t datum) {
    ODBCStmt stmt(archive.Connection);
    const std::string sql = "select pidlist from archist where datum=" + std::to_string(datum);
    if (!SqlExecuted(stmt.Execute(sql))) {
        AppendLog("Fehler in GetArcPIDsFromDate: " + archive.Connection.GetErrorText(stmt.Handle()),
                  ColourRed);
        return {};
    }
    if (!stmt.Fetch()) return {};
    // Read whole: a list cut inside an id would name another patient.
    std::string pids;
    SQLLEN indicator = 0;
    if (!ReadColumnText(stmt.Handle(), 1, pids, indicator)) return {};
    return pids;
}
