// Splitting and counting the comma-separated lists the runs work through: the pid list of
// a run and the table list of a database.
#pragma once

#include <string>
#include <vector>

// Firebird refuses in-lists of more than 1,500 values, so every statement
// that names the patients of a run gets at most this many ids.
constexpr size_t MaxIdsPerInList = 1000;

// The pid list cut into parts of at most maxIds ids each, in list order; an
// empty list gives one empty part.
std::vector<std::string> SplitPidList(const std::string& pidList, size_t maxIds = MaxIdsPerInList);

// The number of ids in the pid list (0 for an empty list).
size_t PidCount(const std::string& pidList);

// True when an id stands more than once in the pid list (compared as
// numbers, so "7" and "07" are the same patient); *duplicate then holds the
// first such id as written.
bool PidListHasDuplicate(const std::string& pidList, std::string* duplicate = nullptr);

// The table names of a table list, as written (no trimming): each name ends
// at the next comma, unless that comma is the first character of the rest,
// in which case the whole rest is one name.
std::vector<std::string> SplitTableList(const std::string& tables);
