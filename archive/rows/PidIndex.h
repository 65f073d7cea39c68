// Whether a table finds a set of patients through an index or by reading
// itself whole, from the engine's catalog, and so which form of the pid
// conditions a run sends it.
#pragma once

#include <string>
#include <vector>

struct ArchiveDbPair;

// True when column pid leads an index of table in db, as SQLStatistics
// lists them; false when it leads none or the catalog cannot be read.
bool PidLeadsIndex(ArchiveDbPair& db, const std::string& table);

// True when the patients of table in db are better named by ranged
// conditions (RangedPidConditions) than by plain in-lists: a Firebird table
// without an index led by pid, which Firebird reads whole testing every row
// against the list. SQLite looks in-lists up in a temporary index, so the
// Access kind keeps plain in-lists.
bool UseRangedPidConditions(ArchiveDbPair& db, const std::string& table);

// The conditions that name the patients of pidParts (a pid list cut by
// SplitPidList) in statements on table in db, one statement each: inList
// (the text up to the opening parenthesis, "pid in (" or "pid in(") with
// each part and ")", or the ranged conditions of the whole list where
// UseRangedPidConditions says so.
std::vector<std::string> PidConditions(ArchiveDbPair& db, const std::string& table,
                                       const std::vector<std::string>& pidParts,
                                       const char* inList = "pid in (");
