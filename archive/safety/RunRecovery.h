// Finishing a run that was interrupted (the program killed, the machine
// switched off): called at start, before the database set is connected.
#pragma once

// When the database folder holds a run journal, takes the run lock and
// finishes the run by the journal's stage. Nothing committed (backups
// incomplete or complete, or the run failed and was rolled back): the
// engines have discarded the run's transactions, so every file is kept as
// it is, with whatever other programs saved since, and only the backups are
// removed. Commit sequence begun: settled in the direction that loses
// nothing anyone saved (RunResolution): forward, the databases not yet
// committed getting their part done again; or back, the committed targets
// losing their copies; the rows others saved since on the side the
// patients left are named. When neither is safe, nothing is changed, each
// difference is named, and runs stay refused until the tables fit again or
// an administrator has resolved it. A roll-back that owed a
// put-back: the files are put back from their backups where that is safe.
// Reports what it found and did in red and writes an audit entry. A journal
// that another running program holds the lock for is left alone. Nothing
// happens without a journal.
void RecoverInterruptedRun();
