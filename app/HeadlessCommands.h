// The archive and restore runs as commands of the headless mode.
#pragma once

#include <string>

class MainDialogCore;
class HeadlessView;

enum class HeadlessCommand { Archive, Restore, List, View };

// Switches to the view the command starts from and runs the transfer of the
// pid list. True when the run succeeded. Archiving is refused while the
// patient list could not be checked for open business.
bool RunHeadlessCommand(MainDialogCore& core, HeadlessView& view, HeadlessCommand command,
                        const std::string& pids);
