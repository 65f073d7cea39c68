// How many rows of a set of patients a table holds: the figure a run checks
// its copies and deletions against, and its progress counts up to.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct ArchiveDbPair;

// "select count(*) from <table> where pid in (<part>)" summed over the parts
// of the pid list, with " and <condition>" when one is given; for a long
// list on Firebird without a condition, "select pid, count(*) from <table>
// group by pid" summed over the list's patients. False (rows unset) when a
// query fails; *error then holds the driver's text.
bool CountPatientRows(ArchiveDbPair& db, const std::string& table,
                      const std::vector<std::string>& pidParts, int64_t& rows,
                      std::string* error = nullptr, const std::string& condition = "");

// One grouped count of the whole table, "select pid, count(*) from <table>
// group by pid": each of its rows is handed to each, the pid empty for the
// rows without one. False when the query or a fetch fails; *error then holds
// the driver's text.
bool ReadRowsPerPatient(ArchiveDbPair& db, const std::string& table,
                        const std::function<void(std::optional<int64_t> pid, int64_t rows)>& each,
                        std::string* error = nullptr);

// The rows of each patient of the list that table holds, "select pid,
// count(*) from <table> where <condition> group by pid" for each of the
// list's PidConditions (an in-list per part, ranged conditions on a Firebird
// table without a pid index); patients without rows are absent. False when
// a query fails (*error holds the driver's text).
bool CountRowsPerPatient(ArchiveDbPair& db, const std::string& table,
                         const std::vector<std::string>& pidParts, std::map<int64_t, int64_t>& rows,
                         std::string* error = nullptr);

// The pids of the list that have a record in "patienten" of db, "select pid
// from patienten where pid in (<part>)" over the parts: the check that a
// command's patients are on the side it works on. False when a query fails;
// *error then holds the driver's text.
bool FindPatientRecords(ArchiveDbPair& db, const std::vector<std::string>& pidParts,
                        std::set<int32_t>& found, std::string* error = nullptr);
