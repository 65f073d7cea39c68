// What the databases of a run hold of its patients, table by table, read as
// a copy would read them and held against the fingerprints of the journal
// (RowPrint): whether a table holds exactly the run's rows, or none of them,
// or something else, and, where it is something else, which patient differs
// from the other side.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "archive/rows/RowPrint.h"
#include "archive/safety/RunJournal.h"

struct ArchiveDbPair;

// One table of the run in one database: the table of a source database, or
// its copy in the target database that lists it.
struct RunTable {
    ArchiveDbPair* from = nullptr;  // the source database the journal's count belongs to
    std::string table;
    const TableCount* expected = nullptr;  // the journal's count; null when it has none
    RowsPrint total;
    std::map<int64_t, RowsPrint> perPatient;

    // Exactly the rows the journal fingerprinted (a table without a
    // fingerprint in the journal holds nothing for sure).
    bool HoldsRun() const;
    bool HoldsNone() const { return total.rows == 0; }
};

class RunTables {
  public:
    RunTables(const RunJournal& journal, ArchiveDbPair* source, ArchiveDbPair* target);

    // The database of either side with that file name; null when none.
    ArchiveDbPair* Find(const std::string& file) const;
    bool IsTarget(const ArchiveDbPair& db) const;

    // Reads db's tables of the run afresh. False when one cannot be read;
    // *error then says which and why ("Velunda.termine: <driver's text>").
    bool Read(ArchiveDbPair& db, std::string* error);
    // After Read: every table of db holds exactly the run's rows, or none of
    // them. A database whose tables hold none of the run's rows in the
    // journal does both.
    bool HoldsRun(const ArchiveDbPair& db) const;
    bool HoldsNone(const ArchiveDbPair& db) const;
    // Whether the journal counts any row of the run in db.
    bool HasRunRows(const ArchiveDbPair& db) const;

    // Red lines naming each table of db that does not hold the run's rows:
    // patient by patient against the same table on the other side where
    // expectRun says that it, too, is to hold the run's rows and has been
    // read; otherwise the table's figures against the journal.
    void NameDifferences(const ArchiveDbPair& db,
                         const std::map<const ArchiveDbPair*, bool>& expectRun) const;

    const std::vector<RunTable>* TablesOf(const ArchiveDbPair& db) const;

  private:
    const TableCount* Expected(const std::string& file, const std::string& table) const;
    // The same table on the other side of the run, null when there is none.
    const ArchiveDbPair* OtherSide(const ArchiveDbPair& db, const RunTable& t) const;
    const RunTable* TableIn(const ArchiveDbPair& db, const std::string& table) const;

    const RunJournal& journal_;
    ArchiveDbPair* source_;
    ArchiveDbPair* target_;
    std::vector<std::string> parts_;
    std::map<const ArchiveDbPair*, std::vector<RunTable>> read_;
};

// Whether a run's database is, for its patients, as before the run or as
// the run leaves it, read against the journal; for a commit whose arrival is
// in doubt.
enum class DbState {
    Before,     // a source holding the run's rows, a target none of them
    After,      // a source holding none of the run's rows, a target exactly them
    Untouched,  // the run has no rows there: before and after are the same
    Differs,    // neither
    Unknown     // a table could not be read
};
DbState DatabaseState(const RunJournal& journal, ArchiveDbPair& db, ArchiveDbPair* source,
                      ArchiveDbPair* target);
