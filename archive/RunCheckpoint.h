// Named points of a run, where tests stop or kill the real program to see
// what an interruption leaves behind:
//   TAMARO_RUN_KILL_AT=<point>  the process kills itself (SIGKILL) there;
//   TAMARO_RUN_STOP_AT=<point>  the process stops itself (SIGSTOP) there,
//                               holding whatever it holds, until continued.
// Points: "backup" (after the first backup copy), "inserts" (after the first
// table's inserts), "deletion" (after the first table's deletes), "history"
// (after the history row, before the commit point), "removal" (after the
// first backup was removed at the end), "putback" (after the first file was
// put back from its backup, in a roll-back or a recovery). Each point acts at
// its first passage only. Without the variables nothing happens.
#pragma once

void RunCheckpoint(const char* point);
