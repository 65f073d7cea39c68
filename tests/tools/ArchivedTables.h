// The tables of each Velunda database that the archiving moves, as the tests
// of the generator expect them.
#pragma once

#include <map>
#include <string>
#include <vector>

inline const std::map<std::string, std::vector<std::string>>& ArchivedTableLists() {
    static const std::map<std::string, std::vector<std::string>> lists = {
        {"data",
         {"patienten", "abrechnungen", "diagnosen", "scheine", "termine", "kontingente", "felder",
          "havg_pat", "havg_patextra", "pat_kontakt", "itemhist", "recall", "terminnotiz",
          "dmp_form", "dmp_pat", "pat_unfall"}},
        {"ifap", {"docmed"}},
        {"form", {"ausdrucke"}},
        {"ldt", {"ldtbericht", "ldtnummer"}},
        {"med", {"medhistory"}},
        {"rechnung", {"rechnungen"}},
        {"kassenbuch", {"kassenbuch"}},
        {"kartei", {"data"}}};
    return lists;
}
