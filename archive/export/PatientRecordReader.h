// Reads a patient's whole record from the databases of one side: every
// table of each database's list, the same rows a run would move (selected by
// the run's own pid conditions), each value typed and unchanged, binary
// values byte for byte. Each database is read in one read-only transaction
// (ReadOnlyTransaction), all of them begun before the first read, so that
// the record is one state of each database and nothing can be written.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "archive/export/PatientRecord.h"

struct ArchiveDbPair;

class PatientRecordReader {
  public:
    // side: the first database of the side's list; every database of it
    // must be connected.
    explicit PatientRecordReader(ArchiveDbPair* side) : side_(side) {}

    // False with the reason (code page 1252, naming database and table) in
    // error; record is then incomplete.
    bool Read(int32_t pid, PatientRecord& record, std::string& error);

  private:
    bool ReadTable(ArchiveDbPair& db, const std::string& pid, RecordTable& table,
                   std::string& error);
    // The primary key's columns of table, asked of the catalog once per
    // export; empty when it has none or the catalog cannot tell.
    const std::vector<std::string>& KeyColumns(ArchiveDbPair& db, const std::string& table);

    ArchiveDbPair* side_;
    std::map<std::string, std::vector<std::string>> keys_;
};
