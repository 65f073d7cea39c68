// Splitting and counting the comma-separated lists the runs work through: the pid list of
// a run and the table list of a database.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Firebird refuses in-lists of more than 1,500 values, so every statement
// that names the patients of a run gets at most this many ids.
constexpr size_t MaxIdsPerInList = 1000;

// The pid list cut into parts of at most maxIds ids each, in list order; an
// empty list gives one empty part.
std::vector<std::string> SplitPidList(const std::string& pidList, size_t maxIds = MaxIdsPerInList);

// The ids of the pid list as written, one per comma-separated part, empty
// parts included (an empty list gives one empty item).
std::vector<std::string> PidListItems(const std::string& pidList);

// The patient id written in text: 1 to 10 decimal digits up to INT32_MAX,
// nothing else; false otherwise.
bool ParsePid(const std::string& text, int32_t& pid);

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

// The ids of a pid list sorted by value and cut into parts of at most maxIds
// ids, each part as one condition that Firebird tests cheaply on a table it
// has to read whole: "pid between <lo> and <hi> and <test>", where the test
// halves the part's ids by value, "case when pid < <id> then <lower half>
// else <upper half> end", down to in-lists of at most groupIds ids.
// Firebird 3 compares an in-list value by value on every row it reads: a
// row outside the part's range costs two comparisons, one inside it one
// comparison per halving and a short in-list, instead of the whole list's
// (nested "or" does the same but costs the engine more to prepare). Ids
// are written as in the list. An empty list gives one condition "pid in
// ()", as the plain in-list would.
std::vector<std::string> RangedPidConditions(const std::string& pidList,
                                             size_t maxIds = MaxIdsPerInList, size_t groupIds = 8);
