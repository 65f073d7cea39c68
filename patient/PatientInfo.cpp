#include "patient/PatientInfo.h"

#include <cstdio>

#include "core/AsciiText.h"
#include "db/DatabaseSet.h"
#include "db/ODBCStmt.h"
#include "db/ValueBuffer.h"
#include "patient/CPatientEntry.h"

namespace {

using asciitext::Lower;

// One count line: the rows of the patient in the table, read in the driver's
// default form (Firebird's count is 8 bytes wide; its low half is taken).
void AddTableCount(std::vector<PatientInfoLine>& lines, ArchiveDbPair* list, int32_t pid,
                   const char* table, const char* label) {
    ArchiveDbPair* db = FindDatabaseForTable(list, table);
    if (!db || !db->Connection.IsOpen()) return;
    char sql[160];
    std::snprintf(sql, sizeof sql, "select count(*) from %s where pid=%d", table, pid);
    ODBCStmt stmt(db->Connection);
    if (!stmt.ExecDirect(Lower(sql)) || !stmt.Fetch()) return;
    if (!stmt.GetColumnData(1, ValueBuffer, ValueBufferSize)) return;
    lines.push_back({label && *label ? label : table, std::to_string(ValueBufferInt())});
}

}  // namespace

bool PatientMasterData(ODBCConnection& main, int32_t pid, std::vector<PatientInfoLine>& lines) {
    CPatientEntry patient(&main);
    if (!main.IsOpen() || !patient.SetPID(pid)) return false;
    const std::pair<const char*, std::string> fields[] = {{"Titel", patient.GetTitel()},
                                                          {"Vorname", patient.GetVorname()},
                                                          {"Zusatz", patient.GetNamenszusatz()},
                                                          {"Name", patient.GetNachname()},
                                                          {"Straße", patient.GetStrasse()},
                                                          {"PLZ", patient.GetPlz()},
                                                          {"Ort", patient.GetOrt()},
                                                          {"Geboren", patient.GetGeburtsdatum()}};
    for (const auto& [label, value] : fields)
        if (!value.empty()) lines.push_back({label, value});
    return true;
}

std::vector<PatientInfoLine> PatientInfoLines(ArchiveDbPair* list, int32_t pid) {
    std::vector<PatientInfoLine> lines;
    PatientMasterData(list->Connection, pid, lines);
    lines.push_back({});
    static const char* const kCounts[][2] = {
        {"Scheine", "Scheine"}, {"abrechnungen", "Ziffern"}, {"Diagnosen", "Diagnosen"},
        {"data", "Kartei"},     {"Termine", "Termine"},      {"Rechnungen", "Rechnungen"}};
    for (const auto& count : kCounts) AddTableCount(lines, list, pid, count[0], count[1]);
    return lines;
}
