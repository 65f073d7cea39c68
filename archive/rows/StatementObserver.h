// An optional listener for the statements of a run (its counts and selects,
// inserts, blanking updates, deletes, the history row), for measurements
// that replay them elsewhere, and for those that change a database in the
// start-up
// maintenance (version steps, schema changes, moved notes), as handed to
// RunSQL or ExecuteSQL. Nothing is recorded unless one is set.
#pragma once

#include <string>

struct ArchiveDbPair;

using StatementObserver = void (*)(const ArchiveDbPair& db, const std::string& sql, void* context);

void SetStatementObserver(StatementObserver observer, void* context);
// True when a listener is set: the statements that are executed from
// markers and bound values need their text only for it.
bool StatementObserverSet();
// Passes a statement executed on db to the listener, if any.
void ObserveStatement(const ArchiveDbPair& db, const std::string& sql);
