// "tamaro --headless": the start-up and the shutdown without a window. The
// progress log goes to standard output (UTF-8, ANSI colours on a terminal),
// message boxes to standard error with their default answer taken.
//   --user NAME         log in as this user after the start-up; the password
//                       is one line of standard input or of --password-file F
// While the main Velunda database is connected, every command needs that
// login. Commands:
//   --archive 12,40,7   archive these patients after the start-up
//   --restore 12,40,7   restore them from the archive
//   --list, --view and the list's filter options (app/headless/HeadlessListing.h)
// Commands run in the order given. Exit status 1 exactly when the start or a
// command failed or was refused (a start-up problem, a refused login, a
// command that failed, any red line that is no note), otherwise 0.
#pragma once

// True when the arguments ask for the headless mode.
bool WantsHeadless(int argc, char** argv);
int RunHeadless(int argc, char** argv);
