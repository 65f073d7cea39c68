// The signals that ask Tamaro to end: SIGTERM, SIGINT and SIGHUP. They are
// blocked in every thread from the start of main and read from a signal
// descriptor, so that no library sees them (the embedded Firebird engine
// would otherwise shut its connections down under the program) and a run
// can end at a point of its own choosing: it commits or rolls back, then the
// program ends. SIGPIPE is ignored, so that a closed output stream is an
// error the program reports and not its end.
#pragma once

namespace stopsignals {

// Call first thing in main, before any thread is started: threads inherit
// the blocked set. Processes started later get the default dispositions back.
void Install();
// Readable when one of the signals has arrived, and from then on; -1 before
// Install.
int Fd();
// True once one of the signals has arrived (takes what is pending without
// waiting); stays true.
bool Requested();
// The first signal that arrived, 0 when none.
int Received();

}  // namespace stopsignals
