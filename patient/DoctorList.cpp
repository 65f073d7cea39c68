#include "patient/DoctorList.h"

#include <string>

#include "core/ComboBox.h"
#include "core/Globals.h"
#include "db/ODBCConnection.h"
#include "db/ODBCStmt.h"

namespace {

constexpr int32_t kHiddenDoctor = 0x20;

// "titel name, vorname"; the blank and the comma follow only non-empty text.
std::string DoctorText(const std::string& titel, const std::string& name,
                       const std::string& vorname) {
    std::string text = titel;
    if (!text.empty()) text += ' ';
    text += name;
    if (!text.empty()) text += ", ";
    return text + vorname;
}

void AddDoctors(ODBCStmt& stmt, const char* sql, IComboBox& combo) {
    if (stmt.ExecDirect(sql)) {
        while (stmt.Fetch()) {
            // Read in column order: drivers need not serve columns backwards.
            int32_t arten = 0, aid = 0;
            std::string titel, name, vorname;
            stmt.GetColumnInt(1, arten);
            stmt.GetColumnString(2, titel);
            stmt.GetColumnString(3, name);
            stmt.GetColumnString(4, vorname);
            stmt.GetColumnInt(5, aid);
            const bool current = aid == PresetAid;
            if (!current && (arten & kHiddenDoctor)) continue;
            const int index = combo.AddString(DoctorText(titel, name, vorname));
            combo.SetItemData(index, aid);
            if (current) combo.SetCurSel(index);
        }
    }
    stmt.Reset();
}

}  // namespace

void FillDoctorList(ODBCConnection& connection, IComboBox& combo) {
    combo.ResetContent();
    if (!connection.IsOpen()) return;
    ODBCStmt stmt(connection);
    AddDoctors(stmt,
               "select arten,titel,name,vorname,aid from arzt where aid>1 order by name, vorname",
               combo);
    if (combo.GetCount() == 0)
        AddDoctors(stmt, "select arten,titel,name,vorname,aid from arzt order by name, vorname",
                   combo);
    if (combo.GetCount() > 0 && combo.GetCurSel() < 0) combo.SetCurSel(0);
}
