// Open files of this process that a program it starts must not inherit.
#pragma once

// Marks every open file descriptor above standard error close-on-exec, so
// that a program started from here (the desktop's opener of the help page,
// and the browser it starts) holds none of them. A database file of the
// embedded Firebird engine held open, with its lock, by a browser would stop
// the next run from connecting it again after its backup.
void KeepDescriptorsFromChildren();
