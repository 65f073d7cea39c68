// Finishing a run that was interrupted (the program killed, the machine
// switched off): called at start, before any database is connected.
#pragma once

// When the database folder holds a run journal, takes the run lock and
// finishes the run by the journal's stage: backups incomplete - the files
// are as they were, the partial backups are removed; backups complete but no
// commit - every backed-up file of both sides is put back (all or nothing);
// committed - only the backups are removed. Reports what it found and did in
// red and writes an audit entry. A journal that another running program
// holds the lock for is left alone. Nothing happens without a journal.
void RecoverInterruptedRun();
