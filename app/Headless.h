// "tamaro --headless": the start-up and the shutdown without a window. The
// progress log goes to standard output (UTF-8, ANSI colours on a terminal),
// message boxes to standard error with their default answer taken.
//   --user NAME         log in as this user after the start-up; the password
//                       is one line of standard input or of --password-file F
// While the main Velunda database is connected, every command needs that
// login. Commands:
//   --archive 12,40,7   archive these patients after the start-up
//   --restore 12,40,7   restore them from the archive
//   --list, --view and the list's filter options (app/HeadlessListing.h)
// Commands run in the order given. Exit status 0 when the start had no
// problem, no login was refused, every command succeeded and no red line was
// written.
#pragma once

// True when the arguments ask for the headless mode.
bool WantsHeadless(int argc, char** argv);
int RunHeadless(int argc, char** argv);
