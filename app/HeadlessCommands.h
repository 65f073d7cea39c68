// The commands of the headless mode that act on patients, through the same
// command paths as the window's buttons:
//   --archive LIST   F4 out of the Velunda view (switched to as its button does)
//   --restore LIST   F4 out of the archive view
//   --delete LIST    F6 in the view shown; its question defaults to No, so
//                    only "--yes" lets it delete
//   --info PID       the lines of the patient information (F5) of the view
//                    shown, as INFO<TAB>label<TAB>value
#pragma once

#include <string>

class MainDialogCore;
class HeadlessView;

enum class HeadlessCommand { Archive, Restore, List, View, Delete, Info };

// Checks the value of a command before anything starts: a pid list
// ("12,40,7") for --archive, --restore and --delete, one pid for --info.
// False with a message for standard error in *error.
bool CheckHeadlessArgument(HeadlessCommand command, const std::string& value, std::string* error);

// The command as given on the command line, e.g. "--archive 12,40,7".
std::string HeadlessCommandText(HeadlessCommand command, const std::string& argument);

// Runs one of the commands above. confirmed: "--yes" was given. True when
// the command did its work (a run that succeeded, info that was printed).
bool RunHeadlessCommand(MainDialogCore& core, HeadlessView& view, HeadlessCommand command,
                        const std::string& argument, bool confirmed);
