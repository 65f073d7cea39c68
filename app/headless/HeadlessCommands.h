// The commands of the headless mode that act on patients, through the same
// command paths as the window's buttons:
//   --archive LIST   F4 out of the Velunda view (switched to as its button does)
//   --restore LIST   F4 out of the archive view
//   --delete LIST    F6 in the view shown; its question defaults to No, so
//                    only "--yes" lets it delete
//   --info PID       the lines of the patient information (F5) of the view
//                    shown, as INFO<TAB>label<TAB>value
//   --dry-run        before --archive, --restore or --delete: that command's
//                    preview (Shift+F4, Shift+F6), refused as the command is,
//                    printed as PLAN<TAB>database.table<TAB>rows per table in
//                    the run's order and PLAN<TAB>total<TAB>rows
//   --check          the consistency check of both sides, printed as
//                    CHECK<TAB>finding<TAB>pid<TAB>side<TAB>database.table<TAB>rows
//                    per finding (finding: both, orphan, duplicate; history
//                    is information) and
//                    CHECK<TAB>total<TAB>findings<TAB>patients<TAB>history pids
#pragma once

#include <string>

class MainDialogCore;
class HeadlessView;

enum class HeadlessCommand { Archive, Restore, List, View, Delete, Info, Check, Export };

// "tamaro: " and the text (CP1252) on standard error, in UTF-8.
void ReportHeadlessError(const std::string& text);

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

// The preview of --archive, --restore or --delete with its PLAN lines; true
// when it was shown in full.
bool RunHeadlessPreview(MainDialogCore& core, HeadlessView& view, HeadlessCommand command,
                        const std::string& argument);

// --check with its CHECK lines; true when the check ran to its end and found
// nothing.
bool RunHeadlessCheck(MainDialogCore& core);
