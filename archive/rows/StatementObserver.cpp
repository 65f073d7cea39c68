#include "archive/rows/StatementObserver.h"

namespace {
StatementObserver g_observer = nullptr;
void* g_context = nullptr;
}  // namespace

void SetStatementObserver(StatementObserver observer, void* context) {
    g_observer = observer;
    g_context = context;
}

bool StatementObserverSet() {
    return g_observer != nullptr;
}

void ObserveStatement(const ArchiveDbPair& db, const std::string& sql) {
    if (g_observer) g_observer(db, sql, g_context);
}
