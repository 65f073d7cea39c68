// What the patient information dialog shows: the master data of one patient
// (name, address, date of birth) and how many rows the patient has in six
// tables, read from the databases of one side (the view's source list).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveDbPair;
class ODBCConnection;

struct PatientInfoLine {
    std::string label;  // column "Eigenschaft", CP1252
    std::string value;  // column "Wert", CP1252
};

// The lines in the dialog's order: the non-empty master-data fields ("Titel",
// "Vorname", "Zusatz", "Name", "Straße", "PLZ", "Ort", "Geboren") when the
// patient was found in the list's first database, one empty line, then the
// counts "Scheine", "Ziffern", "Diagnosen", "Kartei", "Termine", "Rechnungen"
// from the database of the list that holds each table. A count whose query
// fails, or whose table no database of the list holds, has no line.
std::vector<PatientInfoLine> PatientInfoLines(ArchiveDbPair* list, int32_t pid);

// The master-data lines alone, read from main (a list's first database):
// false, and no lines, when the patient is not found there.
bool PatientMasterData(ODBCConnection& main, int32_t pid, std::vector<PatientInfoLine>& lines);
