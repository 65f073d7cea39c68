// Finishing a run whose commit sequence was cut short: the target's
// databases committed first, then the source's; those not committed yet
// still hold their state before the run, so their part of the run is done
// again, each in a transaction of its own - but only where the tables hold
// exactly what the journal expects for the run's patients (a source table
// the rows the run counted, a target table none), so that nothing another
// program did since is overwritten or lost.
#pragma once

#include "archive/RunJournal.h"

struct ArchiveDbPair;

// source and target are the run's two sides, connected, without open
// transactions. Works through the journal's commit order, recording every
// database it commits in the journal. True when every database has
// committed. False when a table does not hold what the journal expects
// (each one named in red with the rows expected and found) or a step
// failed: from there on nothing is changed.
bool FinishForward(RunJournal& journal, ArchiveDbPair* source, ArchiveDbPair* target);
