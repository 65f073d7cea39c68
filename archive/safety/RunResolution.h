// Settling a run whose commit sequence was cut short, in the direction that
// loses nothing anyone saved.
//
// Which databases have their part of the run committed, the journal says:
// those it names committed have; the one it names about to commit, its
// tables tell; the others were never reached and hold their state before
// the run, whatever their tables hold (rows missing there are another
// program's change, not a commit). Then, from what the tables hold against
// the journal's fingerprints:
//   - forward, when every source not committed still holds exactly the
//     run's rows and every committed target exactly their copies: each
//     database not committed gets its part done again in a transaction of
//     its own;
//   - backward, when forward is not safe but every committed target still
//     holds exactly the copies and no source has given up its rows: the
//     copies are removed, one transaction per target, and the patients are
//     wholly on their source side with everything others saved there;
//   - otherwise nothing is changed and each difference is named, patient by
//     patient where the other side allows the comparison.
// Every commit is announced in the journal first. A database that does not
// answer is connected again, and a table that cannot be read makes the
// state unknown: tried again for two minutes, then left to the next start;
// never taken for a difference.
#pragma once

#include <map>
#include <vector>

#include "archive/safety/RunForward.h"
#include "archive/safety/RunJournal.h"
#include "archive/safety/RunTables.h"

struct ArchiveDbPair;

enum class Resolution {
    Forward,           // every database has its part of the run committed
    Backward,          // the targets' copies are gone: the patients are on the source side
    NothingCommitted,  // no database had committed: every one is as before the run
    Stopped,   // a database stayed out of reach or unreadable, or a step failed: try again later
    Undecided  // neither direction is safe; the differences are named in red
};

class RunResolution {
  public:
    // source and target are the run's two sides (target null for a
    // deletion), connected, without open transactions.
    RunResolution(RunJournal& journal, ArchiveDbPair* source, ArchiveDbPair* target);

    Resolution Resolve();

  private:
    struct Database {
        ArchiveDbPair* db = nullptr;
        bool isTarget = false;
        bool committed = false;  // its part of the run is committed
        bool ambiguous = false;  // about to commit, and neither before nor after
        bool rows = false;       // the journal counts rows of the run there
    };
    enum class Step { Done, Again, Stop };

    // Every database answers a round trip, or is connected again.
    bool Reachable(ShortFaultRetry& retry);
    bool ReadAll(ShortFaultRetry& retry);
    // What the journal and the tables say of each database; false when a
    // database of the journal is not one of the run's.
    bool Classify(std::vector<Database>& dbs);
    Step Forward(std::vector<Database>& dbs);
    Step Backward(std::vector<Database>& dbs);
    // Removes the copies from one target inside its transaction; false when
    // a step fails or the rows differ from the journal (said in red).
    bool Undo(ArchiveDbPair& db);
    // Red lines for the tables that stand in the way.
    void NameDifferences(const std::vector<Database>& dbs, bool forwardOnly);
    std::map<const ArchiveDbPair*, bool> ExpectRun(const std::vector<Database>& dbs) const;

    RunJournal& journal_;
    ArchiveDbPair* source_;
    ArchiveDbPair* target_;
    RunTables tables_;
};
