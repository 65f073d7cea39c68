#include "db/DatabaseSet.h"

#include <strings.h>

#include <utility>

DatabaseSet::DatabaseSet()
    : Velunda{{
          {"Velunda", "data",
           "patienten,abrechnungen,diagnosen,scheine,termine,kontingente,felder,havg_pat,"
           "havg_patextra,pat_kontakt,itemhist,recall,terminnotiz,dmp_form,dmp_pat,pat_unfall"},
          {"Ifap", "ifap", "docmed"},
          {"Formulare", "form", "ausdrucke"},
          {"LDT", "ldt", "ldtbericht,ldtnummer"},
          {"Medikamente", "med", "medhistory"},
          {"Rechnungen", "rechnung", "rechnungen"},
          {"Kassenbuch", "kassenbuch", "kassenbuch"},
          {"Kartei", "kartei", "data"},
      }},
      Archive("Archiv", "archiv",
              "patienten,abrechnungen,diagnosen,scheine,termine,docmed,ausdrucke,ldtbericht,"
              "ldtnummer,medhistory,rechnungen,kassenbuch,kontingente,felder,data,havg_pat,"
              "havg_patextra,pat_kontakt,itemhist,recall,terminnotiz,dmp_form,dmp_pat,pat_unfall"),
      VelundaList(&Velunda[0]),
      ArchiveList(&Archive),
      SourceList(VelundaList),
      TargetList(ArchiveList) {
    for (size_t i = 0; i + 1 < Velunda.size(); ++i) Velunda[i].Next = &Velunda[i + 1];
}

void DatabaseSet::SwapSides() {
    std::swap(SourceList, TargetList);
}

ArchiveDbPair* FindDatabaseForTable(ArchiveDbPair* first, const std::string& name) {
    for (ArchiveDbPair* db = first; db; db = db->Next) {
        const std::string& list = db->Tables;
        size_t start = 0;
        while (start <= list.size()) {
            size_t comma = list.find(',', start);
            size_t end = comma == std::string::npos ? list.size() : comma;
            if (end - start == name.size() &&
                strncasecmp(list.c_str() + start, name.c_str(), name.size()) == 0)
                return db;
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    return nullptr;
}
