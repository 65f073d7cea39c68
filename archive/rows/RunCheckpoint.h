// Named points of a run, where tests stop or kill the real program to see
// what an interruption leaves behind:
//   TAMARO_RUN_KILL_AT=<point>[:<n>]  the process kills itself (SIGKILL) there;
//   TAMARO_RUN_STOP_AT=<point>[:<n>]  the process stops itself (SIGSTOP) there,
//                                     holding whatever it holds, until continued.
// Points: "backup" (after a backup copy), "inserts" (after a table's
// inserts), "deletion" (after a table's deletes), "history" (after the
// history row, before the commit sequence), "precommit" (before the journal
// is written for a database's commit inside the commit sequence), "commit"
// (after a database's commit inside the commit sequence), "removal" (after a backup was removed
// at the end), "upgrade" (after a step of the archive's version ladder at
// start), "putback" (after a file was put back from its backup in a
// roll-back or a recovery). Without ":<n>" a point acts at its first
// passage, with it at its n-th. Without the variables nothing happens.
#pragma once

#include <functional>
#include <string>

void RunCheckpoint(const char* point);

// For tests inside one process: hook is called at every point with its name
// and passage (counted from 1 for each point since the hook was set); an
// empty hook removes it.
void SetRunCheckpointHook(std::function<void(const std::string& point, int passage)> hook);
